#pragma once
// The main program's entries in the Application log, all under the product's event ID.
#include <cstdint>
#include <string>

#include "common/Product.h"

namespace modWriteEvent {

constexpr uint32_t ProductEventId = 10177;

// Writes one entry under the program's title: type 1 error, 2 warning, 4 information (0 counts
// as 4), category 0, the message as the one insertion string. True when the entry was written.
bool WriteEvent(const std::wstring& message, int32_t eventType);

// The same under a source of the caller's choosing.
bool WriteEventAs(const std::wstring& source, const std::wstring& message, int32_t eventType);

// The notice the main program writes before it stops the event service; the service knows it by
// this text under the main program's own source.
inline constexpr wchar_t kStopNotice[] = ILATCH_PRODUCT_NAME L" - stopping event service...";

// The message DLL beside the programs that turns their entries into text.
inline constexpr const wchar_t* kMessageDll = Product::kEventMessageDll;
// The sources of the main program and of the filter module.
inline constexpr const wchar_t* kEventSources[] = {Product::kEventSource, Product::kFilterModuleEventSource};

// Registers both sources in the Application log with the message DLL of this program's folder,
// so that their entries read as written. True when every value was written.
bool RegisterEventSources();
// Removes both registrations.
void UnregisterEventSources();

}  // namespace modWriteEvent
