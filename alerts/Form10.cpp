#include "alerts/Form10.h"

#include "ui/StandInWindow.h"

void Form10::Show() { ui::ShowStandInWindow(L"Form10", L"Ironlatch - Blocked Events"); }
