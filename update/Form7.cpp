#include "update/Form7.h"

#include "common/StandIn.h"

void Form7::Show() { NotAvailableYet(L"Form7\\Show"); }
void Form7::ScheduleIt(bool, const std::wstring&, const std::wstring&) { NotAvailableYet(L"Form7\\ScheduleIt"); }
