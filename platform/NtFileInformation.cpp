#include "platform/NtFileInformation.h"

#include "platform/Procedure.h"

namespace platform {

bool SetOpenFileInformation(HANDLE file, void* information, ULONG bytes, int informationClass) {
  struct IoStatus {
    void* status;
    ULONG_PTR information;
  };
  using SetInformationFn = LONG(WINAPI*)(HANDLE, IoStatus*, void*, ULONG, int);
  static const auto setInformation = GetLoadedProcedure<SetInformationFn>(L"ntdll.dll", "NtSetInformationFile");
  if (!setInformation) return false;
  IoStatus io = {};
  return setInformation(file, &io, information, bytes, informationClass) == 0;
}

}  // namespace platform
