// The proportional layout on a real window with real controls (rendered under Xvfb).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>

#include "ui/FormResizer.h"

namespace {

// A borderless window: its inner size is its size, and nothing stops it shrinking to 0 x 0.
const wchar_t kFormClass[] = L"ResizerTestForm";
const wchar_t kContainerClass[] = L"ResizerTestContainer";

enum : int { kButton = 101, kLabel = 102, kEdit = 103, kList = 104, kCombo = 105, kContainer = 106, kInner = 107,
             kOption = 110 };

LONG InitialWidth = 400, InitialHeight = 300;

struct Layout {
  int id;
  const wchar_t* cls;
  DWORD style;
  DWORD exStyle;
  RECT bounds;  // left, top, right, bottom in the parent
};

// Order as created; Z-order enumeration gives the same order for siblings created without WS_EX_TOPMOST.
const Layout kLayout[] = {
    {kButton, L"BUTTON", BS_PUSHBUTTON, 0, {10, 10, 110, 40}},
    {kLabel, L"STATIC", SS_LEFT, 0, {120, 10, 390, 30}},
    {kEdit, L"EDIT", ES_AUTOHSCROLL | WS_BORDER, 0, {10, 50, 390, 74}},
    {kList, L"LISTBOX", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_BORDER, 0, {10, 80, 200, 280}},
    {kCombo, L"COMBOBOX", CBS_DROPDOWN, 0, {210, 80, 390, 104}},  // makes an edit child of its own
    {kContainer, kContainerClass, 0, WS_EX_CONTROLPARENT, {210, 120, 390, 290}},
};
const RECT kInnerBounds = {20, 30, 120, 60};  // a button inside the container
const RECT kOptionBounds[] = {{210, 10, 300, 30}, {300, 10, 390, 30}};  // two options sharing one ID

void RegisterClasses() {
  static bool done = [] {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kFormClass;
    RegisterClassW(&wc);
    wc.lpszClassName = kContainerClass;
    RegisterClassW(&wc);
    return true;
  }();
  (void)done;
}

RECT RectInParent(HWND control) {
  RECT r = {};
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

int ExpectedPixels(int designPart, int designWhole, int now) {
  return static_cast<int>(std::lround(static_cast<double>(now) * (static_cast<float>(designPart) / designWhole)));
}

// Where a control recorded at `design` in a 400 x 300 window belongs in a width x height window.
RECT Expected(const RECT& design, int width, int height) {
  const int left = ExpectedPixels(design.left, InitialWidth, width);
  const int top = ExpectedPixels(design.top, InitialHeight, height);
  return {left, top, left + ExpectedPixels(design.right - design.left, InitialWidth, width),
          top + ExpectedPixels(design.bottom - design.top, InitialHeight, height)};
}

std::string Show(const RECT& r) {
  char text[80];
  snprintf(text, sizeof text, "(%ld,%ld)-(%ld,%ld)", r.left, r.top, r.right, r.bottom);
  return text;
}

int FontHeight(HWND control) {
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  LOGFONTW face = {};
  GetObjectW(font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT), sizeof face, &face);
  return face.lfHeight;
}

int HeightForPoints(double points) {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return -static_cast<int>(std::lround(points * dpi / 72.0));
}

class FormResizerTest : public testing::Test {
 protected:
  void SetUp() override {
    RegisterClasses();
    form = CreateWindowExW(0, kFormClass, L"Resizer test", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 50, 50,
                           InitialWidth, InitialHeight, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(form, nullptr);
    for (const Layout& l : kLayout) {
      HWND c = CreateWindowExW(l.exStyle, l.cls, L"x", WS_CHILD | WS_VISIBLE | l.style, l.bounds.left, l.bounds.top,
                               l.bounds.right - l.bounds.left, l.bounds.bottom - l.bounds.top, form,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(l.id)), nullptr, nullptr);
      ASSERT_NE(c, nullptr);
      controls.push_back(c);
      SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    }
    inner = CreateWindowW(L"BUTTON", L"in", WS_CHILD | WS_VISIBLE, kInnerBounds.left, kInnerBounds.top,
                          kInnerBounds.right - kInnerBounds.left, kInnerBounds.bottom - kInnerBounds.top,
                          Control(kContainer), reinterpret_cast<HMENU>(kInner), nullptr, nullptr);
    ASSERT_NE(inner, nullptr);
    for (const RECT& r : kOptionBounds) {
      HWND option = CreateWindowW(L"BUTTON", L"o", WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON, r.left, r.top,
                                  r.right - r.left, r.bottom - r.top, form, reinterpret_cast<HMENU>(kOption), nullptr,
                                  nullptr);
      ASSERT_NE(option, nullptr);
      options.push_back(option);
    }
    for (HWND c : controls) designed.push_back(RectInParent(c));
    PumpMessages();
  }
  void TearDown() override {
    resizer.reset();  // before the controls go: it hands back their fonts
    if (form) DestroyWindow(form);
  }

