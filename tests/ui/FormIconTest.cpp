// The windows' icon as the main program sets it, in process: Windows answers WM_GETICON only to
// the window's own process under Wine. The program's code and resources are linked in, so the
// program folder is this test's folder.
#include <gtest/gtest.h>

#include <windows.h>

#include "alerts/Form10.h"
#include "common/CommonModule.h"
#include "common/Product.h"
#include "common/mod32BitIcon.h"
#include "tests/support/ProductState.h"
#include "tests/support/TestSupport.h"
#include "ui/Form1.h"

using namespace testsupport;

namespace {

HICON IconOf(HWND window, WPARAM kind) {
  return reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, kind, 0));
}

// The built-in icon of one size: shared, so the same handle every time it is loaded.
HICON BuiltIn(int metricX, int metricY) {
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), L"A1", IMAGE_ICON, GetSystemMetrics(metricX),
                                       GetSystemMetrics(metricY), LR_SHARED));
}

void ExpectBuiltIn(HWND window, const char* which) {
  ASSERT_NE(BuiltIn(SM_CXICON, SM_CYICON), nullptr);
  EXPECT_EQ(IconOf(window, ICON_BIG), BuiltIn(SM_CXICON, SM_CYICON)) << which;
  EXPECT_EQ(IconOf(window, ICON_SMALL), BuiltIn(SM_CXSMICON, SM_CYSMICON)) << which;
}

HWND OwnVisibleWindow(const std::wstring& captionStart) {
  struct Search {
    const std::wstring* caption;
    HWND found;
  } search = {&captionStart, nullptr};
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        wchar_t text[256] = {};
        GetWindowTextW(window, text, 256);
        if (owner != GetCurrentProcessId() || !IsWindowVisible(window) || std::wstring(text).rfind(*s->caption, 0) != 0)
          return TRUE;
        s->found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

struct Logo {
  std::wstring path = CommonModule::AppPath() + L"applogo.ico";
  ~Logo() { DeleteFileW(path.c_str()); }
};

}  // namespace

// One case: the logo file lies in the folder shared by every case of this program.
TEST(FormIcons, BuiltInIconOrTheLogoFileOnEveryCallingWindowAndItsOwner) {
  Product::BuildProductTitle();
  Logo logo;
  DeleteFileW(logo.path.c_str());

  Form1::Show();
  ASSERT_NE(Form1::Window(), nullptr);
  ExpectBuiltIn(Form1::Window(), "main window");
  DestroyWindow(Form1::Window());

  Form10::Show();
  HWND viewer = OwnVisibleWindow(L"Blocked Events Log");
  ASSERT_NE(viewer, nullptr);
  ExpectBuiltIn(viewer, "blocked-events viewer");
  DestroyWindow(viewer);

  HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  HWND owned = CreateWindowExW(0, L"STATIC", L"owned", WS_POPUP, 0, 0, 10, 10, owner, nullptr, nullptr, nullptr);
  mod32BitIcon::SetFormIcon(owned);
  ExpectBuiltIn(owner, "top owner");

  // A branded copy's logo replaces the built-in icon.
  ASSERT_TRUE(CopyFileW((TestsDir() + L"..\\resources\\" + kProductName + L".ico").c_str(), logo.path.c_str(), FALSE));
  mod32BitIcon::SetFormIcon(owned);
  for (HWND window : {owned, owner}) {
    EXPECT_NE(IconOf(window, ICON_BIG), nullptr);
    EXPECT_NE(IconOf(window, ICON_BIG), BuiltIn(SM_CXICON, SM_CYICON)) << "from the file";
    EXPECT_NE(IconOf(window, ICON_SMALL), nullptr);
    EXPECT_NE(IconOf(window, ICON_SMALL), BuiltIn(SM_CXSMICON, SM_CYSMICON)) << "from the file";
  }
  // A logo that is no icon leaves the windows without one.
  ASSERT_TRUE(WriteTextFile(logo.path, "not an icon"));
  mod32BitIcon::SetFormIcon(owned);
  EXPECT_EQ(IconOf(owned, ICON_BIG), nullptr);
  EXPECT_EQ(IconOf(owner, ICON_SMALL), nullptr);
  DestroyWindow(owned);
  DestroyWindow(owner);
}
