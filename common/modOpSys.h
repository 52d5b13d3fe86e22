#pragma once
// The two version questions the whole system asks: Windows Vista or later, Windows 7 or later.

namespace modOpSys {

bool IsVista();
bool IsWin7();

}  // namespace modOpSys
