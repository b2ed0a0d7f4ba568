// The dialog itself: its background band, and the colours it hands to the
// controls that still draw parts of themselves (edit fields, statics).
#include "skin/attach_win32.h"
#include "skin/draw_win32.h"

namespace {

void paint_dialog(HWND w, HDC dc, const RECT &c, const SkinLook &L) {
  draw_band(dc, c, L.bands[dialog_band_of(w)]);
}

const SkinCommon common = {paint_dialog, false};

LRESULT on_ctlcolor_edit(HDC dc) {
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(0, 0, 0));
  return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
}

LRESULT on_ctlcolor_static(HDC dc) {
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(191, 191, 191));
  return reinterpret_cast<LRESULT>(GetStockObject(DKGRAY_BRUSH));
}

}  // namespace

LRESULT CALLBACK skin_dialog_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (!skin_active(w)) return call_previous(w, m, wp, lp);
  switch (m) {
    case WM_ERASEBKGND:
      return 0;  // nothing erased; WM_PAINT covers the client area
    case WM_CTLCOLOREDIT:
      return on_ctlcolor_edit(reinterpret_cast<HDC>(wp));
    case WM_CTLCOLORSTATIC:
      return on_ctlcolor_static(reinterpret_cast<HDC>(wp));
    default: {
      LRESULT r;
      if (skin_common_message(w, m, wp, lp, common, &r)) return r;
      return call_previous(w, m, wp, lp);
    }
  }
}
