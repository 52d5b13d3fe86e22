#include "ui/Form3.h"

#include "ui/StandInWindow.h"

void Form3::Show() { ui::ShowStandInWindow(L"Form3", L"Ironlatch:  About"); }
