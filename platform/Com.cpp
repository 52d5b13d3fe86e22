#include "platform/Com.h"

#include <wrl/client.h>

namespace platform {

WmiWalkEnd WalkWmiRows(const wchar_t* query, const WmiRowHandler& onRow, const WmiFailureHandler& onFailure,
                       long waitMs) {
  using Microsoft::WRL::ComPtr;
  auto failed = [&](HRESULT result, const wchar_t* step) {
    if (SUCCEEDED(result)) return false;
    onFailure(result, step);
    return true;
  };

  ComPtr<IWbemLocator> locator;
  if (failed(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                              reinterpret_cast<void**>(locator.GetAddressOf())),
             L"WbemLocator"))
    return WmiWalkEnd::Failed;
  ComPtr<IWbemServices> services;
  const Bstr nameSpace(L"\\\\.\\root\\cimv2");
  if (failed(locator->ConnectServer(nameSpace.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                    services.GetAddressOf()),
             L"ConnectServer"))
    return WmiWalkEnd::Failed;
  // An in-process service (no proxy) refuses the blanket and needs none.
  CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                    RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);

  ComPtr<IEnumWbemClassObject> rows;
  const Bstr language(L"WQL");
  const Bstr text(query);
  if (failed(services->ExecQuery(language.get(), text.get(), WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                 nullptr, rows.GetAddressOf()),
             L"ExecQuery"))
    return WmiWalkEnd::Failed;
  for (;;) {
    ComPtr<IWbemClassObject> row;
    ULONG got = 0;
    const HRESULT next = rows->Next(waitMs, 1, row.GetAddressOf(), &got);
    if (failed(next, L"Next")) return WmiWalkEnd::Failed;
    if (next == WBEM_S_TIMEDOUT) return WmiWalkEnd::TimedOut;
    if (got == 0) return WmiWalkEnd::Finished;
    if (!onRow(services.Get(), row.Get())) return WmiWalkEnd::Stopped;
  }
}

}  // namespace platform
