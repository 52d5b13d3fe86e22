#include "update/Form7.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "common/CommonModule.h"
#include "common/Product.h"
#include "common/Variant.h"
#include "common/mod32BitIcon.h"
#include "common/modRegistry.h"
#include "engine/ScheduleRules.h"
#include "engine/UpdateTasks.h"
#include "engine/modScheduleTask.h"
#include "platform/Dialogs.h"
#include "platform/PromptSeam.h"
#include "platform/StaticDialog.h"
#include "platform/Text.h"
#include "update/Form7Ids.h"

namespace {

constexpr wchar_t kCaptionOff[] = L"Automatic Updates - NOT Enabled";
constexpr wchar_t kCaptionOn[] = L"Automatic Updates - ENABLED!";
constexpr const wchar_t* kDays[] = {L"mon", L"tues", L"wed", L"thur", L"fri", L"sat", L"sun"};

class ScheduleDialog final : public platform::StaticDialog {
 public:
  ScheduleDialog() : StaticDialog(L"Form7", IDD_FORM7) {}

 private:
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};

ScheduleDialog& Dialog() {
  static ScheduleDialog dialog;
  return dialog;
}

// Null while the window is not loaded.
HWND Window() { return Dialog().Window(); }

std::wstring ReadSetting(const wchar_t* value) {
  return modRegistry::ReadText(HKEY_LOCAL_MACHINE, Product::kSettingsKey, value);
}

// A whole number from 1 to 58, drawn as the task module draws its numbers.
void RandomBucket(int& number) { number = UpdateTasks::RandomScheduleNumber(); }

std::vector<std::wstring> HourItems() {
  std::vector<std::wstring> items;
  for (int hour = 0; hour < 24; ++hour) items.push_back(ScheduleRules::TwoDigits(std::to_wstring(hour)));
  return items;
}

std::vector<std::wstring> DayItems() { return {std::begin(kDays), std::end(kDays)}; }

// The hour and weekday the two lists are preset to: a random pick, replaced by the stored schedule
// where it names one of the lists' items (found as a list finds them, in any case). The schedule
// is made from this directly when the dialog is not open.
struct ScheduleChoice {
  std::wstring hour, day;
};

ScheduleChoice PresetChoice() {
  ScheduleChoice choice;
  int number = 0;
  RandomBucket(number);
  choice.hour = number <= 12 ? L"08" : number <= 25 ? L"09" : number <= 38 ? L"10" : L"11";
  number = UpdateTasks::RandomScheduleNumber();
  choice.day = number <= 12 ? L"mon" : number <= 24 ? L"tues" : number <= 36 ? L"wed" : number <= 48 ? L"thur" : L"fri";
  auto take = [](const std::vector<std::wstring>& items, const std::wstring& stored, std::wstring& preset) {
    const auto it = std::find_if(items.begin(), items.end(),
                                 [&](const std::wstring& item) { return platform::EqualsNoCase(item, stored); });
    if (it != items.end()) preset = *it;
  };
  take(HourItems(), ReadSetting(L"ScheduleHour"), choice.hour);
  take(DayItems(), ReadSetting(L"ScheduleDay"), choice.day);
  return choice;
}

void SelectText(HWND dialog, int id, const std::wstring& text) {
  HWND list = GetDlgItem(dialog, id);
  const LRESULT at = SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text.c_str()));
  SendMessageW(list, CB_SETCURSEL, at == CB_ERR ? static_cast<WPARAM>(-1) : static_cast<WPARAM>(at), 0);
}

std::wstring ListText(HWND dialog, int id) {
  HWND list = GetDlgItem(dialog, id);
  const LRESULT at = SendMessageW(list, CB_GETCURSEL, 0, 0);
  if (at == CB_ERR) return L"";
  std::wstring text(static_cast<size_t>(SendMessageW(list, CB_GETLBTEXTLEN, at, 0)) + 1, L'\0');
  const LRESULT length = SendMessageW(list, CB_GETLBTEXT, at, reinterpret_cast<LPARAM>(text.data()));
  text.resize(length < 0 ? 0 : static_cast<size_t>(length));
  return text;
}

