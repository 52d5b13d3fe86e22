#include "platform/PromptSeam.h"

#include "platform/Handle.h"
#include "platform/TestSwitches.h"
#include "platform/Text.h"
#include "platform/WindowText.h"

#include <vector>

namespace platform {

namespace {

std::wstring Escape(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'\r') out += L"\\r";
    else if (c == L'\n') out += L"\\n";
    else if (c == L'\t') out += L"\\t";
    else if (c == L'\\') out += L"\\\\";
    else out += c;
  }
  return out;
}

struct Rehearsal {
  std::wstring logPath;
  bool keepWindows = false;
  // As given: a box compares the word without regard to case, an input box takes the text as it is.
  std::vector<std::wstring> answers;
  size_t next = 0;

  Rehearsal() {
    logPath = TestSwitch(kSwitchPromptLog);
    keepWindows = !TestSwitch(kSwitchKeepWindows).empty();
    std::wstring list = TestSwitch(kSwitchPromptAnswers);
    if (!list.empty()) {
      for (auto& a : Split(list, L",")) answers.push_back(Trim(a));
    }
  }

  // The next answer, or nothing when the list is used up.
  bool Next(std::wstring& answer) {
    if (next >= answers.size()) return false;
    answer = answers[next++];
    return true;
  }
};

Rehearsal& State() {
  static Rehearsal state;
  return state;
}

int HarmlessAnswer(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_YESNO:
    case MB_YESNOCANCEL: return IDNO;
    case MB_OKCANCEL:
    case MB_RETRYCANCEL: return IDCANCEL;
    case MB_ABORTRETRYIGNORE: return IDABORT;
    default: return IDOK;
  }
}

int AnswerFromWord(const std::wstring& given, UINT type) {
  const std::wstring word = Lower(given);
  if (word == L"yes") return IDYES;
  if (word == L"no") return IDNO;
  if (word == L"ok") return IDOK;
  if (word == L"cancel") return IDCANCEL;
  if (word == L"retry") return IDRETRY;
  return HarmlessAnswer(type);
}

std::wstring AnswerWord(int answer) {
  switch (answer) {
    case IDYES: return L"yes";
    case IDNO: return L"no";
    case IDOK: return L"ok";
    case IDCANCEL: return L"cancel";
    case IDRETRY: return L"retry";
    case IDABORT: return L"abort";
    default: return L"?";
  }
}

// ---- The input box: a dialog built in memory, so that every program can show it without resources.


class DialogTemplate {
 public:
  void Header(DWORD style, const std::wstring& title, short cx, short cy, WORD items) {
    DLGTEMPLATE t = {};
    t.style = style | DS_SETFONT;
    t.cdit = items;
    t.cx = cx;
    t.cy = cy;
    Raw(&t, sizeof t);
    Word(0);  // no menu
    Word(0);  // the standard dialog class
    Text(title);
    Word(8);
    Text(L"MS Shell Dlg");
  }
  void Item(DWORD style, short x, short y, short cx, short cy, WORD id, WORD classAtom, const std::wstring& text) {
    Align();
    DLGITEMTEMPLATE item = {};
    item.style = style | WS_CHILD | WS_VISIBLE;
    item.x = x;
    item.y = y;
    item.cx = cx;
    item.cy = cy;
    item.id = id;
    Raw(&item, sizeof item);
    Word(0xFFFF);
    Word(classAtom);
    Text(text);
    Word(0);  // no creation data
  }
  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void Raw(const void* data, size_t bytes) {
    const WORD* w = static_cast<const WORD*>(data);
    words_.insert(words_.end(), w, w + bytes / sizeof(WORD));
  }
  void Word(WORD w) { words_.push_back(w); }
  void Text(const std::wstring& text) {
    words_.insert(words_.end(), text.begin(), text.end());
    Word(0);
  }
  void Align() {
    if (words_.size() % 2) Word(0);
  }
  std::vector<WORD> words_;  // starts DWORD-aligned: vector storage is
};

struct InputBoxState {
  const std::wstring* defaultText;
  std::wstring typed;
};

INT_PTR CALLBACK InputBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      const auto* state = reinterpret_cast<InputBoxState*>(lParam);
      SetDlgItemTextW(dialog, kInputBoxTextId, state->defaultText->c_str());
      HWND edit = GetDlgItem(dialog, kInputBoxTextId);
      SendMessageW(edit, EM_SETSEL, 0, -1);
      SetFocus(edit);
      return FALSE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        auto* state = reinterpret_cast<InputBoxState*>(GetWindowLongPtrW(dialog, DWLP_USER));
        state->typed = ItemText(dialog, kInputBoxTextId);
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

bool IsRehearsal() { return !State().logPath.empty(); }

bool KeepsWindowsOpen() { return IsRehearsal() && State().keepWindows; }

void RecordPrompt(const std::wstring& kind, const std::vector<std::wstring>& fields) {
  if (!IsRehearsal()) return;
  std::wstring record = kind;
  for (const auto& field : fields) record += L"\t" + Escape(field);
  std::string line = ToUtf8(record + L"\r\n");
  UniqueFileHandle file(CreateFileW(State().logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  DWORD written = 0;
  WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) {
  if (!IsRehearsal()) return MessageBoxW(owner, text.c_str(), caption.c_str(), type);

  std::wstring word;
  int answer = State().Next(word) ? AnswerFromWord(word, type) : HarmlessAnswer(type);
  wchar_t flags[16];
  wsprintfW(flags, L"0x%X", type);
  RecordPrompt(L"box", {caption, flags, text, AnswerWord(answer)});
  return answer;
}

std::wstring ShowInputBox(HWND owner, const std::wstring& prompt, const std::wstring& title,
                          const std::wstring& defaultText) {
  if (IsRehearsal()) {
    std::wstring typed;
    State().Next(typed);
    RecordPrompt(L"input", {title, prompt, defaultText, typed});
    return typed;
  }
  DialogTemplate t;
  t.Header(DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU, title, 250, 82, 4);
  t.Item(SS_LEFT, 7, 7, 180, 48, kInputBoxPromptId, 0x0082, prompt);
  t.Item(BS_DEFPUSHBUTTON | WS_TABSTOP, 193, 7, 50, 14, IDOK, 0x0080, L"OK");
  t.Item(BS_PUSHBUTTON | WS_TABSTOP, 193, 25, 50, 14, IDCANCEL, 0x0080, L"Cancel");
  t.Item(ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 7, 60, 236, 14, kInputBoxTextId, 0x0081, L"");
  InputBoxState state{&defaultText, L""};
  const INT_PTR result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), t.Get(), owner, InputBoxProc,
                                                 reinterpret_cast<LPARAM>(&state));
  return result == IDOK ? state.typed : std::wstring();
}

}  // namespace platform
