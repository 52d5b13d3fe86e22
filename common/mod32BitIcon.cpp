#include "common/mod32BitIcon.h"

#include "common/CommonModule.h"

namespace mod32BitIcon {

namespace {

HWND TopOwner(HWND window) {
  HWND top = window;
  for (HWND owner = GetWindow(top, GW_OWNER); owner; owner = GetWindow(top, GW_OWNER)) top = owner;
  return top;
}

template <typename Load>
void SetIcons(HWND window, bool alsoTopOwner, Load load) {
  const HWND top = alsoTopOwner ? TopOwner(window) : nullptr;
  const struct {
    WPARAM kind;
    int width, height;
  } sizes[] = {{ICON_BIG, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)},
               {ICON_SMALL, GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON)}};
  for (const auto& size : sizes) {
    const LPARAM icon = reinterpret_cast<LPARAM>(load(size.width, size.height));
    if (top) SendMessageW(top, WM_SETICON, size.kind, icon);
    SendMessageW(window, WM_SETICON, size.kind, icon);
  }
}

}  // namespace

void SetIconFromResource(HWND window, const std::wstring& resourceName, bool alsoTopOwner) {
  HINSTANCE self = GetModuleHandleW(nullptr);
  SetIcons(window, alsoTopOwner, [&](int width, int height) {
    return LoadImageW(self, resourceName.c_str(), IMAGE_ICON, width, height, LR_SHARED);
  });
}

void SetIconFromFile(HWND window, const std::wstring& iconPath, bool alsoTopOwner) {
  SetIcons(window, alsoTopOwner, [&](int width, int height) {
    return LoadImageW(nullptr, iconPath.c_str(), IMAGE_ICON, width, height, LR_LOADFROMFILE);
  });
}

void SetFormIcon(HWND form) {
  const std::wstring logo = CommonModule::AppPath() + L"applogo.ico";
  if (CommonModule::DoesFileExist(logo))
    SetIconFromFile(form, logo, true);
  else
    SetIconFromResource(form, L"a1", true);
}

}  // namespace mod32BitIcon
