#pragma once
// The two version questions the whole system asks: Windows Vista or later, Windows 7 or later.
//
// Every version test that chooses a folder or a road asks these, and they answer from the
// kernel's version (platform/KernelVersion.h), never from what Windows tells the program. That
// follows the compatibility settings of the program, and the user who starts it can set them
// (HKCU AppCompatFlags\Layers; under Wine HKCU\Software\Wine\AppDefaults): for the filter module,
// which runs as whoever launched a file, and for the elevated program of an administrator, whose
// unelevated session writes the same HKCU. Told "Windows XP", the filter module would read its
// lists from the program folder, which holds none, and block nothing. Only a text that names the
// version for the user may take what Windows tells (clsOpSys's own constructor).

namespace modOpSys {

bool IsVista();
bool IsWin7();

}  // namespace modOpSys
