#include "eventsvc/LanAddressHelper.h"

#include <windows.h>

#include <algorithm>

#include "common/CommonModule.h"
#include "eventsvc/NTService.h"
#include "notify/modEmailSvc.h"
#include "platform/Process.h"
#include "platform/Text.h"

namespace LanAddressHelper {
namespace {

// The helper's own WMI walk waits at most 30 s for a row; its start and end get the rest.
constexpr DWORD kHelperLimitMs = 40 * 1000;
// An address with its " (Static)" is a few dozen bytes; anything longer is no answer of ours.
constexpr size_t kMaxAnswerBytes = 1024;
// Addresses change rarely: an answer serves the mails of the next minute, so that a burst of
// alerts starts one helper, not one per mail.
constexpr DWORD kAnswerKeptMs = 60 * 1000;

// The last answer and when it came; only the event loop's thread asks.
std::wstring g_answer;
DWORD g_answeredAt = 0;
bool g_answered = false;

void LogFailure(const std::wstring& what) { CommonModule::DPrint(L"LanAddressHelper: " + what); }

// The helper's answer now; false (and a debug-log line) when it gave none.
bool AskHelper(std::wstring& answer) {
  const std::wstring line = L"\"" + CommonModule::AppExeFullPath() + L"\" " + kSwitch;
  const platform::CapturedRun run =
      platform::RunAndCapture(line, kHelperLimitMs, kMaxAnswerBytes, NTService::StopRequestedEvent);
  if (run.startError) {
    LogFailure(L"the helper did not start: " + platform::ErrorText(run.startError));
    return false;
  }
  if (!run.finished || run.exitCode != 0) {
    LogFailure(run.finished ? L"the helper failed with exit code " + std::to_wstring(run.exitCode)
                            : L"the helper gave no answer within its limit or before a stop and was ended");
    return false;
  }
  // One line of text; a line break would start a header line of its own.
  answer = platform::FromUtf8(run.output);
  answer.resize(std::min(answer.size(), answer.find_first_of(L"\r\n")));
  return true;
}

}  // namespace

bool IsHelperRun() { return platform::Trim(platform::ProcessArguments()) == kSwitch; }

int RunHelper() {
  const std::string text = platform::ToUtf8(modEmailSvc::GetLanIPs());
  DWORD written = 0;
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  const bool sent = out && out != INVALID_HANDLE_VALUE &&
                    WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                    written == text.size();
  return sent ? 0 : 1;
}

std::wstring Ask() {
  if (g_answered && GetTickCount() - g_answeredAt < kAnswerKeptMs) return g_answer;  // survives the wrap
  std::wstring answer;
  g_answered = AskHelper(answer);
  g_answer = g_answered ? answer : L"";
  g_answeredAt = GetTickCount();
  return g_answer;
}

}  // namespace LanAddressHelper
