#include "platform/PromptSeam.h"

#include "platform/Handle.h"
#include "platform/Text.h"

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
  std::vector<std::wstring> answers;
  size_t next = 0;

  Rehearsal() {
    logPath = GetEnv(L"ILATCH_PROMPT_LOG");
    std::wstring list = Lower(GetEnv(L"ILATCH_PROMPT_ANSWERS"));
    if (!list.empty()) {
      for (auto& a : Split(list, L",")) answers.push_back(Trim(a));
    }
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

int AnswerFromWord(const std::wstring& word, UINT type) {
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

}  // namespace

bool IsRehearsal() { return !State().logPath.empty(); }

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

  Rehearsal& state = State();
  int answer = state.next < state.answers.size() ? AnswerFromWord(state.answers[state.next++], type)
                                                  : HarmlessAnswer(type);
  wchar_t flags[16];
  wsprintfW(flags, L"0x%X", type);
  RecordPrompt(L"box", {caption, flags, text, AnswerWord(answer)});
  return answer;
}

}  // namespace platform
