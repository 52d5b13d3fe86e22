#include "ui/Form1.h"

#include "ui/StandInWindow.h"

void Form1::Show() { ui::ShowStandInWindow(L"Form1", L"Ironlatch"); }