  HWND Control(int id) { return GetDlgItem(form, id); }

  void SetInnerSize(int width, int height) {
    SetWindowPos(form, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    PumpMessages();
    RECT client = {};
    GetClientRect(form, &client);
    ASSERT_EQ(client.right, width);
    ASSERT_EQ(client.bottom, height);
  }

  // Every control where its ratios put it for the given inner size (within a pixel of rounding).
  void ExpectLayout(int width, int height) {
    std::vector<std::pair<HWND, RECT>> expected;
    for (size_t i = 0; i < controls.size(); ++i) {
      if (GetDlgCtrlID(controls[i]) == kCombo) continue;  // its height is the drop-down's: checked apart
      expected.push_back({controls[i], Expected(kLayout[i].bounds, width, height)});
    }
    expected.push_back({inner, Expected(kInnerBounds, width, height)});
    for (size_t i = 0; i < options.size(); ++i) expected.push_back({options[i], Expected(kOptionBounds[i], width, height)});
    for (const auto& [control, want] : expected) {
      const RECT got = RectInParent(control);
      EXPECT_LE(std::abs(got.left - want.left) + std::abs(got.top - want.top) + std::abs(got.right - want.right) +
                    std::abs(got.bottom - want.bottom),
                1)
          << "control " << GetDlgCtrlID(control) << " at " << width << "x" << height << ": got " << Show(got)
          << ", want " << Show(want);
    }
    const RECT combo = RectInParent(Control(kCombo));
    const RECT want = Expected(kLayout[4].bounds, width, height);
    EXPECT_EQ(combo.left, want.left);
    EXPECT_EQ(combo.top, want.top);
    EXPECT_EQ(combo.right, want.right);
  }

  HWND form = nullptr;
  HWND inner = nullptr;
  std::vector<HWND> controls;
  std::vector<HWND> options;
  std::vector<RECT> designed;
  std::unique_ptr<FormResizer> resizer = std::make_unique<FormResizer>();
};

TEST_F(FormResizerTest, RecordsEveryControlOnceWithItsRatiosAgainstTheWindow) {
  resizer->InitResizeArray(form);
  const auto& records = resizer->Records();
  // Six controls, the container's button, the two options; not the combo box's own edit.
  ASSERT_EQ(records.size(), 9u);
  std::vector<std::wstring> names;
  for (const auto& r : records) names.push_back(r.name);
  EXPECT_EQ(names, (std::vector<std::wstring>{L"101", L"102", L"103", L"104", L"105", L"106", L"107", L"110", L"110"}));
  for (const auto& r : records) {
    EXPECT_TRUE(r.move);
    EXPECT_TRUE(r.resize);
  }
  // The nested button: its own offsets within the container, over the window's inner size.
  EXPECT_FLOAT_EQ(records[6].leftRatio, 20.0f / 400);
  EXPECT_FLOAT_EQ(records[6].topRatio, 30.0f / 300);
  EXPECT_FLOAT_EQ(records[6].widthRatio, 100.0f / 400);
  EXPECT_FLOAT_EQ(records[6].heightRatio, 30.0f / 300);
  EXPECT_FLOAT_EQ(records[3].heightRatio, 200.0f / 300);

  // A second recording replaces the first.
  DestroyWindow(options[1]);
  options.pop_back();
  resizer->InitResizeArray(form);
  EXPECT_EQ(resizer->Records().size(), 8u);
}

TEST_F(FormResizerTest, ControlsFollowTheWindowAndComeBackWithoutDrift) {
  resizer->InitResizeArray(form);
  struct Case {
    int width, height;
  };
  for (const Case& c : {Case{800, 600}, Case{1000, 250}, Case{217, 433}, Case{399, 301}, Case{1600, 1200}}) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    SetInnerSize(c.width, c.height);
    resizer->ResizeControls(form, 0);
    ExpectLayout(c.width, c.height);
  }
  // Back at the recorded size every control is exactly where it was recorded.
  SetInnerSize(400, 300);
  resizer->ResizeControls(form, 0);
  for (size_t i = 0; i < controls.size(); ++i) {
    const RECT got = RectInParent(controls[i]);
    EXPECT_TRUE(EqualRect(&got, &designed[i])) << "control " << kLayout[i].id << ": " << Show(got);
  }
}

TEST_F(FormResizerTest, ZeroInnerSizeShrinksEverythingAndTheLayoutComesBack) {
  resizer->InitResizeArray(form);
  const int fontBefore = FontHeight(Control(kButton));
  SetInnerSize(0, 0);
  // As the policy editor calls it: its inner width (0) is the font base, so no font changes.
  resizer->ResizeControls(form, FormResizer::InnerWidthFontBase(form));
  for (HWND c : {Control(kButton), Control(kList), inner, options[0]}) {
    const RECT r = RectInParent(c);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, 0);
    EXPECT_EQ(r.bottom, 0) << "control " << GetDlgCtrlID(c);
  }
  EXPECT_EQ(FontHeight(Control(kButton)), fontBefore);
  SetInnerSize(640, 480);
  resizer->ResizeControls(form, 0);
  ExpectLayout(640, 480);
}

