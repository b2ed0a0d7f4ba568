#include "skin/draw_win32.h"

#include "platform/win32.h"

#include <commctrl.h>

#include "skin/attach_win32.h"
#include "skin/skin.h"
#include "skin/class_table.h"
#include "skin/skin_table.h"

// ---------------------------------------------------------------- primitives

void draw_fill(HDC dc, const RECT &r, SkinColor color) {
  SetDCBrushColor(dc, cref(color));
  FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

void draw_line(HDC dc, int x0, int y0, int x1, int y1, SkinColor color) {
  HGDIOBJ old = SelectObject(dc, GetStockObject(DC_PEN));
  SetDCPenColor(dc, cref(color));
  MoveToEx(dc, x0, y0, nullptr);
  LineTo(dc, x1, y1);
  SelectObject(dc, old);
}

void draw_rect_outline(HDC dc, const RECT &r, SkinColor color) {
  SetDCBrushColor(dc, cref(color));
  FrameRect(dc, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

void draw_path(HDC dc, const POINT *points, int count, SkinColor pen, SkinColor brush, bool fill) {
  HGDIOBJ old_pen = SelectObject(dc, GetStockObject(DC_PEN));
  HGDIOBJ old_brush = SelectObject(dc, GetStockObject(fill ? DC_BRUSH : NULL_BRUSH));
  SetDCPenColor(dc, cref(pen));
  SetDCBrushColor(dc, cref(brush));
  Polygon(dc, points, count);
  SelectObject(dc, old_brush);
  SelectObject(dc, old_pen);
}

void draw_band(HDC dc, const RECT &r, const SkinBand &band, bool across) {
  int extent = across ? r.right - r.left : r.bottom - r.top;
  if (r.right <= r.left || r.bottom <= r.top) return;
  TRIVERTEX v[SKIN_BAND_STOPS * 2];
  GRADIENT_RECT g[SKIN_BAND_STOPS - 1];
  int n = 0;
  for (int i = 0; i + 1 < SKIN_BAND_STOPS; ++i) {
    int a = extent * i / (SKIN_BAND_STOPS - 1);
    int b = extent * (i + 1) / (SKIN_BAND_STOPS - 1);
    if (b <= a) continue;
    SkinColor c0 = band.stop[i], c1 = band.stop[i + 1];
    TRIVERTEX &p = v[2 * n], &q = v[2 * n + 1];
    p.x = across ? r.left + a : r.left;
    p.y = across ? r.top : r.top + a;
    q.x = across ? r.left + b : r.right;
    q.y = across ? r.bottom : r.top + b;
    p.Red = COLOR16(SKIN_RED(c0) << 8);
    p.Green = COLOR16(SKIN_GREEN(c0) << 8);
    p.Blue = COLOR16(SKIN_BLUE(c0) << 8);
    q.Red = COLOR16(SKIN_RED(c1) << 8);
    q.Green = COLOR16(SKIN_GREEN(c1) << 8);
    q.Blue = COLOR16(SKIN_BLUE(c1) << 8);
    p.Alpha = q.Alpha = 0;
    g[n].UpperLeft = ULONG(2 * n);
    g[n].LowerRight = ULONG(2 * n + 1);
    ++n;
  }
  if (n == 0) {
    draw_fill(dc, r, band.stop[0]);
    return;
  }
  GradientFill(dc, v, ULONG(2 * n), g, ULONG(n), across ? GRADIENT_FILL_RECT_H : GRADIENT_FILL_RECT_V);
}

namespace {

// Clip regions are in device units; drawing may run under a moved origin.
void clip_to(HDC dc, HRGN region) {
  POINT org;
  GetViewportOrgEx(dc, &org);
  OffsetRgn(region, org.x, org.y);
  ExtSelectClipRgn(dc, region, RGN_AND);
}

}  // namespace

void draw_band_polygon(HDC dc, const POINT *points, int count, const RECT &bounds, const SkinBand &band,
                       SkinColor outline, bool across) {
  HRGN region = CreatePolygonRgn(points, count, WINDING);
  int saved = SaveDC(dc);
  clip_to(dc, region);
  draw_band(dc, bounds, band, across);
  RestoreDC(dc, saved);
  DeleteObject(region);
  draw_path(dc, points, count, outline, outline, false);
}

void draw_face(HDC dc, const RECT &r, const SkinBand &band, SkinColor outline, int radius, SkinColor sheen) {
  int d = radius * 2;
  HRGN region = CreateRoundRectRgn(r.left, r.top, r.right + 1, r.bottom + 1, d, d);
  int saved = SaveDC(dc);
  clip_to(dc, region);
  draw_band(dc, r, band);
  if (sheen) draw_line(dc, r.left + radius, r.top + 1, r.right - radius, r.top + 1, sheen);
  RestoreDC(dc, saved);
  DeleteObject(region);
  HGDIOBJ old_pen = SelectObject(dc, GetStockObject(DC_PEN));
  HGDIOBJ old_brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  SetDCPenColor(dc, cref(outline));
  RoundRect(dc, r.left, r.top, r.right, r.bottom, d, d);
  SelectObject(dc, old_brush);
  SelectObject(dc, old_pen);
}

void draw_polyline(HDC dc, const POINT *points, int count, SkinColor color, int width) {
  HPEN pen = CreatePen(PS_SOLID, width, cref(color));
  HGDIOBJ old = SelectObject(dc, pen);
  Polyline(dc, points, count);
  SelectObject(dc, old);
  DeleteObject(pen);
}

void draw_band_ellipse(HDC dc, const RECT &r, const SkinBand &band, SkinColor outline) {
  HRGN region = CreateEllipticRgn(r.left, r.top, r.right + 1, r.bottom + 1);
  int saved = SaveDC(dc);
  clip_to(dc, region);
  draw_band(dc, r, band);
  RestoreDC(dc, saved);
  DeleteObject(region);
  HGDIOBJ old_pen = SelectObject(dc, GetStockObject(DC_PEN));
  HGDIOBJ old_brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  SetDCPenColor(dc, cref(outline));
  Ellipse(dc, r.left, r.top, r.right, r.bottom);
  SelectObject(dc, old_brush);
  SelectObject(dc, old_pen);
}

void draw_round_outline(HDC dc, const RECT &r, int radius, SkinColor color) {
  HGDIOBJ old_pen = SelectObject(dc, GetStockObject(DC_PEN));
  HGDIOBJ old_brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  SetDCPenColor(dc, cref(color));
  RoundRect(dc, r.left, r.top, r.right, r.bottom, radius * 2, radius * 2);
  SelectObject(dc, old_brush);
  SelectObject(dc, old_pen);
}

void draw_arrow(HDC dc, const RECT &area, SkinArrow direction, int size, SkinColor color) {
  int w = area.right - area.left, h = area.bottom - area.top;
  if (w <= 0 || h <= 0) return;
  const SkinLook *look = look_of();
  SkinColor key = look ? look->glyph->key : SKIN_RGB(255, 0, 255);
  HDC glyph = CreateCompatibleDC(dc);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, w, h);
  HGDIOBJ old = SelectObject(glyph, bitmap);
  RECT all = {0, 0, w, h};
  draw_fill(glyph, all, key);
  int cx = w / 2, cy = h / 2;
  int half = size / 2;
  POINT p[3];
  switch (direction) {
    case ARROW_DOWN:
      p[0] = {cx - size, cy - half};
      p[1] = {cx + size, cy - half};
      p[2] = {cx, cy - half + size};
      break;
    case ARROW_UP:
      p[0] = {cx - size, cy + half};
      p[1] = {cx + size, cy + half};
      p[2] = {cx, cy + half - size};
      break;
    case ARROW_RIGHT:
      p[0] = {cx - half, cy - size};
      p[1] = {cx - half, cy + size};
      p[2] = {cx - half + size, cy};
      break;
    case ARROW_LEFT:
      p[0] = {cx + half, cy - size};
      p[1] = {cx + half, cy + size};
      p[2] = {cx + half - size, cy};
      break;
  }
  draw_path(glyph, p, 3, color, color, true);
  TransparentBlt(dc, area.left, area.top, w, h, glyph, 0, 0, w, h, cref(key));
  SelectObject(glyph, old);
  DeleteObject(bitmap);
  DeleteDC(glyph);
}

HFONT skin_font_of(HWND control) {
  HFONT font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
  if (!font) {
    HWND parent = GetParent(control);
    if (parent) font = reinterpret_cast<HFONT>(SendMessageA(parent, WM_GETFONT, 0, 0));
  }
  if (!font) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  return font;
}

void draw_text(HDC dc, HWND control, const char *text, RECT &r, UINT flags, SkinColor color) {
  HGDIOBJ old = SelectObject(dc, skin_font_of(control));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, cref(color));
  DrawTextA(dc, text, -1, &r, flags);
  SelectObject(dc, old);
}

// ----------------------------------------------------------------- the frame

int border_thickness(LONG_PTR style, LONG_PTR exstyle) {
  int t = 0;
  if (exstyle & WS_EX_CLIENTEDGE) t += 2;
  if (exstyle & WS_EX_STATICEDGE) t += 1;
  if (exstyle & WS_EX_DLGMODALFRAME) t += 3;
  if ((style & WS_CAPTION) == WS_BORDER) t += 1;
  return t;
}

void draw_frame(HDC dc, const RECT &r, int thickness, SkinColor outer, SkinColor inner) {
  RECT ring = r;
  for (int i = 0; i < thickness; ++i) {
    draw_rect_outline(dc, ring, i == 0 ? outer : inner);
    InflateRect(&ring, -1, -1);
  }
}

// ---------------------------------------------------------- message plumbing

const SkinLook *look_of(void) { return skin_look(); }

uint32_t &state_of(HWND window) {
  static uint32_t scratch;
  SkinEntry *e = skin_table_find(window);
  if (e && e->data) return *static_cast<uint32_t *>(e->data);
  scratch = 0;
  return scratch;
}

LRESULT call_previous(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  WNDPROC previous = skin_previous_proc(window);
  if (!previous) previous = skin_fallback_proc(window);
  if (!previous) return DefWindowProcA(window, message, wparam, lparam);
  return CallWindowProcA(previous, window, message, wparam, lparam);
}

void repaint(HWND window) {
  InvalidateRect(window, nullptr, FALSE);
  UpdateWindow(window);
}

void track_leave(HWND window) {
  TRACKMOUSEEVENT t = {};
  t.cbSize = sizeof t;
  t.dwFlags = TME_LEAVE;
  t.hwndTrack = window;
  _TrackMouseEvent(&t);
}

void repaint_with_frame(HWND window) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW | RDW_NOCHILDREN);
}

