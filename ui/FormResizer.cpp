#include "ui/FormResizer.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "platform/Dialogs.h"

namespace {

// Font sizes a control accepts; anything outside is refused and the font left as it is.
constexpr double kMaxPointSize = 2160.0;

void CollectControls(HWND parent, std::vector<HWND>& controls) {
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    controls.push_back(child);
    if (GetWindowLongPtrW(child, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) CollectControls(child, controls);
  }
}

std::vector<HWND> Controls(HWND form) {
  std::vector<HWND> controls;
  if (IsWindow(form)) CollectControls(form, controls);
  return controls;
}

SIZE InnerSize(HWND form) {
  RECT client = {};
  if (!GetClientRect(form, &client)) return {0, 0};
  return {client.right - client.left, client.bottom - client.top};
}

// A zero inner size (minimised window) gives no ratio: it stays 0.
float Ratio(LONG part, LONG whole) { return whole > 0 ? static_cast<float>(part) / static_cast<float>(whole) : 0.0f; }

int Scaled(LONG whole, float ratio) { return static_cast<int>(std::lround(static_cast<double>(whole) * ratio)); }

}  // namespace

FormResizer::~FormResizer() {
  // Give each living control back its own font before ours are deleted.
  for (ScaledFont& scaled : fonts_) {
    if (IsWindow(scaled.control) &&
        reinterpret_cast<HFONT>(SendMessageW(scaled.control, WM_GETFONT, 0, 0)) == scaled.font.get())
      SendMessageW(scaled.control, WM_SETFONT, reinterpret_cast<WPARAM>(scaled.original), FALSE);
  }
}

void FormResizer::InitResizeArray(HWND form) {
  records_.clear();
  const SIZE inner = InnerSize(form);
  for (HWND control : Controls(form)) {
    ControlResizeInfo info;
    info.control = control;
    info.name = std::to_wstring(GetDlgCtrlID(control));
    RECT bounds = {};
    if (GetWindowRect(control, &bounds)) {
      MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&bounds), 2);
      info.heightRatio = Ratio(bounds.bottom - bounds.top, inner.cy);
      info.widthRatio = Ratio(bounds.right - bounds.left, inner.cx);
      info.topRatio = Ratio(bounds.top, inner.cy);
      info.leftRatio = Ratio(bounds.left, inner.cx);
    }
    records_.push_back(std::move(info));
  }
}

void FormResizer::ResizeControls(HWND form, short defScaleHeight) {
  const double pointSize =
      defScaleHeight != 0 ? static_cast<double>(InnerSize(form).cy) / defScaleHeight * 8.5 : 0.0;
  ResizeControlsToPoints(form, pointSize);
}

void FormResizer::ResizeControlsToPoints(HWND form, double pointSize) {
  const SIZE inner = InnerSize(form);
  for (const ControlResizeInfo& info : records_) {
    // A control destroyed or moved to another window since the recording is not ours any more.
    if (!IsWindow(info.control) || !IsChild(form, info.control)) continue;
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER;
    if (!info.move) flags |= SWP_NOMOVE;
    if (!info.resize) flags |= SWP_NOSIZE;
    if (info.move || info.resize)
      SetWindowPos(info.control, nullptr, Scaled(inner.cx, info.leftRatio), Scaled(inner.cy, info.topRatio),
                   Scaled(inner.cx, info.widthRatio), Scaled(inner.cy, info.heightRatio), flags);
    if (pointSize != 0.0) SetControlFont(info.control, pointSize);
  }
}

void FormResizer::SetControlProperties(const std::wstring& strName, bool flgMove, bool flgResize) {
  for (ControlResizeInfo& info : records_) {
    if (info.name == strName) {
      info.move = flgMove;
      info.resize = flgResize;
    }
  }
}

short FormResizer::InnerWidthFontBase(HWND form) {
  return static_cast<short>(std::clamp<LONG>(InnerSize(form).cx, 0, SHRT_MAX));
}

void FormResizer::SetControlFont(HWND control, double pointSize) {
  if (!(pointSize > 0.0 && pointSize <= kMaxPointSize)) return;
  auto slot = std::find_if(fonts_.begin(), fonts_.end(), [&](const ScaledFont& f) { return f.control == control; });
  HFONT current = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  // The face, weight and style come from the font the control had before we first touched it.
  HFONT base = slot != fonts_.end() ? slot->original : current;
  LOGFONTW face = {};
  if (!GetObjectW(base ? static_cast<HGDIOBJ>(base) : GetStockObject(DEFAULT_GUI_FONT), sizeof face, &face)) return;
  const int dpi = platform::ScreenPixelsPerInch();
  face.lfHeight = -std::max(1L, std::lround(pointSize * dpi / 72.0));
  face.lfWidth = 0;
  platform::UniqueFont font(CreateFontIndirectW(&face));
  if (!font) return;
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
  if (slot == fonts_.end()) {
    fonts_.push_back(ScaledFont{control, current, std::move(font)});
  } else {
    slot->font = std::move(font);  // the previous font is no longer in use by the control
  }
}
