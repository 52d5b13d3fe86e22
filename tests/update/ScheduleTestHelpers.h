#pragma once
// What the tests of the update schedule read back: the tasks Wine's schedulers stored, the task
// requests the program wrote to its debug log, and recording fakes in place of Windows' own tools.
#include <windows.h>
#include <mstask.h>

#include <string>
#include <vector>

#include "tests/support/ProductState.h"
#include "tests/support/TestSupport.h"

namespace scheduletest {

inline constexpr auto& kDefsTask = testsupport::kDefsUpdateTask;
inline constexpr auto& kAppTask = testsupport::kAppUpdateTask;
using testsupport::kSettingsKey;

inline std::wstring SystemFolder() {
  wchar_t folder[MAX_PATH] = {};
  GetSystemDirectoryW(folder, MAX_PATH);
  return std::wstring(folder) + L"\\";
}
inline std::wstring WindowsFolder() {
  wchar_t folder[MAX_PATH] = {};
  GetWindowsDirectoryW(folder, MAX_PATH);
  return std::wstring(folder) + L"\\";
}

// Task Scheduler 2.0 keeps each task as an XML file of its name; Windows XP's as "<name>.job".
inline std::wstring TaskXmlPath(const std::wstring& name) { return SystemFolder() + L"tasks\\" + name; }
inline std::wstring TaskJobPath(const std::wstring& name) { return WindowsFolder() + L"Tasks\\" + name + L".job"; }
inline std::wstring TaskXml(const std::wstring& name) { return testsupport::ReadTextFile(TaskXmlPath(name)); }

inline void DeleteProductTasks() {
  for (const wchar_t* name : {kDefsTask, kAppTask}) {
    DeleteFileW(TaskXmlPath(name).c_str());
    DeleteFileW(TaskJobPath(name).c_str());
  }
}

// One task request as the program logged it ("/debug"): the builder and what it was passed.
struct TaskCall {
  bool weekly = false;
  std::wstring name, time, days, program, arguments, user;
  int Hour() const { return _wtoi(time.substr(0, 2).c_str()); }
  int Minute() const { return time.size() >= 5 ? _wtoi(time.substr(3, 2).c_str()) : -1; }
};

inline std::vector<TaskCall> TaskCalls(const std::wstring& debugLog) {
  std::vector<TaskCall> calls;
  for (const auto& line : testsupport::Lines(testsupport::ReadTextFile(debugLog))) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (size_t tab; (tab = line.find(L'\t', start)) != std::wstring::npos; start = tab + 1)
      parts.push_back(line.substr(start, tab - start));
    parts.push_back(line.substr(start));
    // time of day, builder, "- Passed: ", name, time, days, program, arguments, user
    if (parts.size() != 9 || parts[2] != L"- Passed: ") continue;
    const bool daily = parts[1] == L"modScheduleTask\\CreateDailyTask: ";
    const bool weekly = parts[1] == L"modScheduleTask\\CreateWeeklyTask: ";
    if (!daily && !weekly) continue;
    calls.push_back({weekly, parts[3], parts[4], parts[5], parts[6], parts[7], parts[8]});
  }
  return calls;
}

