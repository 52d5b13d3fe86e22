#pragma once
// Window icons in both sizes (large and small, as the system metrics give them), from the
// program's own icon resource or from an .ico file, and the icon every window of the main
// program gives itself.
#include <windows.h>

#include <string>

namespace mod32BitIcon {

// alsoTopOwner: the icons also go to the window reached by following owners until one has none.
// An icon that cannot be loaded is sent as null, which removes the window's icon of that size.
// The icons are never destroyed: resource icons are shared, file icons live as long as the process.
void SetIconFromResource(HWND window, const std::wstring& resourceName, bool alsoTopOwner);
void SetIconFromFile(HWND window, const std::wstring& iconPath, bool alsoTopOwner);

// Gives a window of the program its icons in both sizes, and its top owner too: "applogo.ico"
// beside the program when there is one, else the built-in icon.
void SetFormIcon(HWND form);

}  // namespace mod32BitIcon
