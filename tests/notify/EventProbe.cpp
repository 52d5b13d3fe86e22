// Writes to and waits on the event log from a process of its own, for the tests that need a
// second writer or waiter.
//   eventprobe write <source> <type> <count> <message>   count entries, message " #" and index
//   eventprobe writeevent <type> <message>                the main program's writer (source: own title)
//   eventprobe wait <source> <timeoutMs> <readyFile> <outFile>
//       creates <readyFile> once watching, then waits for an entry from <source>; writes its
//       first string and the milliseconds waited to <outFile>. Exit 0 when one came, 1 when not.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "notify/modWriteEvent.h"
#include "platform/EventLog.h"
#include "platform/Handle.h"
#include "platform/Text.h"

namespace {

bool WriteFileText(const std::wstring& path, const std::wstring& text) {
  const std::string bytes = platform::ToUtf8(text);
  platform::UniqueFileHandle file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const std::wstring command = argv[1];
  if (command == L"write" && argc == 6) {
    platform::EventSource source(argv[2]);
    if (!source.Ok()) return 3;
    const int count = _wtoi(argv[4]);
    for (int i = 0; i < count; ++i) {
      if (!source.Report(static_cast<uint16_t>(_wtoi(argv[3])), 0, modWriteEvent::ProductEventId,
                         {std::wstring(argv[5]) + L" #" + std::to_wstring(i)}))
        return 4;
    }
    return 0;
  }
  if (command == L"writeevent" && argc == 4) {
    std::wstring message = argv[3];
    message = platform::ReplaceAll(message, L"\\r\\n", L"\r\n");
    return modWriteEvent::WriteEvent(message, _wtoi(argv[2])) ? 0 : 1;
  }
  if (command == L"wait" && argc == 6) {
    platform::NewEventWatch watch;
    if (!watch.Ok()) return 3;
    const DWORD timeout = static_cast<DWORD>(_wtoi(argv[3]));
    const DWORD start = GetTickCount();
    WriteFileText(argv[4], L"ready");
    for (DWORD waited; (waited = GetTickCount() - start) < timeout;) {
      for (const auto& e : watch.Next(timeout - waited)) {
        if (e.source == argv[2] && !e.strings.empty()) {
          WriteFileText(argv[5], e.strings[0] + L"\n" + std::to_wstring(GetTickCount() - start));
          return 0;
        }
      }
    }
    return 1;
  }
  return 2;
}
