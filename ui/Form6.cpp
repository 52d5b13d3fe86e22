#include "ui/Form6.h"

#include "ui/StandInWindow.h"

void Form6::Show() { ui::ShowStandInWindow(L"Form6", L"Ironlatch - Policy Editor"); }