LRESULT pass_then_repaint(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  LRESULT r = call_previous(window, message, wparam, lparam);
  if (IsWindow(window)) repaint(window);
  return r;
}

void hover_move(HWND window) {
  uint32_t &s = state_of(window);
  if (!(s & SKIN_HOVER)) {
    s |= SKIN_HOVER;
    repaint(window);
  }
  track_leave(window);
}

void hover_leave(HWND window) {
  state_of(window) &= ~SKIN_HOVER;
  repaint(window);
}

bool cursor_in(HWND window, POINT *client_point) {
  POINT p;
  if (!GetCursorPos(&p)) return false;
  POINT screen = p;
  ScreenToClient(window, &p);
  if (client_point) *client_point = p;
  RECT c;
  GetClientRect(window, &c);
  return PtInRect(&c, p) && WindowFromPoint(screen) == window;
}

namespace {

// The window's off-screen surface, at least w x h, from its table entry.
HDC surface(HWND window, int w, int h) {
  SkinEntry *e = skin_table_find(window);
  if (!e) return nullptr;
  HDC dc = static_cast<HDC>(e->memory_dc);
  HBITMAP bitmap = static_cast<HBITMAP>(e->bitmap);
  if (bitmap) {
    BITMAP info;
    if (!GetObjectA(bitmap, sizeof info, &info) || info.bmWidth < w || info.bmHeight < h) {
      if (dc) SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
      DeleteDC(dc);
      DeleteObject(bitmap);
      dc = nullptr;
      bitmap = nullptr;
    }
  }
  if (!dc || !bitmap) {
    HDC screen = GetDC(nullptr);
    dc = CreateCompatibleDC(screen);
    bitmap = CreateCompatibleBitmap(screen, w, h);
    ReleaseDC(nullptr, screen);
    if (!dc || !bitmap) {
      if (dc) DeleteDC(dc);
      if (bitmap) DeleteObject(bitmap);
      e->memory_dc = e->bitmap = nullptr;
      return nullptr;
    }
    SelectObject(dc, bitmap);
    e->memory_dc = dc;
    e->bitmap = bitmap;
  }
  return dc;
}

void client_offset(HWND window, POINT *offset) {
  RECT wr;
  GetWindowRect(window, &wr);
  POINT o = {0, 0};
  ClientToScreen(window, &o);
  offset->x = o.x - wr.left;
  offset->y = o.y - wr.top;
}

void print_children(HWND window, HDC dc, LPARAM flags) {
  RECT wr;
  GetWindowRect(window, &wr);
  HWND top = GetWindow(window, GW_CHILD);
  if (!top) return;
  // Bottom of the z-order first, so windows above paint over those below.
  for (HWND child = GetWindow(top, GW_HWNDLAST); child; child = GetWindow(child, GW_HWNDPREV)) {
    if (!IsWindowVisible(child)) continue;
    RECT cr;
    GetWindowRect(child, &cr);
    int saved = SaveDC(dc);
    OffsetViewportOrgEx(dc, cr.left - wr.left, cr.top - wr.top, nullptr);
    IntersectClipRect(dc, 0, 0, cr.right - cr.left, cr.bottom - cr.top);
    SendMessageA(child, WM_PRINT, reinterpret_cast<WPARAM>(dc),
                 (flags | PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN) & ~PRF_OWNED);
    RestoreDC(dc, saved);
  }
}

}  // namespace

