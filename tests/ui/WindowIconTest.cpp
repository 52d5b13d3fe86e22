// Window icons in process: which windows of an owner chain get them, and in which sizes.
#include <gtest/gtest.h>

#include <windows.h>

#include "common/mod32BitIcon.h"
#include "tests/support/ProductState.h"
#include "tests/support/TestSupport.h"

using namespace testsupport;

namespace {

// A window and the windows that own it, destroyed when the test ends.
struct OwnerChain {
  HWND top = nullptr, middle = nullptr, window = nullptr;
  OwnerChain() {
    static const bool registered = [] {
      WNDCLASSW wc = {};
      wc.lpfnWndProc = DefWindowProcW;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.lpszClassName = L"IconTestWindow";
      return RegisterClassW(&wc) != 0;
    }();
    EXPECT_TRUE(registered);
    top = Make(nullptr);
    middle = Make(top);
    window = Make(middle);
  }
  ~OwnerChain() {
    for (HWND w : {window, middle, top})
      if (w) DestroyWindow(w);
  }
  static HWND Make(HWND owner) {
    return CreateWindowExW(0, L"IconTestWindow", L"icon test", WS_POPUP | WS_CAPTION, 0, 0, 100, 100, owner, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
  }
};

HICON IconOf(HWND window, WPARAM kind) {
  return reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, kind, 0));
}

// Width of an icon image, 0 for none.
int WidthOf(HICON icon) {
  ICONINFO info = {};
  if (!icon || !GetIconInfo(icon, &info)) return 0;
  BITMAP bitmap = {};
  GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  return bitmap.bmWidth;
}

void ExpectBothSizes(HWND window, const char* which) {
  EXPECT_EQ(WidthOf(IconOf(window, ICON_BIG)), GetSystemMetrics(SM_CXICON)) << which;
  EXPECT_EQ(WidthOf(IconOf(window, ICON_SMALL)), GetSystemMetrics(SM_CXSMICON)) << which;
}

void ExpectNone(HWND window, const char* which) {
  EXPECT_EQ(IconOf(window, ICON_BIG), nullptr) << which;
  EXPECT_EQ(IconOf(window, ICON_SMALL), nullptr) << which;
}

}  // namespace

TEST(WindowIcons, ResourceIconGoesToTheWindowAndItsTopOwnerOnly) {
  OwnerChain chain;
  ASSERT_TRUE(chain.window);
  mod32BitIcon::SetIconFromResource(chain.window, L"a1", true);
  ExpectBothSizes(chain.window, "window");
  ExpectBothSizes(chain.top, "top owner");
  ExpectNone(chain.middle, "an owner in between");

  OwnerChain alone;
  mod32BitIcon::SetIconFromResource(alone.window, L"A1", false);
  ExpectBothSizes(alone.window, "window");
  ExpectNone(alone.top, "top owner not asked for");

  // A window without an owner is its own top owner.
  mod32BitIcon::SetIconFromResource(alone.top, L"a1", true);
  ExpectBothSizes(alone.top, "unowned window");
}

TEST(WindowIcons, IconFileInBothSizesAndUnloadableImagesRemoveTheIcon) {
  ScratchDir dir;
  const std::wstring icon = dir / L"applogo.ico";
  ASSERT_TRUE(CopyFileW((TestsDir() + L"..\\resources\\" + kProductName + L".ico").c_str(), icon.c_str(), FALSE));
  OwnerChain chain;
  mod32BitIcon::SetIconFromFile(chain.window, icon, true);
  ExpectBothSizes(chain.window, "window");
  ExpectBothSizes(chain.top, "top owner");

  const struct {
    const char* name;
    void (*set)(HWND, const std::wstring&);
    std::wstring source;
  } failures[] = {
      {"missing resource", [](HWND w, const std::wstring& s) { mod32BitIcon::SetIconFromResource(w, s, true); },
       L"nosuchicon"},
      {"file that is no icon", [](HWND w, const std::wstring& s) { mod32BitIcon::SetIconFromFile(w, s, true); },
       dir / L"broken.ico"},
  };
  ASSERT_TRUE(WriteTextFile(dir / L"broken.ico", "not an icon"));
  for (const auto& f : failures) {
    mod32BitIcon::SetIconFromResource(chain.window, L"a1", true);
    f.set(chain.window, f.source);
    ExpectNone(chain.window, f.name);
    ExpectNone(chain.top, f.name);
  }
}
