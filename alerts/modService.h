#pragma once
// Installing, starting, stopping and removing the event monitoring service.
#include <string>

#include "common/Product.h"

namespace modService {

// The service's identity, from the product's names.
inline constexpr const wchar_t* kServiceName = Product::kServiceName;
inline constexpr wchar_t kServiceDisplayName[] = ILATCH_PRODUCT_NAME L" Event Service";
inline constexpr const wchar_t* kServiceExeName = Product::kServiceProgram;
// With the version of the service program beside this one, as it is now.
std::wstring ServiceDescription();

// Creates the service when missing (or corrects the settings of the one there), sets its recovery
// to "restart" and starts it; only while e-mail alerts are on and complete. True when the service
// was started or already ran.
bool InstallEventService();

// Sets the recovery to "none", writes the stop notice, stops the service and, when asked, deletes it
// with its Safe-Mode key.
void RemoveEventService(bool deleteService, bool quiet);

}  // namespace modService