void paint_to(HWND window, HDC target, SkinPainter painter) {
  const SkinLook *look = look_of();
  RECT client;
  GetClientRect(window, &client);
  int w = client.right, h = client.bottom;
  if (!look || w <= 0 || h <= 0) return;
  HDC mem = surface(window, w, h);
  if (!mem) return;
  int saved = SaveDC(mem);
  SetBkMode(mem, TRANSPARENT);
  SelectObject(mem, skin_font_of(window));
  painter(window, mem, client, *look);
  RestoreDC(mem, saved);
  RECT inside;
  int target_saved = SaveDC(target);
  if (skin_paint_exclusion(window, &inside))
    ExcludeClipRect(target, inside.left, inside.top, inside.right, inside.bottom);
  BitBlt(target, 0, 0, w, h, mem, 0, 0, SRCCOPY);
  RestoreDC(target, target_saved);
}

LRESULT paint_message(HWND window, UINT message, WPARAM wparam, LPARAM, SkinPainter painter) {
  if (message == WM_PRINTCLIENT || wparam) {
    paint_to(window, reinterpret_cast<HDC>(wparam), painter);
    return 0;
  }
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  if (dc) paint_to(window, dc, painter);
  EndPaint(window, &ps);
  return 0;
}

void draw_window_border(HWND window, HDC dc) {
  const SkinLook *look = look_of();
  if (!look) return;
  LONG_PTR style = GetWindowLongPtrA(window, GWL_STYLE);
  LONG_PTR exstyle = GetWindowLongPtrA(window, GWL_EXSTYLE);
  int t = border_thickness(style, exstyle);
  if (t <= 0) return;
  RECT wr;
  GetWindowRect(window, &wr);
  RECT r = {0, 0, wr.right - wr.left, wr.bottom - wr.top};
  int row = skin_row_of(window);
  bool focused = GetFocus() == window;
  bool hover = (state_of(window) & SKIN_HOVER) != 0;
  bool disabled = (style & WS_DISABLED) != 0;
  SkinColor outer = look->border->outer, inner = look->border->inner_dark;
  switch (row) {
    case SKIN_EDIT:
      outer = disabled ? look->border->disabled
              : focused ? look->edit->border_focus
              : hover   ? look->edit->border_hover
                        : look->edit->border;
      inner = disabled ? look->edit->field_disabled : look->edit->field;
      break;
    case SKIN_LISTBOX:
      outer = focused ? look->list->border_focus : look->list->border;
      inner = disabled ? look->list->background_disabled : look->list->background;
      break;
    case SKIN_HOTKEY:
      outer = disabled ? look->border->disabled : focused ? look->hotkey->border_focus : look->hotkey->border;
      inner = disabled ? look->edit->field_disabled : look->hotkey->field;
      break;
    case SKIN_IPADDRESS:
      outer = disabled ? look->border->disabled : look->ip->border;
      inner = disabled ? look->edit->field_disabled : look->ip->field;
      break;
    case SKIN_DIALOG:
      outer = look->dialog->edge_dark;
      inner = look->dialog->edge_light;
      break;
    default:
      break;
  }
  draw_frame(dc, r, t, outer, inner);
}

