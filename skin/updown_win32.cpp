// The up-down control: two arrow buttons with hover and pressed looks; an
// arrow that cannot move further (at the end of the range, no wrapping) is
// dimmed.
#include "platform/win32.h"

#include <commctrl.h>

#include "skin/attach_win32.h"
#include "skin/draw_win32.h"

namespace {

// Per-window state: SKIN_HOVER, the pressed half, and the hovered half.
const uint32_t PRESSED_FIRST = 0x1, PRESSED_SECOND = 0x2;

struct Halves {
  RECT first, second;  // up (or right) and down (or left)
  bool horizontal;
};

Halves halves_of(HWND w, const RECT &c) {
  Halves h;
  h.horizontal = (GetWindowLongPtrA(w, GWL_STYLE) & UDS_HORZ) != 0;
  h.first = h.second = c;
  if (h.horizontal) {
    // The right half counts up.
    h.second.right = c.left + (c.right - c.left) / 2;
    h.first.left = h.second.right;
  } else {
    h.first.bottom = c.top + (c.bottom - c.top) / 2;
    h.second.top = h.first.bottom;
  }
  return h;
}

void paint_half(HDC dc, const RECT &r, SkinArrow arrow, bool hover, bool pressed, bool dim, const SkinLook &L) {
  int band = dim ? BAND_UPDOWN_DISABLED : pressed ? BAND_UPDOWN_PRESSED : hover ? BAND_UPDOWN_HOVER : BAND_UPDOWN;
  draw_face(dc, r, L.bands[band], L.updown->border, 2, dim || pressed ? 0 : L.button->sheen);
  RECT a = r;
  if (pressed) OffsetRect(&a, 0, 1);
  SkinColor color = dim ? L.updown->arrow_disabled : hover ? L.updown->arrow_hover : L.updown->arrow;
  int size = L.metrics->arrow_size - 1;
  draw_arrow(dc, a, arrow, size < 2 ? 2 : size, color);
}

void paint_updown(HWND w, HDC dc, const RECT &c, const SkinLook &L) {
  LONG_PTR style = GetWindowLongPtrA(w, GWL_STYLE);
  bool disabled = (style & WS_DISABLED) != 0;
  uint32_t s = state_of(w);
  Halves h = halves_of(w, c);
  POINT p;
  bool over = (s & SKIN_HOVER) && cursor_in(w, &p);
  bool hot_first = over && PtInRect(&h.first, p), hot_second = over && PtInRect(&h.second, p);
  int low = 0, high = 0;
  SendMessageA(w, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low), reinterpret_cast<LPARAM>(&high));
  BOOL failed = FALSE;
  int pos = int(SendMessageA(w, UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&failed)));
  bool wrap = (style & UDS_WRAP) != 0;
  int top = low > high ? low : high, bottom = low > high ? high : low;
  bool at_top = !wrap && !failed && pos >= top && low <= high;
  bool at_bottom = !wrap && !failed && pos <= bottom && low <= high;
  if (low > high) {  // a reversed range counts down with the first arrow
    at_top = !wrap && !failed && pos <= bottom;
    at_bottom = !wrap && !failed && pos >= top;
  }
  parent_background(w, dc, c);
  paint_half(dc, h.first, h.horizontal ? ARROW_RIGHT : ARROW_UP, hot_first, (s & PRESSED_FIRST) != 0,
             disabled || at_top, L);
  paint_half(dc, h.second, h.horizontal ? ARROW_LEFT : ARROW_DOWN, hot_second, (s & PRESSED_SECOND) != 0,
             disabled || at_bottom, L);
}

const SkinCommon common = {paint_updown, true};

LRESULT on_button_down(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  RECT c;
  GetClientRect(w, &c);
  Halves h = halves_of(w, c);
  POINT p = {short(LOWORD(lp)), short(HIWORD(lp))};
  uint32_t &s = state_of(w);
  s &= ~(PRESSED_FIRST | PRESSED_SECOND);
  if (PtInRect(&h.first, p)) s |= PRESSED_FIRST;
  else if (PtInRect(&h.second, p)) s |= PRESSED_SECOND;
  return pass_then_repaint(w, m, wp, lp);
}

}  // namespace

LRESULT CALLBACK skin_updown_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (!skin_active(w)) return call_previous(w, m, wp, lp);
  LRESULT r;
  if (skin_common_message(w, m, wp, lp, common, &r)) return r;
  switch (m) {
    case WM_MOUSEMOVE:
      state_of(w) |= SKIN_HOVER;
      track_leave(w);
      return pass_then_repaint(w, m, wp, lp);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      return on_button_down(w, m, wp, lp);
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
      state_of(w) &= ~(PRESSED_FIRST | PRESSED_SECOND);
      return pass_then_repaint(w, m, wp, lp);
    case WM_MOUSELEAVE:
      state_of(w) &= ~SKIN_HOVER;
      return pass_then_repaint(w, m, wp, lp);
    case WM_ENABLE:
    case WM_TIMER:
    case UDM_SETPOS:
    case UDM_SETPOS32:
    case UDM_SETRANGE:
    case UDM_SETRANGE32:
      return pass_then_repaint(w, m, wp, lp);
    default:
      return call_previous(w, m, wp, lp);
  }
}
