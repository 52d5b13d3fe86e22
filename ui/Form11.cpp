#include "ui/Form11.h"

#include "ui/StandInWindow.h"

void Form11::Show() { ui::ShowStandInWindow(L"Form11", L"Ironlatch - User Hash Definitions"); }