namespace {

// Scroll bars of list boxes and edit fields in the palette: a dark track,
// arrow buttons and a raised thumb, over what the system drew.
void draw_scrollbars(HWND window, HDC dc, const SkinLook &look) {
  LONG_PTR style = GetWindowLongPtrA(window, GWL_STYLE);
  RECT wr;
  GetWindowRect(window, &wr);
  const LONG ids[2] = {LONG(OBJID_VSCROLL), LONG(OBJID_HSCROLL)};
  for (int i = 0; i < 2; ++i) {
    if (!(style & (i == 0 ? WS_VSCROLL : WS_HSCROLL))) continue;
    SCROLLBARINFO sb = {};
    sb.cbSize = sizeof sb;
    if (!GetScrollBarInfo(window, ids[i], &sb) || (sb.rgstate[0] & (STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN)))
      continue;
    bool vertical = i == 0;
    bool off = (sb.rgstate[0] & STATE_SYSTEM_UNAVAILABLE) || (style & WS_DISABLED);
    RECT r = sb.rcScrollBar;
    OffsetRect(&r, -wr.left, -wr.top);
    if (r.right <= r.left || r.bottom <= r.top) continue;
    draw_band(dc, r, look.bands[BAND_CHANNEL], !vertical);
    int b = sb.dxyLineButton;
    RECT first = r, second = r;
    if (vertical) first.bottom = r.top + b, second.top = r.bottom - b;
    else first.right = r.left + b, second.left = r.right - b;
    int band = off ? BAND_UPDOWN_DISABLED : BAND_UPDOWN;
    SkinColor arrow = off ? look.updown->arrow_disabled : look.updown->arrow;
    draw_face(dc, first, look.bands[band], look.updown->border, 2, 0);
    draw_face(dc, second, look.bands[band], look.updown->border, 2, 0);
    draw_arrow(dc, first, vertical ? ARROW_UP : ARROW_LEFT, 3, arrow);
    draw_arrow(dc, second, vertical ? ARROW_DOWN : ARROW_RIGHT, 3, arrow);
    if (!off && sb.xyThumbBottom > sb.xyThumbTop) {
      RECT thumb = r;
      if (vertical) thumb.top = r.top + sb.xyThumbTop, thumb.bottom = r.top + sb.xyThumbBottom;
      else thumb.left = r.left + sb.xyThumbTop, thumb.right = r.left + sb.xyThumbBottom;
      InflateRect(&thumb, vertical ? -1 : 0, vertical ? 0 : -1);
      draw_face(dc, thumb, look.bands[BAND_BUTTON], look.button->border, 2, look.button->sheen);
    }
  }
}

}  // namespace

