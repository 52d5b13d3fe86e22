#include "alerts/Form10.h"

#include <windows.h>
#include <commctrl.h>

#include <memory>

#include "alerts/Form10Ids.h"
#include "common/CommonModule.h"
#include "common/Product.h"
#include "common/mod32BitIcon.h"
#include "common/modOpSys.h"
#include "common/modRegistry.h"
#include "platform/Handle.h"
#include "platform/StaticDialog.h"

namespace {

// A scan's rows arrive here from its thread; lParam: the ScanJob, which the window then owns.
constexpr UINT kScanDone = WM_APP + 10;

struct ScanJob {
  HWND window;
  unsigned generation;
  bool lastRebootOnly;
  std::wstring timeShift;
  std::vector<Form10::ListedEvent> rows;
};

class EventViewer final : public platform::StaticDialog {
 public:
  EventViewer() : StaticDialog(L"Form10", IDD_FORM10, ICC_LISTVIEW_CLASSES) {}

 private:
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnDestroy() override;
};

EventViewer& Dialog() {
  static EventViewer dialog;
  return dialog;
}

// Null while the window is not loaded.
HWND Window() { return Dialog().Window(); }

std::wstring g_timeShift;                // the UTCAdjustment setting, read once at load
std::vector<std::wstring> g_messages;    // row for row with the list
bool g_scanning = false;                 // a scan runs; a second request waits for it
bool g_rescanWanted = false;
unsigned g_generation = 0;               // rises with each window, so a late scan of a closed one is dropped

HWND Item(int id) { return GetDlgItem(Window(), id); }

bool LastRebootOnly() { return IsDlgButtonChecked(Window(), IDC_FORM10_CHKLASTREBOOTONLY) == BST_CHECKED; }

void LoadUtcAdjustment() {
  g_timeShift.clear();
  if (modOpSys::IsVista()) {
    g_timeShift = CommonModule::ReadIni(CommonModule::IniPath, L"Config", L"UTCAdjustment");
    if (g_timeShift.empty()) {
      g_timeShift = modRegistry::ReadText(HKEY_LOCAL_MACHINE, Product::kSettingsKey, L"UTCAdjustment");
    }
  }
  // Without a shift on Vista and later the times are the log's own, which are UTC.
  const bool utc = modOpSys::IsVista() && g_timeShift.empty();
  SetDlgItemTextW(Window(), IDC_FORM10_LABEL1, utc ? L"Blocked Events:  (UTC Time)" : L"Blocked Events:");
}

DWORD WINAPI ScanThread(LPVOID parameter) {
  auto* job = static_cast<ScanJob*>(parameter);
  job->rows = Form10::ScanRows(job->lastRebootOnly, job->timeShift);
  if (!PostMessageW(job->window, kScanDone, 0, reinterpret_cast<LPARAM>(job))) delete job;
  return 0;
}

// The log is read on a thread of its own, so that a large log never holds the window.
void ScanEvents() {
  if (g_scanning) {
    g_rescanWanted = true;
    return;
  }
  ListView_DeleteAllItems(Item(IDC_FORM10_LIST1));
  g_messages.clear();
  SetDlgItemTextW(Window(), IDC_FORM10_TEXT1, L"");
  auto* job = new ScanJob{Window(), g_generation, LastRebootOnly(), g_timeShift, {}};
  g_scanning = true;
  EnableWindow(Item(IDC_FORM10_CMDSCAN), FALSE);
  SetDlgItemTextW(Window(), IDC_FORM10_CMDSCAN, L"Scanning...");
  const platform::UniqueKernelHandle thread(CreateThread(nullptr, 0, ScanThread, job, 0, nullptr));
  if (!thread) PostMessageW(Window(), kScanDone, 0, reinterpret_cast<LPARAM>(job));
}

void ShowRows(std::unique_ptr<ScanJob> job) {
  if (job->generation != g_generation) return;
  g_scanning = false;
  HWND list = Item(IDC_FORM10_LIST1);
  // Drawn once when all rows are in: a redraw per row makes a large log take minutes.
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  for (const auto& row : job->rows) {
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(g_messages.size());
    item.pszText = const_cast<wchar_t*>(row.time.c_str());
    if (ListView_InsertItem(list, &item) < 0) continue;
    g_messages.push_back(row.message);
  }
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
  SetDlgItemTextW(Window(), IDC_FORM10_CMDSCAN, L"Rescan");
  EnableWindow(Item(IDC_FORM10_CMDSCAN), TRUE);
  if (g_rescanWanted) {
    g_rescanWanted = false;
    ScanEvents();
  }
}

void ShowSelected() {
  HWND list = Item(IDC_FORM10_LIST1);
  for (int i = ListView_GetNextItem(list, -1, LVNI_SELECTED); i >= 0; i = ListView_GetNextItem(list, i, LVNI_SELECTED))
    if (static_cast<size_t>(i) < g_messages.size())
      SetDlgItemTextW(Window(), IDC_FORM10_TEXT1, Form10::DescriptionText(g_messages[i]).c_str());
}

// "major.minor", and ".revision" when the revision is not 0.
std::wstring ProgramVersion() {
  wchar_t path[MAX_PATH] = {};
  if (!GetModuleFileNameW(nullptr, path, MAX_PATH)) return L"";
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  if (size == 0) return L"";
  std::vector<BYTE> block(size);
  VS_FIXEDFILEINFO* info = nullptr;
  UINT infoSize = 0;
  if (!GetFileVersionInfoW(path, 0, size, block.data()) ||
      !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &infoSize) || !info ||
      infoSize < sizeof(VS_FIXEDFILEINFO))
    return L"";
  std::wstring text =
      std::to_wstring(HIWORD(info->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(info->dwFileVersionMS));
  if (LOWORD(info->dwFileVersionLS) != 0) text += L"." + std::to_wstring(LOWORD(info->dwFileVersionLS));
  return text;
}

void Load(HWND dialog) {
  mod32BitIcon::SetFormIcon(dialog);
  HWND list = Item(IDC_FORM10_LIST1);
  ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
  RECT client = {};
  GetClientRect(list, &client);
  LVCOLUMNW column = {};
  column.mask = LVCF_WIDTH;
  column.cx = client.right - GetSystemMetrics(SM_CXVSCROLL);
  ListView_InsertColumn(list, 0, &column);
  LoadUtcAdjustment();
  ScanEvents();
  SetWindowTextW(dialog, (L"Blocked Events Log - v" + ProgramVersion()).c_str());
}

INT_PTR EventViewer::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      Load(Window());
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_FORM10_CMDSCAN || LOWORD(wParam) == IDC_FORM10_CHKLASTREBOOTONLY) {
        if (HIWORD(wParam) == BN_CLICKED) ScanEvents();
      } else if (LOWORD(wParam) == IDCANCEL) {
        Close();
      }
      return TRUE;
    case kScanDone:
      ShowRows(std::unique_ptr<ScanJob>(reinterpret_cast<ScanJob*>(lParam)));
      return TRUE;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->idFrom == IDC_FORM10_LIST1 && header->code == LVN_ITEMCHANGED) {
        const auto* change = reinterpret_cast<const NMLISTVIEW*>(lParam);
        if ((change->uChanged & LVIF_STATE) && (change->uNewState & LVIS_SELECTED)) ShowSelected();
      }
      return TRUE;
    }
  }
  return FALSE;
}

void EventViewer::OnDestroy() {
  g_messages.clear();
  ++g_generation;
  g_scanning = g_rescanWanted = false;
}

}  // namespace

void Form10::Show() {
  Dialog().Show();
}