// What the user picked in the open dialog, or the preset when it is not open.
ScheduleChoice ChosenSchedule() {
  if (!Window()) return PresetChoice();
  return {ListText(Window(), IDC_FORM7_COMBO1), ListText(Window(), IDC_FORM7_COMBO2)};
}

void Load(HWND dialog) {
  mod32BitIcon::SetFormIcon(dialog);
  const ScheduleChoice preset = PresetChoice();
  for (const auto& hour : HourItems())
    SendDlgItemMessageW(dialog, IDC_FORM7_COMBO1, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(hour.c_str()));
  for (const auto& day : DayItems())
    SendDlgItemMessageW(dialog, IDC_FORM7_COMBO2, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(day.c_str()));
  if (ReadSetting(L"ScheduleEnabled") == L"1") SetWindowTextW(dialog, kCaptionOn);
  SelectText(dialog, IDC_FORM7_COMBO1, preset.hour);
  SelectText(dialog, IDC_FORM7_COMBO2, preset.day);
}

void RemoveSchedule() {
  if (platform::ShowMessageBox(Window(), L"Are you sure you wish to delete the schedule for automatic updates?",
                               Product::ProductLabel, MB_YESNO | MB_ICONQUESTION) != IDYES)
    return;
  // Both are tried, whatever the first gives.
  const bool defsDeleted = modScheduleTask::DeleteTask(Product::kDefsUpdateTask);
  const bool appDeleted = modScheduleTask::DeleteTask(Product::kAppUpdateTask);
  if (!defsDeleted || !appDeleted) {
    // The schedule is still (partly) on: it stays recorded as on.
    platform::ShowMessageBox(Window(), L"The schedule could not be deleted.", Product::ProductLabel,
                             MB_OK | MB_ICONERROR);
    return;
  }
  bool notFound = false;
  modRegistry::fDeleteValue(L"HKLM", Product::kSettingsKey, L"ScheduleEnabled", notFound);
  if (Window()) SetWindowTextW(Window(), kCaptionOff);
  platform::ShowMessageBox(Window(), L"Schedule Deleted!", Product::ProductLabel, MB_OK);
}

INT_PTR ScheduleDialog::OnMessage(UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      Load(Window());
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wParam) != BN_CLICKED) return FALSE;
      if (LOWORD(wParam) == IDC_FORM7_COMMAND1)
        Form7::ScheduleIt(true, L"", L"");
      else if (LOWORD(wParam) == IDC_FORM7_COMMAND2)
        RemoveSchedule();
      else if (LOWORD(wParam) == IDCANCEL)
        Close();
      return TRUE;
  }
  return FALSE;
}

}  // namespace

void Form7::Show() {
  Dialog().Show();
}

void Form7::ScheduleIt(bool showMessage, const std::wstring& hour, const std::wstring& day) {
  const ScheduleChoice chosen = ChosenSchedule();
  std::wstring setHour = hour.empty() ? chosen.hour : hour;
  if (setHour.empty()) setHour = L"09";
  const std::wstring setDay = day.empty() ? chosen.day : day;
  const bool appCreated = UpdateTasks::CreateAppUpdateTask(setDay, setHour);
  const bool defsCreated = UpdateTasks::CreateDefsUpdateTask(setHour, L"");
  const bool created = appCreated && defsCreated;
  // Recorded as on once a task exists, so that a later check re-creates the one that is missing.
  if (appCreated || defsCreated)
    modRegistry::fWriteValue(L"HKLM", Product::kSettingsKey, L"ScheduleEnabled", L"S", Variant(L"1"));
  if (!created) CommonModule::DPrint(L"Form7\\ScheduleIt: the update tasks were not both created");
  if (showMessage)
    platform::ShowMessageBox(Window(), created ? L"Schedule Created!" : L"The schedule could not be created.",
                             Product::ProductLabel, created ? MB_OK : MB_OK | MB_ICONERROR);
  Dialog().Close();
}
