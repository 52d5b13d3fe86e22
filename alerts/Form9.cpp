#include "alerts/Form9.h"

#include "common/StandIn.h"

void Form9::ShowModal() { NotAvailableYet(L"Form9\\ShowModal"); }
