#pragma once
// Keeps a window's layout proportional to its inner (client) size. InitResizeArray records every
// control's position and size as fractions of the window's inner size; ResizeControls re-applies
// those fractions (never recomputed, so nothing drifts) and can scale every control's font.
//
// The window's controls are its child windows in Z-order, depth first; the children of a child
// are included only when that child is a container (WS_EX_CONTROLPARENT), so the inner parts of a
// combo box or list view are left to their owner. A control's Left/Top are relative to its parent,
// but every ratio is taken against the window itself, containers included.
// A control's name is its control ID in decimal; controls that share an ID share a name.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/Handle.h"

struct ControlResizeInfo {
  std::wstring name;
  bool move = true;
  bool resize = true;
  float heightRatio = 0;
  float widthRatio = 0;
  float topRatio = 0;
  float leftRatio = 0;
  HWND control = nullptr;  // the ratios are re-applied to this control only
};

class FormResizer {
 public:
  FormResizer() = default;
  ~FormResizer();
  FormResizer(const FormResizer&) = delete;
  FormResizer& operator=(const FormResizer&) = delete;

  // Replaces the records with one per control of form, as laid out now.
  void InitResizeArray(HWND form);
  // Re-applies the ratios to form's current inner size. When defScaleHeight is not 0 every
  // control's font is set to innerHeight / defScaleHeight * 8.5 points.
  void ResizeControls(HWND form, short defScaleHeight);
  // The same, with every control's font set to pointSize points; 0 leaves the fonts alone.
  void ResizeControlsToPoints(HWND form, double pointSize);
  // Sets the flags of every record named strName (case-sensitive); no match changes nothing.
  void SetControlProperties(const std::wstring& strName, bool flgMove, bool flgResize);

  // The font base the policy editor passes: its inner width, clamped to what a short holds.
  static short InnerWidthFontBase(HWND form);

  const std::vector<ControlResizeInfo>& Records() const { return records_; }

 private:
  struct ScaledFont {
    HWND control = nullptr;
    HFONT original = nullptr;  // what the control had before the first scaling; not ours
    platform::UniqueFont font;
  };

  void SetControlFont(HWND control, double pointSize);

  std::vector<ControlResizeInfo> records_;
  std::vector<ScaledFont> fonts_;
};
