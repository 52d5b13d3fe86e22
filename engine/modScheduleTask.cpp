#include "engine/modScheduleTask.h"

#include <mstask.h>
#include <oleauto.h>
#include <taskschd.h>
#include <wrl/client.h>

#include <memory>
#include <vector>

#include "common/CommonModule.h"
#include "common/ResourceFile.h"
#include "common/Variant.h"
#include "common/modOpSys.h"
#include "common/modRegistry.h"
#include "engine/ScheduleRules.h"
#include "platform/Com.h"
#include "platform/SystemFolder.h"
#include "platform/Text.h"

namespace modScheduleTask {

namespace {

using Microsoft::WRL::ComPtr;

// Task Scheduler 2.0's class, and the Windows XP scheduler's classes and interfaces (the headers
// declare no uuids for the latter).
constexpr CLSID kTaskService = {0x0f87369f, 0xa4e5, 0x4cfc, {0xbd, 0x3e, 0x73, 0xe6, 0x15, 0x45, 0x72, 0xdd}};
constexpr CLSID kXpScheduler = {0x148BD52A, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
constexpr CLSID kXpTask = {0x148BD520, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
constexpr IID kXpITaskScheduler = {0x148BD527, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
constexpr IID kXpITask = {0x148BD524, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
// The task-scheduler library the program carries for Windows XP: its class and type library.
constexpr CLSID kLibrarySchedule = {0x54D3822A, 0xCE66, 0x4338, {0x83, 0x4E, 0x4F, 0x08, 0x68, 0xBE, 0x2C, 0xAA}};
constexpr wchar_t kLibraryTypeLib[] = L"TypeLib\\{373D6A60-A03B-4B99-8BD0-5A7B6AFE3427}";

// Task Scheduler 2.0's weekly trigger, which the toolchain's header leaves out.
constexpr IID kIWeeklyTrigger = {0x5038fc98, 0x82ff, 0x436d, {0x87, 0x28, 0xa5, 0x12, 0xa5, 0x7c, 0x9d, 0xc1}};
struct WeeklyTrigger : public ITrigger {
  virtual HRESULT STDMETHODCALLTYPE get_DaysOfWeek(short* days) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_DaysOfWeek(short days) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_WeeksInterval(short* weeks) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_WeeksInterval(short weeks) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_RandomDelay(BSTR* delay) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_RandomDelay(BSTR delay) = 0;
};

constexpr int kLogonPassword = 1;        // TASK_LOGON_PASSWORD
constexpr int kLogonServiceAccount = 5;  // TASK_LOGON_SERVICE_ACCOUNT
constexpr LONG kCreateOrUpdate = 6;      // TASK_CREATE_OR_UPDATE

using platform::Bstr;
using platform::ComApartment;

struct TaskRequest {
  const wchar_t* builder;  // for the debug log
  std::wstring name, time, program, arguments, description, author, user, password;
  bool weekly = false;
  int32_t daysMask = 0;
};

bool Failed(HRESULT result, const TaskRequest& r, const wchar_t* step) {
  if (SUCCEEDED(result)) return false;
  CommonModule::DPrint(std::wstring(L"modScheduleTask\\") + r.builder + L": " + step + L" failed",
                       platform::ErrorText(static_cast<unsigned long>(result)));
  return true;
}

std::wstring WorkingFolder(const std::wstring& program) {
  std::wstring folder;
  if (program.find(L'\\') != std::wstring::npos) folder = CommonModule::StripEndOfString(program, L"\\", false, false, false);
  return folder.empty() ? L"c:\\windows" : folder;
}

std::wstring AuthorOf(const TaskRequest& r) { return r.author.empty() ? CommonModule::AppExeName() : r.author; }

// Today at the request's time; false when the time text is no time of day.
bool StartToday(const TaskRequest& r, SYSTEMTIME& start) {
  int hour = 0, minute = 0, second = 0;
  if (!ScheduleRules::ParseTimeText(r.time, hour, minute, second)) {
    CommonModule::DPrint(std::wstring(L"modScheduleTask\\") + r.builder + L": not a time of day: " + r.time);
    return false;
  }
  GetLocalTime(&start);
  start.wHour = static_cast<WORD>(hour);
  start.wMinute = static_cast<WORD>(minute);
  start.wSecond = static_cast<WORD>(second);
  start.wMilliseconds = 0;
  start.wDayOfWeek = 0;
  return true;
}

bool SingleDay(int32_t mask) {
  for (int32_t day = 1; day <= 64; day <<= 1)
    if (mask == day) return true;
  return false;
}

// Arguments of late-bound calls; each caller clears what it made.
VARIANT Arg(VARTYPE type) {
  VARIANT v;
  VariantInit(&v);
  v.vt = type;
  return v;
}
platform::ComVariant TextArg(const std::wstring& text) {
  VARIANT v = Arg(VT_BSTR);
  v.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return platform::ComVariant(v);
}
platform::ComVariant NumberArg(LONG number) {
  VARIANT v = Arg(VT_I4);
  v.lVal = number;
  return platform::ComVariant(v);
}
platform::ComVariant DateArg(double date) {
  VARIANT v = Arg(VT_DATE);
  v.date = date;
  return platform::ComVariant(v);
}
// An optional argument left out.
platform::ComVariant MissingArg() {
  VARIANT v = Arg(VT_ERROR);
  v.scode = DISP_E_PARAMNOTFOUND;
  return platform::ComVariant(v);
}

// The arguments of one late-bound call, in order.
template <class... Values>
std::vector<platform::ComVariant> Args(Values&&... values) {
  std::vector<platform::ComVariant> list;
  list.reserve(sizeof...(values));
  (list.push_back(std::forward<Values>(values)), ...);
  return list;
}

// ---- Task Scheduler 2.0 (Windows Vista and later) ----

// True when Task Scheduler registered the task.
bool RegisterWithTaskService(const TaskRequest& r) {
  const bool system = r.user == L"SYSTEM";
  const int logonType = system ? kLogonServiceAccount : kLogonPassword;
  // Another account cannot run unattended without its password.
  if (!system && r.password.empty()) return false;
  SYSTEMTIME start;
  if (!StartToday(r, start)) return false;

  ComApartment com;
  ComPtr<ITaskService> service;
  if (Failed(CoCreateInstance(kTaskService, nullptr, CLSCTX_INPROC_SERVER, __uuidof(ITaskService),
                              reinterpret_cast<void**>(service.GetAddressOf())),
             r, L"Schedule.Service"))
    return false;
  VARIANT none = Arg(VT_EMPTY);
  if (Failed(service->Connect(none, none, none, none), r, L"Connect")) return false;
  ComPtr<ITaskDefinition> task;
  if (Failed(service->NewTask(0, task.GetAddressOf()), r, L"NewTask")) return false;

  ComPtr<IRegistrationInfo> info;
  if (SUCCEEDED(task->get_RegistrationInfo(info.GetAddressOf())) && info) {
    if (!r.description.empty()) info->put_Description(Bstr(r.description).get());
    info->put_Author(Bstr(AuthorOf(r)).get());
  }
  ComPtr<IPrincipal> principal;
  if (SUCCEEDED(task->get_Principal(principal.GetAddressOf())) && principal) {
    principal->put_Id(Bstr(L"P_" + r.name).get());
    principal->put_UserId(Bstr(r.user).get());
    principal->put_LogonType(static_cast<TASK_LOGON_TYPE>(logonType));
    principal->put_RunLevel(TASK_RUNLEVEL_HIGHEST);
    principal->put_DisplayName(Bstr(r.name).get());
  }
  ComPtr<ITaskSettings> settings;
  if (SUCCEEDED(task->get_Settings(settings.GetAddressOf())) && settings) {
    settings->put_Enabled(VARIANT_TRUE);
    settings->put_AllowDemandStart(VARIANT_TRUE);
    settings->put_StartWhenAvailable(VARIANT_TRUE);
    settings->put_WakeToRun(VARIANT_TRUE);
    settings->put_DisallowStartIfOnBatteries(VARIANT_TRUE);
    settings->put_StopIfGoingOnBatteries(VARIANT_TRUE);
    settings->put_MultipleInstances(TASK_INSTANCES_IGNORE_NEW);
    settings->put_RestartInterval(Bstr(L"PT3M").get());
    settings->put_RestartCount(3);
    settings->put_AllowHardTerminate(VARIANT_TRUE);
    settings->put_Hidden(VARIANT_FALSE);
  }
  ComPtr<ITriggerCollection> triggers;
  ComPtr<ITrigger> trigger;
  if (SUCCEEDED(task->get_Triggers(triggers.GetAddressOf())) && triggers &&
      !Failed(triggers->Create(r.weekly ? TASK_TRIGGER_WEEKLY : TASK_TRIGGER_DAILY, trigger.GetAddressOf()), r,
              L"Triggers.Create") &&
      trigger) {
    trigger->put_StartBoundary(Bstr(FormatTaskBoundary(start)).get());
    trigger->put_Id(Bstr(L"T_" + r.name).get());
    if (r.weekly) {
      ComPtr<WeeklyTrigger> weekly;
      if (SUCCEEDED(trigger->QueryInterface(kIWeeklyTrigger, reinterpret_cast<void**>(weekly.GetAddressOf())))) {
        weekly->put_DaysOfWeek(static_cast<short>(r.daysMask));
        weekly->put_WeeksInterval(1);
      }
    } else {
      ComPtr<IDailyTrigger> daily;
      if (SUCCEEDED(trigger.As(&daily))) daily->put_DaysInterval(1);
    }
    trigger->put_Enabled(VARIANT_TRUE);
  }
  ComPtr<IActionCollection> actions;
  ComPtr<IAction> action;
  ComPtr<IExecAction> exec;
  if (SUCCEEDED(task->get_Actions(actions.GetAddressOf())) && actions &&
      !Failed(actions->Create(TASK_ACTION_EXEC, action.GetAddressOf()), r, L"Actions.Create") && action &&
      SUCCEEDED(action.As(&exec))) {
    exec->put_Path(Bstr(r.program).get());
    exec->put_WorkingDirectory(Bstr(WorkingFolder(r.program)).get());
    if (!r.arguments.empty()) exec->put_Arguments(Bstr(r.arguments).get());
  }

  ComPtr<ITaskFolder> root;
  if (Failed(service->GetFolder(Bstr(L"\\").get(), root.GetAddressOf()), r, L"GetFolder")) return false;
  const Bstr name(r.name);
  const platform::ComVariant userArg = TextArg(r.user);
  // Left out for an empty password, as for SYSTEM.
  const platform::ComVariant passwordArg = r.password.empty() ? MissingArg() : TextArg(r.password);
  ComPtr<IRegisteredTask> registered;
  const HRESULT result = root->RegisterTaskDefinition(name.get(), task.Get(), kCreateOrUpdate, *userArg.get(), *passwordArg.get(),
                                                      static_cast<TASK_LOGON_TYPE>(logonType), none,
                                                      registered.GetAddressOf());
  if (FAILED(result)) CommonModule::DPrint(platform::ErrorText(static_cast<unsigned long>(result)));
  return SUCCEEDED(result);
}

// ---- Windows XP ----

// One late-bound call on the carried library's objects. Arguments are given in order.
HRESULT Invoke(IDispatch* object, const wchar_t* member, WORD kind, std::vector<platform::ComVariant> args,
               VARIANT* result) {
  if (!object) return E_POINTER;
  LPOLESTR names[] = {const_cast<LPOLESTR>(member)};
  DISPID id = 0;
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (SUCCEEDED(hr)) {
    std::vector<VARIANT> reversed;  // the values, still owned by args
    for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(*it->get());
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (kind == DISPATCH_PROPERTYPUT) {
      params.rgdispidNamedArgs = &named;
      params.cNamedArgs = 1;
    }
    hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result, nullptr, nullptr);
  }
  return hr;
}

ComPtr<IDispatch> ObjectResult(IDispatch* object, const wchar_t* member, WORD kind,
                               std::vector<platform::ComVariant> args) {
  platform::ComVariant result;
  ComPtr<IDispatch> found;
  if (SUCCEEDED(Invoke(object, member, kind, std::move(args), result.get())) && result->vt == VT_DISPATCH)
    found = result->pdispVal;
  return found;
}

void Put(IDispatch* object, const wchar_t* member, platform::ComVariant value) {
  Invoke(object, member, DISPATCH_PROPERTYPUT, Args(std::move(value)), nullptr);
}

// The carried library's road. False when its class cannot be had (the library is missing or not
// registered); a failed step after that is passed over, and saved tells whether the task was saved.
bool RegisterWithLibrary(const TaskRequest& r, const SYSTEMTIME& start, bool& saved) {
  saved = false;
  ComPtr<IDispatch> schedule;
  if (FAILED(CoCreateInstance(kLibrarySchedule, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                              reinterpret_cast<void**>(schedule.GetAddressOf()))))
    return false;
  ComPtr<IDispatch> task = ObjectResult(schedule.Get(), L"CreateTask", DISPATCH_METHOD, Args(TextArg(r.name)));
  if (!task) return true;  // the class answered: no second road, and nothing saved
  Put(task.Get(), L"ApplicationName", TextArg(r.program));
  if (!r.arguments.empty()) Put(task.Get(), L"CommandLine", TextArg(L" " + r.arguments));
  Put(task.Get(), L"Creator", TextArg(AuthorOf(r)));
  if (!r.description.empty()) Put(task.Get(), L"Comment", TextArg(r.description));
  Put(task.Get(), L"WorkingDirectory", TextArg(WorkingFolder(r.program)));

  ComPtr<IDispatch> triggers = ObjectResult(task.Get(), L"Triggers", DISPATCH_PROPERTYGET, Args());
  ComPtr<IDispatch> trigger = ObjectResult(triggers.Get(), L"Add", DISPATCH_METHOD, Args());
  SYSTEMTIME day = start;
  day.wHour = day.wMinute = day.wSecond = 0;
  double today = 0;
  SystemTimeToVariantTime(&day, &today);
  const double time = (start.wHour * 3600.0 + start.wMinute * 60.0 + start.wSecond) / 86400.0;
  Put(trigger.Get(), L"BeginDay", DateArg(today));
  Put(trigger.Get(), L"StartTime", DateArg(time));
  Put(trigger.Get(), L"TriggerType", NumberArg(r.weekly ? 2 : 1));
  if (r.weekly && SingleDay(r.daysMask)) Put(trigger.Get(), L"Weekly_DaysOfTheWeek", NumberArg(r.daysMask));

  Put(task.Get(), L"Flags", NumberArg(1));
  if (r.user == L"SYSTEM")
    Invoke(task.Get(), L"SetAccountInfo", DISPATCH_METHOD, Args(TextArg(L""), MissingArg()), nullptr);
  else
    Invoke(task.Get(), L"SetAccountInfo", DISPATCH_METHOD, Args(TextArg(r.user), TextArg(r.password)), nullptr);
  saved = SUCCEEDED(Invoke(task.Get(), L"Save", DISPATCH_METHOD, Args(), nullptr));
  return true;
}

// Windows XP's own scheduler, which the carried library wraps: the same task with the same
// settings, for when the library cannot be had.
bool RegisterWithXpScheduler(const TaskRequest& r, const SYSTEMTIME& start) {
  ComPtr<ITaskScheduler> scheduler;
  if (Failed(CoCreateInstance(kXpScheduler, nullptr, CLSCTX_INPROC_SERVER, kXpITaskScheduler,
                              reinterpret_cast<void**>(scheduler.GetAddressOf())),
             r, L"TaskScheduler"))
    return false;
  scheduler->Delete(r.name.c_str());
  ComPtr<ITask> task;
  if (Failed(scheduler->NewWorkItem(r.name.c_str(), kXpTask, kXpITask, reinterpret_cast<IUnknown**>(task.GetAddressOf())),
             r, L"NewWorkItem"))
    return false;
  task->SetApplicationName(r.program.c_str());
  task->SetParameters(r.arguments.c_str());
  task->SetCreator(AuthorOf(r).c_str());
  if (!r.description.empty()) task->SetComment(r.description.c_str());
  task->SetWorkingDirectory(WorkingFolder(r.program).c_str());
  task->SetFlags(TASK_FLAG_INTERACTIVE);
  if (r.user == L"SYSTEM")
    task->SetAccountInformation(L"", nullptr);
  else
    task->SetAccountInformation(r.user.c_str(), r.password.c_str());

  WORD index = 0;
  ComPtr<ITaskTrigger> trigger;
  if (SUCCEEDED(task->CreateTrigger(&index, trigger.GetAddressOf())) && trigger) {
    TASK_TRIGGER when = {};
    when.cbTriggerSize = sizeof when;
    when.wBeginYear = start.wYear;
    when.wBeginMonth = start.wMonth;
    when.wBeginDay = start.wDay;
    when.wStartHour = start.wHour;
    when.wStartMinute = start.wMinute;
    if (r.weekly) {
      when.TriggerType = TASK_TIME_TRIGGER_WEEKLY;
      when.Type.Weekly.WeeksInterval = 1;
      if (SingleDay(r.daysMask)) when.Type.Weekly.rgfDaysOfTheWeek = static_cast<WORD>(r.daysMask);
    } else {
      when.TriggerType = TASK_TIME_TRIGGER_DAILY;
      when.Type.Daily.DaysInterval = 1;
    }
    Failed(trigger->SetTrigger(&when), r, L"SetTrigger");
  }
  ComPtr<IPersistFile> file;
  return SUCCEEDED(task.As(&file)) && !Failed(file->Save(nullptr, TRUE), r, L"Save");
}

bool RegisterOnXp(const TaskRequest& r) {
  // Removes an older task of the same name: the XP scheduler does not replace one.
  DeleteTask(r.name);
  EnsureTaskSchedulerLibrary();
  SYSTEMTIME start;
  if (!StartToday(r, start)) return false;
  ComApartment com;
  bool saved = false;
  if (RegisterWithLibrary(r, start, saved)) return saved;
  return RegisterWithXpScheduler(r, start);
}

bool Register(const TaskRequest& r) {
  CommonModule::DPrint(std::wstring(L"modScheduleTask\\") + r.builder + L": ", L"- Passed: ", r.name, r.time,
                       r.weekly ? std::to_wstring(r.daysMask) : std::wstring(L"daily"), r.program, r.arguments,
                       r.user);
  return modOpSys::IsVista() ? RegisterWithTaskService(r) : RegisterOnXp(r);
}

// Whether the scheduler still holds a task of that name. Anything but a clear "not there" counts
// as there, so that a failed delete is never taken for a done one.
bool TaskIsRegistered(const std::wstring& name) {
  ComApartment com;
  if (modOpSys::IsVista()) {
    ComPtr<ITaskService> service;
    ComPtr<ITaskFolder> root;
    ComPtr<IRegisteredTask> task;
    VARIANT none = Arg(VT_EMPTY);
    if (FAILED(CoCreateInstance(kTaskService, nullptr, CLSCTX_INPROC_SERVER, __uuidof(ITaskService),
                                reinterpret_cast<void**>(service.GetAddressOf()))) ||
        FAILED(service->Connect(none, none, none, none)) ||
        FAILED(service->GetFolder(Bstr(L"\\").get(), root.GetAddressOf())))
      return true;
    const HRESULT found = root->GetTask(Bstr(name).get(), task.GetAddressOf());
    return found != HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) && found != HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
  }
  ComPtr<ITaskScheduler> scheduler;
  if (FAILED(CoCreateInstance(kXpScheduler, nullptr, CLSCTX_INPROC_SERVER, kXpITaskScheduler,
                              reinterpret_cast<void**>(scheduler.GetAddressOf()))))
    return true;
  ComPtr<IUnknown> task;
  const HRESULT found = scheduler->Activate(name.c_str(), kXpITask, task.GetAddressOf());
  return found != HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
}

}  // namespace

bool CreateDailyTask(const std::wstring& name, const std::wstring& time, const std::wstring& program,
                     const std::wstring& arguments, const std::wstring& description, const std::wstring& author,
                     const std::wstring& user, const std::wstring& password) {
  TaskRequest r{L"CreateDailyTask", name, time, program, arguments, description, author,
                user.empty() ? std::wstring(L"SYSTEM") : user, password};
  return Register(r);
}

bool CreateWeeklyTask(const std::wstring& name, const std::wstring& time, int32_t daysMask,
                      const std::wstring& program, const std::wstring& arguments, const std::wstring& description,
                      const std::wstring& author, const std::wstring& user, const std::wstring& password) {
  TaskRequest r{L"CreateWeeklyTask", name, time, program, arguments, description, author, user, password};
  r.weekly = true;
  r.daysMask = daysMask;
  return Register(r);
}

bool DeleteTask(const std::wstring& name) {
  int32_t exitCode = -1;
  const bool ended = CommonModule::ShellX(platform::SystemTool(L"schtasks.exe"), L"/delete /f /tn \"" + name + L"\"", true, SW_HIDE, exitCode,
                                          false, false, CommonModule::kNoTimeLimit);
  if (ended && exitCode == 0) return true;
  // schtasks also refuses a task that is not there; only a task still registered is a failure.
  const bool gone = ended && !TaskIsRegistered(name);
  if (!gone)
    CommonModule::DPrint(L"modScheduleTask\\DeleteTask: not deleted (exit code " + std::to_wstring(exitCode) +
                         L"): " + name);
  return gone;
}

std::wstring FormatTaskBoundary(const SYSTEMTIME& date) {
  wchar_t text[32] = {};
  swprintf(text, 32, L"%04u-%02u-%02uT%02u:%02u:%02u", date.wYear, date.wMonth, date.wDay, date.wHour, date.wMinute,
           date.wSecond);
  return text;
}

void EnsureTaskSchedulerLibrary() {
  const std::wstring library = CommonModule::AppPath() + L"tskschd.dll";
  if (!CommonModule::DoesFileExist(library)) ResourceFile::ExtractResourceToFile(L"tskschd", library, false);
  std::wstring names;
  if (modRegistry::fEnumKey(L"HKCR", kLibraryTypeLib, names) == ERROR_SUCCESS) return;
  // Registering a library that could not be written would only fail.
  if (!CommonModule::DoesFileExist(library)) return;
  int32_t exitCode = 0;
  CommonModule::ShellX(platform::SystemTool(L"regsvr32.exe"), L"/s \"" + library + L"\"", false,
                       SW_SHOWNORMAL, exitCode, false, false, CommonModule::kNoTimeLimit);
}

}  // namespace modScheduleTask