void draw_window_frame(HWND window, HDC dc) {
  draw_window_border(window, dc);
  if (const SkinLook *look = look_of()) draw_scrollbars(window, dc, *look);
}

LRESULT ncpaint_message(HWND window, WPARAM wparam, LPARAM lparam) {
  call_previous(window, WM_NCPAINT, wparam, lparam);
  HDC dc = GetWindowDC(window);
  if (dc) {
    draw_window_frame(window, dc);
    ReleaseDC(window, dc);
  }
  return 0;
}

LRESULT print_message(HWND window, WPARAM wparam, LPARAM lparam, SkinPainter painter) {
  HDC dc = reinterpret_cast<HDC>(wparam);
  if ((lparam & PRF_CHECKVISIBLE) && !IsWindowVisible(window)) return 0;
  if (lparam & PRF_NONCLIENT) {
    call_previous(window, WM_PRINT, wparam, PRF_NONCLIENT);
    draw_window_frame(window, dc);
  }
  if (lparam & PRF_CLIENT) {
    POINT o;
    client_offset(window, &o);
    RECT c;
    GetClientRect(window, &c);
    int saved = SaveDC(dc);
    OffsetViewportOrgEx(dc, o.x, o.y, nullptr);
    IntersectClipRect(dc, 0, 0, c.right, c.bottom);
    paint_to(window, dc, painter);
    RestoreDC(dc, saved);
  }
  if (lparam & PRF_CHILDREN) print_children(window, dc, lparam);
  return 0;
}