// Recording fakes (fakeprog) in the system folder in place of Windows' tools, which the program
// takes from there; Wine's own are put back afterwards.
class SystemToolFakes {
 public:
  // fake: a test program's file name under the tests folder; the recording fakeprog when empty.
  explicit SystemToolFakes(std::vector<std::wstring> tools, const std::wstring& fake = L"")
      : tools_(std::move(tools)) {
    for (const auto& tool : tools_) {
      const std::wstring path = SystemFolder() + tool + L".exe";
      MoveFileExW(path.c_str(), (path + L".real").c_str(), MOVEFILE_REPLACE_EXISTING);
      if (fake.empty())
        testsupport::CopyProgram(L"fakeprog.exe", path);
      else
        CopyFileW((testsupport::TestsDir() + fake).c_str(), path.c_str(), FALSE);
      DeleteFileW(Log(tool).c_str());
      // Wine runs its built-in tool unless told to take the file.
      testsupport::RegWriteString(HKEY_CURRENT_USER, kWineOverrides, tool + L".exe", L"native");
    }
  }
  ~SystemToolFakes() {
    for (const auto& tool : tools_) {
      HKEY overrides = nullptr;
      if (RegOpenKeyExW(HKEY_CURRENT_USER, kWineOverrides, 0, KEY_SET_VALUE, &overrides) == ERROR_SUCCESS) {
        RegDeleteValueW(overrides, (tool + L".exe").c_str());
        RegCloseKey(overrides);
      }
      const std::wstring path = SystemFolder() + tool + L".exe";
      DeleteFileW(path.c_str());
      MoveFileExW((path + L".real").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
      DeleteFileW(Log(tool).c_str());
      DeleteFileW(Listing(tool).c_str());
    }
  }
  SystemToolFakes(const SystemToolFakes&) = delete;
  SystemToolFakes& operator=(const SystemToolFakes&) = delete;

  // What the listing fake (tasklistfake.exe) prints when called.
  void SetListing(const std::wstring& tool, const std::string& text) const {
    testsupport::WriteTextFile(Listing(tool), text);
  }

  // The recorded command lines, without the program part.
  std::vector<std::wstring> Calls(const std::wstring& tool) const {
    std::vector<std::wstring> calls;
    for (const auto& line : testsupport::Lines(testsupport::ReadTextFile(Log(tool)))) {
      size_t at = line.find(tool + L".exe");
      at = at == std::wstring::npos ? std::wstring::npos : line.find(L' ', at);
      calls.push_back(at == std::wstring::npos ? L"" : line.substr(at + 1));
    }
    return calls;
  }

 private:
  static std::wstring Log(const std::wstring& tool) { return SystemFolder() + tool + L".calls.log"; }
  static std::wstring Listing(const std::wstring& tool) { return SystemFolder() + tool + L".listing.txt"; }
  std::vector<std::wstring> tools_;
  static constexpr wchar_t kWineOverrides[] = L"Software\\Wine\\DllOverrides";
};

// A task that Windows XP's scheduler stored, read back through that scheduler (link mstask, ole32).
struct XpTask {
  bool found = false;
  std::wstring application, parameters, workingFolder, comment, creator;
  DWORD flags = 0;
  TASK_TRIGGER trigger = {};
  WORD triggers = 0;
};

inline XpTask ReadXpTask(const std::wstring& name) {
  XpTask read;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ITaskScheduler* scheduler = nullptr;
  ITask* task = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler,
                                 reinterpret_cast<void**>(&scheduler))) &&
      SUCCEEDED(scheduler->Activate(name.c_str(), IID_ITask, reinterpret_cast<IUnknown**>(&task)))) {
    read.found = true;
    auto take = [](LPWSTR text, std::wstring& into) {
      if (text) into = text;
      CoTaskMemFree(text);
    };
    LPWSTR text = nullptr;
    if (SUCCEEDED(task->GetApplicationName(&text))) take(text, read.application);
    if (SUCCEEDED(task->GetParameters(&text))) take(text, read.parameters);
    if (SUCCEEDED(task->GetWorkingDirectory(&text))) take(text, read.workingFolder);
    if (SUCCEEDED(task->GetComment(&text))) take(text, read.comment);
    if (SUCCEEDED(task->GetCreator(&text))) take(text, read.creator);
    task->GetFlags(&read.flags);
    task->GetTriggerCount(&read.triggers);
    ITaskTrigger* trigger = nullptr;
    if (read.triggers > 0 && SUCCEEDED(task->GetTrigger(0, &trigger))) {
      read.trigger.cbTriggerSize = sizeof read.trigger;
      trigger->GetTrigger(&read.trigger);
      trigger->Release();
    }
    task->Release();
  }
  if (scheduler) scheduler->Release();
  CoUninitialize();
  return read;
}

}  // namespace scheduletest
