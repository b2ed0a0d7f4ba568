// The trackbar: channel with selection range, tics, and a thumb with hover,
// pressed, focus and disabled looks. With extended style bit 0x10 a click
// on the channel moves the thumb to the click before the standard control
// starts dragging it.
#include "platform/win32.h"

#include <commctrl.h>

#include "skin/attach_win32.h"
#include "skin/draw_win32.h"
#include "skin/trackbar_geometry.h"

namespace {

const LONG_PTR CLICK_TO_POSITION = 0x10;
// Per-window state: SKIN_HOVER (bit 31), and whether the thumb was drawn
// hovered, so crossing the thumb's edge repaints.
const uint32_t THUMB_HOT = 0x40000000u;

SkinRect to_skin(const RECT &r) { return SkinRect{int(r.left), int(r.top), int(r.right), int(r.bottom)}; }
RECT to_rect(const SkinRect &r) { return RECT{r.left, r.top, r.right, r.bottom}; }

// The geometry the control reports, shared by painting and by clicks.
TrackGeometry geometry_of(HWND w) {
  LONG_PTR style = GetWindowLongPtrA(w, GWL_STYLE);
  RECT channel = {}, thumb = {};
  SendMessageA(w, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
  SendMessageA(w, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
  int min = int(SendMessageA(w, TBM_GETRANGEMIN, 0, 0));
  int max = int(SendMessageA(w, TBM_GETRANGEMAX, 0, 0));
  return track_geometry((style & TBS_VERT) != 0, to_skin(channel), to_skin(thumb), min, max);
}

bool cursor_on_thumb(HWND w, const TrackGeometry &g) {
  POINT p;
  return cursor_in(w, &p) && skin_rect_contains(g.thumb, p.x, p.y);
}

// The thumb's outline: a pointed pentagon, or a rectangle for TBS_BOTH.
int thumb_outline(const RECT &t, LONG_PTR style, POINT *p) {
  int l = t.left, r = t.right - 1, tp = t.top, b = t.bottom - 1;
  bool vertical = (style & TBS_VERT) != 0;
  if (style & TBS_BOTH) {
    p[0] = {l, tp}, p[1] = {r, tp}, p[2] = {r, b}, p[3] = {l, b};
    return 4;
  }
  bool top = (style & TBS_TOP) != 0;  // TBS_LEFT for vertical ones
  if (!vertical) {
    int half = (r - l) / 2, cx = l + half;
    if (top) p[0] = {l, tp + half}, p[1] = {cx, tp}, p[2] = {r, tp + half}, p[3] = {r, b}, p[4] = {l, b};
    else p[0] = {l, tp}, p[1] = {r, tp}, p[2] = {r, b - half}, p[3] = {cx, b}, p[4] = {l, b - half};
  } else {
    int half = (b - tp) / 2, cy = tp + half;
    if (top) p[0] = {l + half, tp}, p[1] = {r, tp}, p[2] = {r, b}, p[3] = {l + half, b}, p[4] = {l, cy};
    else p[0] = {l, tp}, p[1] = {r - half, tp}, p[2] = {r, cy}, p[3] = {r - half, b}, p[4] = {l, b};
  }
  return 5;
}

void paint_tics(HWND w, HDC dc, const TrackGeometry &g, LONG_PTR style, const SkinLook &L) {
  if (style & TBS_NOTICKS) return;
  int count = int(SendMessageA(w, TBM_GETNUMTICS, 0, 0));
  if (count < 2) return;
  int len = L.metrics->tic_length;
  bool before = (style & (TBS_TOP | TBS_BOTH)) != 0;
  bool after = !(style & TBS_TOP) || (style & TBS_BOTH);
  auto tic = [&](int at, int size) {
    if (g.vertical) {
      if (after) draw_line(dc, g.thumb.right + 2, at, g.thumb.right + 2 + size, at, L.trackbar->tic);
      if (before) draw_line(dc, g.thumb.left - 2 - size, at, g.thumb.left - 2, at, L.trackbar->tic);
    } else {
      if (after) draw_line(dc, at, g.thumb.bottom + 2, at, g.thumb.bottom + 2 + size, L.trackbar->tic);
      if (before) draw_line(dc, at, g.thumb.top - 2 - size, at, g.thumb.top - 2, L.trackbar->tic);
    }
  };
  tic(g.start, len + 1);
  tic(g.end, len + 1);
  for (int i = 0; i + 2 < count; ++i) {
    int at = int(SendMessageA(w, TBM_GETTICPOS, WPARAM(i), 0));
    if (at >= 0) tic(at, len);
  }
}

void paint_trackbar(HWND w, HDC dc, const RECT &c, const SkinLook &L) {
  LONG_PTR style = GetWindowLongPtrA(w, GWL_STYLE);
  LONG_PTR exstyle = GetWindowLongPtrA(w, GWL_EXSTYLE);
  bool disabled = (style & WS_DISABLED) != 0;
  TrackGeometry g = geometry_of(w);

  if (exstyle & WS_EX_TRANSPARENT) parent_background(w, dc, c);
  else dialog_band_behind(w, dc, c, L);

  // Channel, at least the palette's thickness across the track.
  RECT ch = to_rect(g.channel);
  int thick = L.metrics->channel_thickness;
  if (g.vertical && ch.right - ch.left < thick) {
    int mid = (ch.left + ch.right) / 2;
    ch.left = mid - thick / 2;
    ch.right = ch.left + thick;
  } else if (!g.vertical && ch.bottom - ch.top < thick) {
    int mid = (ch.top + ch.bottom) / 2;
    ch.top = mid - thick / 2;
    ch.bottom = ch.top + thick;
  }
  draw_band(dc, ch, L.bands[disabled ? BAND_CHANNEL_DISABLED : BAND_CHANNEL], g.vertical);
  draw_rect_outline(dc, ch, disabled ? L.trackbar->channel_border_disabled : L.trackbar->channel_border);

  if (style & TBS_ENABLESELRANGE) {
    int from = int(SendMessageA(w, TBM_GETSELSTART, 0, 0));
    int to = int(SendMessageA(w, TBM_GETSELEND, 0, 0));
    if (to > from) {
      int a = track_pixel_of(g, from), b = track_pixel_of(g, to);
      RECT sel = ch;
      if (g.vertical) sel.top = a, sel.bottom = b + 1;
      else sel.left = a, sel.right = b + 1;
      draw_band(dc, sel, L.bands[disabled ? BAND_SELECTION_DISABLED : BAND_SELECTION], g.vertical);
      draw_rect_outline(dc, sel, L.trackbar->selection_border);
    }
  }

  paint_tics(w, dc, g, style, L);

  if (!(style & TBS_NOTHUMB)) {
    bool pressed = GetCapture() == w;
    bool hover = (state_of(w) & SKIN_HOVER) && cursor_on_thumb(w, g);
    bool focus = GetFocus() == w;
    int band = disabled  ? BAND_THUMB_DISABLED
               : pressed ? BAND_THUMB_PRESSED
               : hover   ? BAND_THUMB_HOVER
               : focus   ? BAND_THUMB_FOCUS
                         : BAND_THUMB;
    SkinColor outline = disabled ? L.trackbar->thumb_border_disabled
                        : focus  ? L.trackbar->thumb_border_focus
                        : hover  ? L.trackbar->thumb_border_hover
                                 : L.trackbar->thumb_border;
    RECT t = to_rect(g.thumb);
    POINT p[5];
    int n = thumb_outline(t, style, p);
    draw_band_polygon(dc, p, n, t, L.bands[band], outline, g.vertical);
    if (!disabled) {
      // A grip line across the thumb's middle.
      if (g.vertical) {
        int cy = (t.top + t.bottom) / 2;
        draw_line(dc, t.left + 3, cy, t.right - 4, cy, L.trackbar->thumb_border_hover);
      } else {
        int cx = (t.left + t.right) / 2;
        draw_line(dc, cx, t.top + 3, cx, t.bottom - 4, L.trackbar->thumb_border_hover);
      }
    }
  }

  if ((style & WS_BORDER) || (exstyle & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE | WS_EX_DLGMODALFRAME)))
    draw_rect_outline(dc, c, L.trackbar->border);
}

const SkinCommon common = {paint_trackbar, true};

// A band across the track is always repainted whole.
void widen_update(HWND w) {
  RECT u;
  if (!GetUpdateRect(w, &u, FALSE)) return;
  RECT c;
  GetClientRect(w, &c);
  RECT want = u;
  if (GetWindowLongPtrA(w, GWL_STYLE) & TBS_VERT) want.left = c.left, want.right = c.right;
  else want.top = c.top, want.bottom = c.bottom;
  if (!EqualRect(&want, &u)) InvalidateRect(w, &want, FALSE);
}

void repaint_now(HWND w) {
  InvalidateRect(w, nullptr, FALSE);
  UpdateWindow(w);
}

LRESULT on_mouse_move(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  uint32_t &s = state_of(w);
  TrackGeometry g = geometry_of(w);
  POINT p = {short(LOWORD(lp)), short(HIWORD(lp))};
  bool on_thumb = skin_rect_contains(g.thumb, p.x, p.y);
  bool changed = !(s & SKIN_HOVER) || on_thumb != ((s & THUMB_HOT) != 0);
  s |= SKIN_HOVER;
  if (on_thumb) s |= THUMB_HOT;
  else s &= ~THUMB_HOT;
  if (changed) repaint_now(w);
  track_leave(w);
  return call_previous(w, m, wp, lp);
}

LRESULT on_mouse_leave(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  state_of(w) &= ~(SKIN_HOVER | THUMB_HOT);
  repaint_now(w);
  return call_previous(w, m, wp, lp);
}

LRESULT on_button_down(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (GetWindowLongPtrA(w, GWL_EXSTYLE) & CLICK_TO_POSITION) {
    int x = int(LOWORD(lp)), y = int(HIWORD(lp));
    int position;
    if (track_click_position(geometry_of(w), x, y, &position))
      SendMessageA(w, TBM_SETPOS, TRUE, position);
  }
  // The standard control now starts dragging the thumb under the mouse.
  LRESULT r = call_previous(w, m, wp, lp);
  repaint_now(w);
  return r;
}

LRESULT on_nc_paint(HWND w) {
  HDC dc = GetWindowDC(w);
  if (dc) {
    draw_window_border(w, dc);
    ReleaseDC(w, dc);
  }
  return 0;
}

}  // namespace

LRESULT CALLBACK skin_trackbar_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (!skin_active(w)) return call_previous(w, m, wp, lp);
  switch (m) {
    case WM_ERASEBKGND:
      return 0;
    case WM_MOUSELEAVE:
      return on_mouse_leave(w, m, wp, lp);
    case WM_MOUSEMOVE:
      return on_mouse_move(w, m, wp, lp);
    case WM_LBUTTONDOWN:
      return on_button_down(w, m, wp, lp);
    case WM_NCPAINT:
      return on_nc_paint(w);
    case WM_PAINT:
    case WM_PRINTCLIENT:
      widen_update(w);
      return paint_message(w, m, wp, lp, paint_trackbar);
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
      return pass_then_repaint(w, m, wp, lp);
    default: {
      LRESULT r;
      if (skin_common_message(w, m, wp, lp, common, &r)) return r;
      return call_previous(w, m, wp, lp);
    }
  }
}
