#pragma once
// Procedures whose real work is still to come say so in the debug log.
#include "common/CommonModule.h"

inline void NotAvailableYet(const wchar_t* procedure) {
  CommonModule::DPrint(std::wstring(procedure) + L": not available in this version yet");
}
