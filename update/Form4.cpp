#include "update/Form4.h"

#include "ui/StandInWindow.h"

void Form4::Show() { ui::ShowStandInWindow(L"Form4", L"Ironlatch - Configuration"); }
