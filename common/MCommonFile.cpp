#include "common/MCommonFile.h"

#include <cderr.h>
#include <commdlg.h>
#include <shlwapi.h>

#include <algorithm>

#include "platform/KernelVersion.h"
#include "platform/PromptSeam.h"
#include "platform/TestSwitches.h"
#include "platform/Text.h"
#include "platform/WindowText.h"

namespace MCommonFile {

std::wstring DialogSpec;
std::wstring DialogFolder;
bool DialogCheckFiles = false;

namespace {

constexpr wchar_t kNul = L'\0';

// The dialog of the Windows that runs, whatever version the program is told.
DWORD RecordSize() {
  const platform::KernelVersion version = platform::RunningKernelVersion();
  return version.major * 100 + version.minor < 500 ? OPENFILENAME_SIZE_VERSION_400W : sizeof(OPENFILENAMEW);
}

const wchar_t* TextOrNull(const std::wstring& text) { return text.empty() ? nullptr : text.c_str(); }

// The text a common-dialog message hands back, with the NUL the dialog wrote.
std::wstring AskDialog(HWND hookWindow, UINT message) {
  HWND frame = GetParent(hookWindow);
  const LRESULT needed = SendMessageW(frame, message, 0, 0);
  if (needed <= 0) return {};
  std::wstring text(static_cast<size_t>(needed), kNul);
  SendMessageW(frame, message, static_cast<WPARAM>(needed), reinterpret_cast<LPARAM>(text.data()));
  return text;
}

// The dialog, or in a rehearsal the stand-in answer. False when nothing was chosen; error is the
// dialog's extended error then (0 for a cancel).
bool RunDialog(OPENFILENAMEW& record, std::vector<wchar_t>& buffer, const std::wstring& title, DWORD& error) {
  error = 0;
  if (!platform::IsRehearsal()) {
    if (GetOpenFileNameW(&record)) return true;
    error = CommDlgExtendedError();
    return false;
  }
  platform::RecordPrompt(L"openfile", {title});
  const std::wstring answer = platform::TestSwitch(platform::kSwitchOpenFileAnswer);
  if (answer.empty() || answer.size() >= buffer.size()) return false;
  // What the dialog and its hook would have reported for that one file.
  std::fill(buffer.begin(), buffer.end(), kNul);
  std::copy(answer.begin(), answer.end(), buffer.begin());
  const size_t slash = answer.find_last_of(L'\\');
  DialogFolder = slash == std::wstring::npos ? std::wstring() : answer.substr(0, slash);
  DialogSpec = answer.substr(slash == std::wstring::npos ? 0 : slash + 1);
  return true;
}

// The first chosen name that is not an existing file, "" when all are.
std::wstring FirstMissingFile() {
  std::vector<std::wstring> paths;
  SplitMultiSelect(paths);
  for (const auto& path : paths) {
    if (!IsExistingFile(path)) return path;
  }
  return {};
}

}  // namespace

std::wstring ConvertFilter(const std::wstring& filter) {
  std::wstring converted = filter + kNul + kNul;
  auto separates = [](wchar_t c) { return c == L'|' || c == L':'; };
  std::replace_if(converted.begin(), converted.end(), separates, kNul);
  return converted;
}

DWORD DialogFlags(bool multiSelect, bool readOnly, bool hideReadOnly, int32_t extraFlags) {
  DWORD flags = static_cast<DWORD>(extraFlags) & ~static_cast<DWORD>(OFN_ENABLEHOOK | OFN_ENABLETEMPLATE);
  if (multiSelect) flags |= OFN_ALLOWMULTISELECT;
  if (readOnly) flags |= OFN_READONLY;
  if (hideReadOnly) flags |= OFN_HIDEREADONLY;
  return flags | OFN_EXPLORER | OFN_ENABLESIZING | OFN_ENABLEHOOK;
}

std::vector<wchar_t> FileBuffer(const std::wstring& initialName) {
  std::vector<wchar_t> buffer(kFileChars + 1, kNul);
  std::copy_n(initialName.begin(), std::min(initialName.size(), kFileChars), buffer.begin());
  return buffer;
}

bool ChoiceStands(bool dialogReturned, DWORD extendedError, bool multiSelect) {
  return dialogReturned || (extendedError == FNERR_BUFFERTOOSMALL && multiSelect);
}

int32_t TakeChoice(const std::vector<wchar_t>& fileBuffer, bool multiSelect, std::wstring& fileName) {
  if (!multiSelect) {
    fileName = TrimNullW(std::wstring(fileBuffer.begin(), fileBuffer.end()));
    return 1;
  }
  // The names come from what the hook recorded: they may not have fitted the buffer.
  fileName = TrimNullW(DialogFolder) + kNul + TrimNullW(DialogSpec) + kNul + kNul;
  std::vector<std::wstring> paths;
  return SplitMultiSelect(paths);
}

int32_t ShowOpenFile(std::wstring& fileName, bool checkFiles, bool multiSelect, bool& readOnly, bool hideReadOnly,
                     std::wstring& filter, int32_t& filterIndex, const std::wstring& initialFolder,
                     const std::wstring& title, const std::wstring& defaultExtension, HWND owner, int32_t& extraFlags) {
  DialogCheckFiles = checkFiles;
  const std::wstring filterList = ConvertFilter(filter);
  std::vector<wchar_t> buffer = FileBuffer(fileName);

  OPENFILENAMEW record = {};
  record.lStructSize = RecordSize();
  record.hwndOwner = owner;
  record.lpstrFilter = filterList.c_str();
  record.nFilterIndex = static_cast<DWORD>(filterIndex);
  record.lpstrFile = buffer.data();
  record.nMaxFile = static_cast<DWORD>(buffer.size());
  record.lpstrInitialDir = TextOrNull(initialFolder);
  record.lpstrTitle = TextOrNull(title);
  record.lpstrDefExt = TextOrNull(defaultExtension);
  record.Flags = DialogFlags(multiSelect, readOnly, hideReadOnly, extraFlags);
  record.lpfnHook = OpenFileHookProc;

  DWORD error = 0;
  const bool chosen = RunDialog(record, buffer, title, error);
  if (!ChoiceStands(chosen, error, multiSelect)) {
    fileName.clear();
    filter.clear();
    extraFlags = 0;
    filterIndex = -1;
    DialogSpec.clear();
    DialogFolder.clear();
    return 0;
  }
  const int32_t count = TakeChoice(buffer, multiSelect, fileName);
  readOnly = (record.Flags & OFN_READONLY) != 0;
  extraFlags = static_cast<int32_t>(record.Flags);
  filterIndex = static_cast<int32_t>(record.nFilterIndex);
  filter = GetFilterPair(filterList, filterIndex);
  return count;
}

int32_t SplitMultiSelect(std::vector<std::wstring>& paths) {
  paths.clear();
  const std::wstring folder = TrimNullW(DialogFolder);
  const std::wstring spec = TrimNullW(DialogSpec);
  if (folder.empty() || spec.empty()) return 0;
  if (spec.front() != L'"') {
    paths.push_back(CombinePath(folder, spec));
    return 1;
  }
  for (size_t open = spec.find(L'"'); open != std::wstring::npos; open = spec.find(L'"', open)) {
    const size_t close = spec.find(L'"', open + 1);
    if (close == std::wstring::npos) break;
    paths.push_back(CombinePath(folder, spec.substr(open + 1, close - open - 1)));
    open = close + 1;
  }
  return static_cast<int32_t>(paths.size());
}

std::wstring GetFilterPair(const std::wstring& filterList, int32_t index) {
  if (index < 1 || filterList.find(kNul) == std::wstring::npos) return {};
  std::vector<std::wstring> parts;
  for (size_t start = 0; start < filterList.size();) {
    size_t end = filterList.find(kNul, start);
    if (end == std::wstring::npos) end = filterList.size();
    if (end == start) break;  // the empty part closes the list
    parts.push_back(filterList.substr(start, end - start));
    start = end + 1;
  }
  const size_t description = 2 * static_cast<size_t>(index - 1);
  if (description + 1 >= parts.size()) return {};
  return parts[description] + L"|" + parts[description + 1];
}

std::wstring CombinePath(const std::wstring& folder, const std::wstring& name) {
  wchar_t buffer[MAX_PATH] = {};
  if (!PathCombineW(buffer, TrimNullW(folder).c_str(), TrimNullW(name).c_str())) return {};
  return buffer;
}

std::wstring StringFromPtrW(const wchar_t* text) {
  if (!text) return {};
  return std::wstring(text, static_cast<size_t>(lstrlenW(text)));
}

std::wstring TrimNullW(const std::wstring& text) { return text.substr(0, text.find(kNul)); }

bool IsExistingFile(const std::wstring& path) {
  return !PathIsDirectoryW(path.c_str()) && PathFileExistsW(path.c_str());
}

void RecordDialogSpec(HWND hookWindow) { DialogSpec = AskDialog(hookWindow, CDM_GETSPEC); }

void RecordDialogFolder(HWND hookWindow) { DialogFolder = AskDialog(hookWindow, CDM_GETFOLDERPATH); }

UINT_PTR CALLBACK OpenFileHookProc(HWND hookWindow, UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_INITDIALOG) return 1;
  if (message != WM_NOTIFY) return 0;
  switch (reinterpret_cast<const NMHDR*>(lParam)->code) {
    case CDN_SELCHANGE: RecordDialogSpec(hookWindow); return 0;
    case CDN_FOLDERCHANGE: RecordDialogFolder(hookWindow); return 0;
    case CDN_FILEOK: {
      RecordDialogSpec(hookWindow);
      if (!DialogCheckFiles) return 0;
      const std::wstring missing = FirstMissingFile();
      if (missing.empty()) return 0;
      HWND frame = GetParent(hookWindow);
      platform::ShowMessageBox(frame,
                               missing + L"\r\nFile not found.\r\nPlease verify the correct file name was given.",
                               platform::WindowText(frame), MB_ICONEXCLAMATION);
      // Keeps the dialog open.
      SetWindowLongPtrW(hookWindow, DWLP_MSGRESULT, 1);
      return 1;
    }
    default: return 0;
  }
}

}  // namespace MCommonFile
