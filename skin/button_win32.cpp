// Push buttons, check boxes, radio buttons and group boxes.
#include "platform/win32.h"

#include <commctrl.h>

#include "skin/attach_win32.h"
#include "skin/class_table.h"
#include "skin/draw_win32.h"

namespace {

// Per-window state: SKIN_HOVER, and the press state as BM_SETSTATE set it.
const uint32_t PRESSED = 0x1;

struct ButtonLook {
  LONG_PTR style;
  UINT type;
  bool disabled, hover, pressed, focus, pushlike;
  int check;  // BST_UNCHECKED, BST_CHECKED, BST_INDETERMINATE
  char text[256];
};

ButtonLook read_button(HWND w) {
  ButtonLook b = {};
  b.style = GetWindowLongPtrA(w, GWL_STYLE);
  b.type = UINT(b.style & BS_TYPEMASK);
  uint32_t s = state_of(w);
  LRESULT st = SendMessageA(w, BM_GETSTATE, 0, 0);
  b.disabled = (b.style & WS_DISABLED) != 0;
  b.hover = (s & SKIN_HOVER) && !b.disabled;
  b.pressed = (st & BST_PUSHED) || (s & PRESSED);
  b.focus = GetFocus() == w;
  b.check = int(st & (BST_CHECKED | BST_INDETERMINATE));
  b.pushlike = (b.style & BS_PUSHLIKE) != 0;
  GetWindowTextA(w, b.text, sizeof b.text);
  return b;
}

bool is_check(UINT type) {
  return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE;
}
bool is_radio(UINT type) { return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON; }

// Owner-drawn buttons and buttons showing an image keep their own painting.
bool draws_itself(HWND w) {
  LONG_PTR style = GetWindowLongPtrA(w, GWL_STYLE);
  UINT type = UINT(style & BS_TYPEMASK);
  return type == BS_OWNERDRAW || type == BS_USERBUTTON || (style & (BS_ICON | BS_BITMAP)) || type > BS_OWNERDRAW;
}

int text_height(HWND w, HDC dc) {
  HGDIOBJ old = SelectObject(dc, skin_font_of(w));
  TEXTMETRICA tm;
  GetTextMetricsA(dc, &tm);
  SelectObject(dc, old);
  return tm.tmHeight;
}

void paint_push(HWND w, HDC dc, const RECT &c, const SkinLook &L, const ButtonLook &b) {
  bool def = b.type == BS_DEFPUSHBUTTON;
  bool on = b.pushlike && b.check;
  int band;
  if (b.disabled) band = def ? BAND_DEFBUTTON_DISABLED : BAND_BUTTON_DISABLED;
  else if (b.pressed) band = def ? BAND_DEFBUTTON_PRESSED : BAND_BUTTON_PRESSED;
  else if (on) band = b.hover ? BAND_PUSHLIKE_CHECKED_HOVER : BAND_PUSHLIKE_CHECKED;
  else if (b.hover) band = def ? BAND_DEFBUTTON_HOVER : BAND_BUTTON_HOVER;
  else band = def ? BAND_DEFBUTTON : BAND_BUTTON;
  SkinColor border = b.disabled  ? L.button->border_disabled
                     : b.pressed ? L.button->border_pressed
                     : def       ? L.button->border_default
                     : b.hover   ? L.button->border_hover
                                 : L.button->border;
  RECT face = c;
  int radius = L.metrics->button_radius;
  bool raised = !b.disabled && !b.pressed;
  draw_face(dc, face, L.bands[band], border, radius, raised ? L.button->sheen : 0);
  if (b.focus && !b.disabled) {
    RECT f = c;
    InflateRect(&f, -2, -2);
    draw_round_outline(dc, f, radius - 1, L.focus->outline);
  }
  RECT t = c;
  InflateRect(&t, -4, -2);
  if (b.pressed) OffsetRect(&t, L.effects->pressed_offset, L.effects->pressed_offset);
  UINT flags = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
  if (b.style & BS_MULTILINE) {
    RECT calc = t;
    draw_text(dc, w, b.text, calc, DT_CENTER | DT_WORDBREAK | DT_CALCRECT, 0);
    int dy = ((t.bottom - t.top) - (calc.bottom - calc.top)) / 2;
    if (dy > 0) t.top += dy;
    flags = DT_CENTER | DT_WORDBREAK;
  }
  if (!b.disabled && L.effects->text_shadow) {
    RECT s = t;
    OffsetRect(&s, 0, 1);
    draw_text(dc, w, b.text, s, flags, L.text->shadow);
  }
  draw_text(dc, w, b.text, t, flags, b.disabled ? L.button->text_disabled : L.button->text);
}

// The box or circle and the text beside it.
void paint_check(HWND w, HDC dc, const RECT &c, const SkinLook &L, const ButtonLook &b, bool radio) {
  int size = L.metrics->check_box;
  bool right = (b.style & BS_LEFTTEXT) != 0;
  int y = (c.bottom - size) / 2;
  RECT box = {right ? c.right - size : c.left, y, 0, y + size};
  box.right = box.left + size;
  int band = b.disabled ? BAND_CHECKBOX_DISABLED
             : b.check  ? (b.hover ? BAND_CHECKBOX_CHECKED_HOVER : BAND_CHECKBOX_CHECKED)
             : b.hover  ? BAND_CHECKBOX_HOVER
                        : BAND_CHECKBOX;
  if (b.pressed && !b.disabled && !b.check) band = BAND_CHECKBOX_HOVER;
  SkinColor border = b.disabled  ? L.check->box_border_disabled
                     : b.check   ? L.check->box_border_checked
                     : b.hover   ? L.check->box_border_hover
                                 : L.check->box_border;
  SkinColor mark = b.disabled ? L.check->mark_disabled : L.check->mark;
  if (radio) {
    draw_band_ellipse(dc, box, L.bands[band], border);
    if (b.check) {
      RECT dot = box;
      InflateRect(&dot, -4, -4);
      draw_band_ellipse(dc, dot, {{mark, mark, mark, mark, mark}}, mark);
    }
  } else {
    draw_face(dc, box, L.bands[band], border, 2, 0);
    if (b.check == BST_CHECKED) {
      POINT tick[3] = {{box.left + 3, box.top + 6}, {box.left + 5, box.top + 9}, {box.left + 10, box.top + 3}};
      draw_polyline(dc, tick, 3, mark, 2);
    } else if (b.check == BST_INDETERMINATE) {
      RECT dash = {box.left + 3, box.top + size / 2 - 1, box.right - 3, box.top + size / 2 + 1};
      draw_fill(dc, dash, mark);
    }
  }
  RECT t = c;
  if (right) t.right = box.left - L.metrics->check_gap;
  else t.left = box.right + L.metrics->check_gap;
  UINT align = right ? DT_RIGHT : DT_LEFT;
  UINT flags = (b.style & BS_MULTILINE) ? (align | DT_WORDBREAK) : (align | DT_VCENTER | DT_SINGLELINE);
  if (b.style & BS_MULTILINE) {
    RECT calc = t;
    draw_text(dc, w, b.text, calc, align | DT_WORDBREAK | DT_CALCRECT, 0);
    int dy = ((t.bottom - t.top) - (calc.bottom - calc.top)) / 2;
    if (dy > 0) t.top += dy;
  }
  draw_text(dc, w, b.text, t, flags, b.disabled ? L.text->disabled : L.text->normal);
  if (b.focus && b.text[0]) {
    RECT calc = t;
    draw_text(dc, w, b.text, calc, (flags & ~DT_VCENTER) | DT_CALCRECT, 0);
    int h = calc.bottom - calc.top;
    if (!(b.style & BS_MULTILINE)) {
      calc.top = t.top + ((t.bottom - t.top) - h) / 2;
      calc.bottom = calc.top + h;
    }
    if (right) OffsetRect(&calc, t.right - calc.right, 0);
    InflateRect(&calc, 2, 1);
    draw_rect_outline(dc, calc, L.focus->outline_dim);
  }
}

void paint_group(HWND w, HDC dc, const RECT &c, const SkinLook &L, const ButtonLook &b) {
  int th = text_height(w, dc);
  int y = th / 2;
  RECT outer = {c.left, c.top + y, c.right - 1, c.bottom - 1};
  RECT light = {c.left + 1, c.top + y + 1, c.right, c.bottom};
  draw_rect_outline(dc, light, L.group->line_light);
  draw_rect_outline(dc, outer, L.group->line);
  if (!b.text[0]) return;
  RECT t = {c.left + 8, c.top, c.right - 8, c.top + th};
  RECT calc = t;
  draw_text(dc, w, b.text, calc, DT_SINGLELINE | DT_LEFT | DT_CALCRECT, 0);
  if (calc.right > t.right) calc.right = t.right;
  RECT gap = {calc.left - 3, c.top, calc.right + 3, c.top + th};
  int saved = SaveDC(dc);
  IntersectClipRect(dc, gap.left, gap.top, gap.right, gap.bottom);
  parent_background(w, dc, c);
  RestoreDC(dc, saved);
  draw_text(dc, w, b.text, t, DT_SINGLELINE | DT_LEFT | DT_END_ELLIPSIS,
            b.disabled ? L.group->title_disabled : L.group->title);
}

void paint_button(HWND w, HDC dc, const RECT &c, const SkinLook &L) {
  ButtonLook b = read_button(w);
  parent_background(w, dc, c);
  if (b.type == BS_GROUPBOX) paint_group(w, dc, c, L, b);
  else if (is_check(b.type) && !b.pushlike) paint_check(w, dc, c, L, b, false);
  else if (is_radio(b.type) && !b.pushlike) paint_check(w, dc, c, L, b, true);
  else paint_push(w, dc, c, L, b);
}

const SkinCommon common = {paint_button, false};

LRESULT on_set_state(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  uint32_t &s = state_of(w);
  if (wp) s |= PRESSED;
  else s &= ~PRESSED;
  return pass_then_repaint(w, m, wp, lp);
}

}  // namespace

