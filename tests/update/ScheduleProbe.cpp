// The main program's schedule parts on their own, for the roads of the real program that are not
// reachable from its command line yet: the update-schedule dialog of the main window's menu, and
// the re-creating check after a program update. Copied as the main program into a scratch folder;
// writes its debug log beside itself.
//   schedprobe form7       shows the dialog and runs until it closes
//   schedprobe checkdefs   UpdateTasks::CheckDefsUpdateTask
//   schedprobe checkapp    UpdateTasks::CheckAppUpdateTask
#include <windows.h>

#include <string>

#include "common/CommonModule.h"
#include "common/Product.h"
#include "engine/UpdateTasks.h"
#include "platform/Forms.h"
#include "update/Form7.h"

int wmain(int argc, wchar_t** argv) {
  CommonModule::InitAppSettings(true, true, false);
  CommonModule::FsRedirEnabled = true;
  Product::BuildProductTitle();
  CommonModule::DebugToFile = true;
  CommonModule::DebugLogPath = CommonModule::AppPath() + CommonModule::AppExeName() + L".log";
  const std::wstring what = argc > 1 ? argv[1] : L"";
  if (what == L"form7") {
    Form7::Show();
    return platform::RunMessageLoop();
  }
  if (what == L"checkdefs") UpdateTasks::CheckDefsUpdateTask();
  if (what == L"checkapp") UpdateTasks::CheckAppUpdateTask();
  return 0;
}
