#include "update/Form5.h"

#include <windows.h>

#include "platform/Forms.h"
#include "ui/StandInWindow.h"

void Form5::Show() { ui::ShowStandInWindow(L"Form5", L"Ironlatch"); }

void Form5::Unload() {
  for (const auto& [name, window] : platform::LoadedForms()) {
    if (name == L"Form5") DestroyWindow(window);
  }
}