TEST_F(FormResizerTest, RecordingAtZeroSizeGivesZeroRatiosNotAFault) {
  SetInnerSize(0, 0);
  resizer->InitResizeArray(form);
  for (const auto& r : resizer->Records()) {
    EXPECT_EQ(r.leftRatio, 0.0f);
    EXPECT_EQ(r.widthRatio, 0.0f);
  }
  SetInnerSize(400, 300);
  resizer->ResizeControls(form, 0);
  EXPECT_EQ(RectInParent(Control(kButton)).right, 0);
}

TEST_F(FormResizerTest, FontsFollowInnerHeightOverTheFontBase) {
  resizer->InitResizeArray(form);
  // A bold control stays bold at its new size.
  LOGFONTW bold = {};
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof bold, &bold);
  bold.lfWeight = FW_BOLD;
  HFONT boldFont = CreateFontIndirectW(&bold);
  SendMessageW(Control(kLabel), WM_SETFONT, reinterpret_cast<WPARAM>(boldFont), FALSE);

  struct Case {
    int width, height;
    double points;
  };
  // 777 x 521 pixels is the policy editor's design size (11655 x 7815 twips): 8.5 * 7815 / 11655.
  for (const Case& c : {Case{777, 521, 8.5 * 521 / 777}, Case{800, 400, 4.25}, Case{300, 600, 17.0}}) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    SetInnerSize(c.width, c.height);
    resizer->ResizeControls(form, FormResizer::InnerWidthFontBase(form));
    EXPECT_EQ(FormResizer::InnerWidthFontBase(form), c.width);
    for (HWND control : {Control(kButton), Control(kLabel), Control(kEdit), inner, options[1]})
      EXPECT_EQ(FontHeight(control), HeightForPoints(c.points)) << "control " << GetDlgCtrlID(control);
    LOGFONTW face = {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Control(kLabel), WM_GETFONT, 0, 0)), sizeof face, &face);
    EXPECT_EQ(face.lfWeight, FW_BOLD);
    ExpectLayout(c.width, c.height);
  }
  EXPECT_NEAR(8.5 * 7815 / 11655, 5.70, 0.005);

  // Dropping the resizer gives each control its own font back, so none is left with a deleted one.
  resizer.reset();
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(Control(kLabel), WM_GETFONT, 0, 0)), boldFont);
  EXPECT_EQ(reinterpret_cast<HGDIOBJ>(SendMessageW(Control(kButton), WM_GETFONT, 0, 0)),
            GetStockObject(DEFAULT_GUI_FONT));
  SendMessageW(Control(kLabel), WM_SETFONT, 0, FALSE);
  DeleteObject(boldFont);
}