bool skin_paint_exclusion(HWND window, RECT *inside) {
  if (skin_row_of(window) != SKIN_BUTTON) return false;
  if ((GetWindowLongPtrA(window, GWL_STYLE) & BS_TYPEMASK) != BS_GROUPBOX) return false;
  RECT c;
  GetClientRect(window, &c);
  HDC dc = GetDC(window);
  int th = text_height(window, dc);
  ReleaseDC(window, dc);
  *inside = RECT{c.left + 2, c.top + th, c.right - 2, c.bottom - 2};
  return inside->right > inside->left && inside->bottom > inside->top;
}

LRESULT CALLBACK skin_button_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (!skin_active(w) || (m != WM_NCDESTROY && draws_itself(w))) return call_previous(w, m, wp, lp);
  LRESULT r;
  if (skin_common_message(w, m, wp, lp, common, &r)) return r;
  bool group = (GetWindowLongPtrA(w, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
  switch (m) {
    case WM_MOUSEMOVE:
      if (!group) hover_move(w);
      return call_previous(w, m, wp, lp);
    case WM_MOUSELEAVE:
      state_of(w) &= ~SKIN_HOVER;
      return pass_then_repaint(w, m, wp, lp);
    case BM_SETSTATE:
      return on_set_state(w, m, wp, lp);
    case BM_SETCHECK:
    case BM_SETSTYLE:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
    case WM_SETTEXT:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CAPTURECHANGED:
    case WM_UPDATEUISTATE:
    case WM_STYLECHANGED:
      return pass_then_repaint(w, m, wp, lp);
    default:
      return call_previous(w, m, wp, lp);
  }
}
