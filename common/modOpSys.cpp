#include "common/modOpSys.h"

#include "common/clsOpSys.h"

// Each question asks Windows anew through a fresh version object.
namespace modOpSys {

bool IsVista() { return clsOpSys().IsVista(); }
bool IsWin7() { return clsOpSys().IsWin7(); }

}  // namespace modOpSys