TEST_F(FormResizerTest, FontBaseZeroOrNegativeLeavesFontsButStillLaysOut) {
  resizer->InitResizeArray(form);
  const HGDIOBJ original = GetStockObject(DEFAULT_GUI_FONT);
  SetInnerSize(600, 450);
  for (short base : {short{0}, short{-600}}) {
    SCOPED_TRACE(base);
    resizer->ResizeControls(form, base);
    for (HWND c : controls) {
      if (GetDlgCtrlID(c) == kContainer) continue;  // a plain window keeps no font
      EXPECT_EQ(reinterpret_cast<HGDIOBJ>(SendMessageW(c, WM_GETFONT, 0, 0)), original) << GetDlgCtrlID(c);
    }
    ExpectLayout(600, 450);
  }
}

TEST_F(FormResizerTest, ControlsCanKeepTheirPlaceOrSize) {
  resizer->InitResizeArray(form);
  resizer->SetControlProperties(L"110", false, false);  // both members of the option array
  resizer->SetControlProperties(L"101", false, true);   // the button keeps its place
  resizer->SetControlProperties(L"104", true, false);   // the list keeps its size
  resizer->SetControlProperties(L"999", false, false);  // matches nothing
  SetInnerSize(800, 600);
  resizer->ResizeControls(form, 0);

  for (size_t i = 0; i < options.size(); ++i) {
    const RECT got = RectInParent(options[i]);
    EXPECT_TRUE(EqualRect(&got, &kOptionBounds[i])) << Show(got);
  }
  const RECT button = RectInParent(Control(kButton));
  EXPECT_EQ(button.left, 10);
  EXPECT_EQ(button.top, 10);
  EXPECT_EQ(button.right - button.left, 200);
  EXPECT_EQ(button.bottom - button.top, 60);
  const RECT list = RectInParent(Control(kList));
  EXPECT_EQ(list.left, 20);
  EXPECT_EQ(list.top, 160);
  EXPECT_EQ(list.right - list.left, 190);
  EXPECT_EQ(list.bottom - list.top, 200);
  const RECT edit = RectInParent(Control(kEdit));
  EXPECT_EQ(edit.left, 20);
  EXPECT_EQ(edit.right, 780);
}

TEST_F(FormResizerTest, FlagsBeforeRecordingChangeNothingAndDoNotFail) {
  resizer->SetControlProperties(L"101", false, false);
  resizer->ResizeControls(form, 400);  // nothing recorded: nothing to do
  EXPECT_TRUE(resizer->Records().empty());
  resizer->InitResizeArray(form);
  EXPECT_TRUE(resizer->Records()[0].move);
}

TEST_F(FormResizerTest, ControlsGoneOrAddedSinceRecordingAreLeftAlone) {
  resizer->InitResizeArray(form);
  DestroyWindow(Control(kEdit));
  HWND late = CreateWindowW(L"BUTTON", L"late", WS_CHILD | WS_VISIBLE, 5, 5, 50, 20, form,
                            reinterpret_cast<HMENU>(200), nullptr, nullptr);
  ASSERT_NE(late, nullptr);
  SetInnerSize(800, 600);
  resizer->ResizeControls(form, 0);
  const RECT got = RectInParent(late);
  const RECT unchanged = {5, 5, 55, 25};
  EXPECT_TRUE(EqualRect(&got, &unchanged)) << Show(got);
  const RECT list = RectInParent(Control(kList));
  const RECT want = Expected(kLayout[3].bounds, 800, 600);
  EXPECT_TRUE(EqualRect(&list, &want)) << Show(list);
}

}  // namespace
