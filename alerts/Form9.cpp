#include "alerts/Form9.h"

#include "common/StandIn.h"

void Form9::Show() { NotAvailableYet(L"Form9\\Show"); }
void Form9::ShowModal() { NotAvailableYet(L"Form9\\ShowModal"); }
