// The tab control: tabs with the selected one joined to the page and the
// hovered one lit.
#include "platform/win32.h"

#include <commctrl.h>

#include "skin/attach_win32.h"
#include "skin/draw_win32.h"

namespace {

int hot_tab(HWND w) {
  POINT p;
  if (!cursor_in(w, &p)) return -1;
  TCHITTESTINFO hit = {};
  hit.pt = p;
  return int(SendMessageA(w, TCM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
}

void tab_label(HWND w, HDC dc, int index, const RECT &r, SkinColor color) {
  char text[256] = {};
  TCITEMA item = {};
  item.mask = TCIF_TEXT;
  item.pszText = text;
  item.cchTextMax = sizeof text;
  SendMessageA(w, TCM_GETITEMA, WPARAM(index), reinterpret_cast<LPARAM>(&item));
  RECT t = r;
  draw_text(dc, w, text, t, DT_SINGLELINE | DT_VCENTER | DT_CENTER | DT_END_ELLIPSIS, color);
}

void paint_tab(HWND w, HDC dc, const RECT &c, const SkinLook &L) {
  bool disabled = (GetWindowLongPtrA(w, GWL_STYLE) & WS_DISABLED) != 0;
  int count = int(SendMessageA(w, TCM_GETITEMCOUNT, 0, 0));
  int selected = int(SendMessageA(w, TCM_GETCURSEL, 0, 0));
  int hot = disabled ? -1 : hot_tab(w);
  int raise = L.metrics->tab_raise;
  parent_background(w, dc, c);
  int row_bottom = c.top;
  for (int i = 0; i < count; ++i) {
    RECT r;
    if (SendMessageA(w, TCM_GETITEMRECT, WPARAM(i), reinterpret_cast<LPARAM>(&r)) && r.bottom > row_bottom)
      row_bottom = r.bottom;
  }
  RECT page = {c.left, row_bottom, c.right, c.bottom};
  draw_band(dc, page, L.bands[BAND_TAB_PAGE]);
  draw_rect_outline(dc, page, L.tab->border);
  for (int i = 0; i < count; ++i) {
    if (i == selected) continue;
    RECT r;
    if (!SendMessageA(w, TCM_GETITEMRECT, WPARAM(i), reinterpret_cast<LPARAM>(&r))) continue;
    r.top += raise;
    r.bottom = row_bottom;
    int band = disabled ? BAND_TAB_DISABLED : i == hot ? BAND_TAB_HOVER : BAND_TAB;
    draw_band(dc, r, L.bands[band]);
    draw_line(dc, r.left, r.bottom - 1, r.left, r.top, L.tab->border);
    draw_line(dc, r.left, r.top, r.right - 1, r.top, L.tab->border);
    draw_line(dc, r.right - 1, r.top, r.right - 1, r.bottom, L.tab->border);
    if (i == hot) draw_line(dc, r.left + 1, r.top + 1, r.right - 1, r.top + 1, L.tab->hover_line);
    tab_label(w, dc, i, r, disabled ? L.tab->text_disabled : L.tab->text);
  }
  RECT s;
  if (selected >= 0 && SendMessageA(w, TCM_GETITEMRECT, WPARAM(selected), reinterpret_cast<LPARAM>(&s))) {
    // The selected tab stands higher, a little wider, and runs into the
    // page over its top border line.
    s.left -= 1;
    s.right += 1;
    if (s.left < c.left) s.left = c.left;
    s.top = c.top > s.top - raise ? c.top : s.top - raise;
    s.bottom = row_bottom + 1;
    draw_band(dc, s, L.bands[disabled ? BAND_TAB_DISABLED : BAND_TAB_SELECTED]);
    draw_line(dc, s.left, s.bottom, s.left, s.top, L.tab->border);
    draw_line(dc, s.left, s.top, s.right - 1, s.top, L.tab->border);
    draw_line(dc, s.right - 1, s.top, s.right - 1, s.bottom, L.tab->border);
    if (!disabled) {
      RECT accent = {s.left + 1, s.top + 1, s.right - 1, s.top + 3};
      draw_fill(dc, accent, L.tab->accent_line);
    }
    RECT label = s;
    label.top += 1;
    tab_label(w, dc, selected, label, disabled ? L.tab->text_disabled : L.tab->text_selected);
    if (GetFocus() == w) {
      RECT f = s;
      InflateRect(&f, -3, -4);
      f.top += 1;
      draw_rect_outline(dc, f, L.focus->outline_dim);
    }
  }
}

const SkinCommon common = {paint_tab, true};

}  // namespace

LRESULT CALLBACK skin_tab_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (!skin_active(w)) return call_previous(w, m, wp, lp);
  LRESULT r;
  if (skin_common_message(w, m, wp, lp, common, &r)) return r;
  switch (m) {
    case WM_MOUSEMOVE:
      // No per-window state: the hot tab is found from the cursor when
      // painting, so every move repaints.
      track_leave(w);
      return pass_then_repaint(w, m, wp, lp);
    case WM_MOUSELEAVE:
    case WM_ENABLE:
    case WM_LBUTTONDOWN:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_KEYDOWN:
    case TCM_SETCURSEL:
    case TCM_SETCURFOCUS:
    case TCM_INSERTITEMA:
    case TCM_INSERTITEMW:
    case TCM_DELETEITEM:
    case TCM_SETITEMA:
    case TCM_SETITEMW:
      return pass_then_repaint(w, m, wp, lp);
    default:
      return call_previous(w, m, wp, lp);
  }
}