namespace {

// Controls placed over a tab control as its siblings sit on its page: the
// tab control paints its client area into the surface beneath them.
void tab_page_behind(HWND window, HDC dc, const RECT &client) {
  HWND parent = GetParent(window);
  if (!parent || !(GetWindowLongPtrA(window, GWL_STYLE) & WS_CHILD)) return;
  RECT mine;
  GetWindowRect(window, &mine);
  for (HWND s = GetWindow(parent, GW_CHILD); s; s = GetWindow(s, GW_HWNDNEXT)) {
    if (s == window || !IsWindowVisible(s) || skin_row_of(s) != SKIN_TAB || !skin_is_skinned(s)) continue;
    RECT tab, both;
    GetWindowRect(s, &tab);
    if (!IntersectRect(&both, &tab, &mine) || !EqualRect(&both, &mine)) continue;
    POINT o = {0, 0};
    MapWindowPoints(s, window, &o, 1);
    int saved = SaveDC(dc);
    IntersectClipRect(dc, client.left, client.top, client.right, client.bottom);
    OffsetViewportOrgEx(dc, o.x, o.y, nullptr);
    SendMessageA(s, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    RestoreDC(dc, saved);
    return;
  }
}

}  // namespace

int dialog_band_of(HWND dialog) {
  return (GetWindowLongPtrA(dialog, GWL_EXSTYLE) & 0x2000) ? BAND_DIALOG_ALT : BAND_DIALOG;
}

void dialog_band_behind(HWND window, HDC dc, const RECT &client, const SkinLook &look) {
  HWND dialog = GetParent(window);
  while (dialog && skin_row_of(dialog) != SKIN_DIALOG) dialog = GetParent(dialog);
  if (!dialog || !(GetWindowLongPtrA(window, GWL_STYLE) & WS_CHILD)) {
    draw_band(dc, client, look.bands[BAND_TRACKBAR_BACKGROUND]);
    return;
  }
  RECT dr;
  GetClientRect(dialog, &dr);
  MapWindowPoints(dialog, window, reinterpret_cast<POINT *>(&dr), 2);
  int saved = SaveDC(dc);
  IntersectClipRect(dc, client.left, client.top, client.right, client.bottom);
  draw_band(dc, dr, look.bands[dialog_band_of(dialog)]);
  RestoreDC(dc, saved);
  tab_page_behind(window, dc, client);
}

void parent_background(HWND window, HDC dc, const RECT &client) {
  const SkinLook *look = look_of();
  if (!look) return;
  HWND parent = GetParent(window);
  int row = parent ? skin_row_of(parent) : -1;
  if (row < 0 || row == SKIN_DIALOG || !skin_is_skinned(parent) ||
      !(GetWindowLongPtrA(window, GWL_STYLE) & WS_CHILD)) {
    dialog_band_behind(window, dc, client, *look);
    return;
  }
  // A skinned control as parent (a tab control, a combo box) paints its own
  // client area into our surface, moved so its origin lies where it is.
  POINT o = {0, 0};
  MapWindowPoints(window, parent, &o, 1);
  int saved = SaveDC(dc);
  IntersectClipRect(dc, client.left, client.top, client.right, client.bottom);
  OffsetViewportOrgEx(dc, -o.x, -o.y, nullptr);
  SendMessageA(parent, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  RestoreDC(dc, saved);
}
