// Static texts, frames and etched lines on the dialog background. A label
// with extended style bit 0x10 is drawn highlighted in the accent colour
// (the equalizer marks bands that way).
#include "skin/attach_win32.h"
#include "skin/draw_win32.h"

namespace {

const LONG_PTR HIGHLIGHTED = 0x10;

bool draws_itself(HWND w) {
  LONG_PTR type = GetWindowLongPtrA(w, GWL_STYLE) & SS_TYPEMASK;
  return type == SS_ICON || type == SS_BITMAP || type == SS_ENHMETAFILE || type == SS_OWNERDRAW ||
         type == SS_USERITEM;
}

UINT text_flags(LONG_PTR style) {
  UINT f = DT_EXPANDTABS;
  switch (style & SS_TYPEMASK) {
    case SS_CENTER: f |= DT_CENTER | DT_WORDBREAK; break;
    case SS_RIGHT: f |= DT_RIGHT | DT_WORDBREAK; break;
    case SS_SIMPLE: f |= DT_LEFT | DT_SINGLELINE; break;
    case SS_LEFTNOWORDWRAP: f |= DT_LEFT; break;
    default: f |= DT_LEFT | DT_WORDBREAK; break;
  }
  if (style & SS_CENTERIMAGE) f = (f & ~DT_WORDBREAK) | DT_SINGLELINE | DT_VCENTER;
  if (style & SS_NOPREFIX) f |= DT_NOPREFIX;
  switch (style & SS_ELLIPSISMASK) {
    case SS_ENDELLIPSIS: f |= DT_END_ELLIPSIS; break;
    case SS_PATHELLIPSIS: f |= DT_PATH_ELLIPSIS; break;
    case SS_WORDELLIPSIS: f |= DT_WORD_ELLIPSIS; break;
  }
  return f;
}

void paint_static(HWND w, HDC dc, const RECT &c, const SkinLook &L) {
  LONG_PTR style = GetWindowLongPtrA(w, GWL_STYLE);
  LONG_PTR exstyle = GetWindowLongPtrA(w, GWL_EXSTYLE);
  bool disabled = (style & WS_DISABLED) != 0;
  parent_background(w, dc, c);
  RECT inner = c;
  if (style & SS_SUNKEN) {
    draw_band(dc, c, L.bands[BAND_STATIC_SUNKEN]);
    draw_rect_outline(dc, c, L.statics->etched_dark);
    draw_line(dc, c.left + 1, c.bottom - 1, c.right, c.bottom - 1, L.statics->etched_light);
    InflateRect(&inner, -2, -1);
  }
  const SkinStaticColors &s = *L.statics;
  switch (style & SS_TYPEMASK) {
    case SS_BLACKRECT: draw_fill(dc, c, s.frame_black); return;
    case SS_GRAYRECT: draw_fill(dc, c, s.frame_gray); return;
    case SS_WHITERECT: draw_fill(dc, c, s.frame_white); return;
    case SS_BLACKFRAME: draw_rect_outline(dc, c, s.frame_black); return;
    case SS_GRAYFRAME: draw_rect_outline(dc, c, s.frame_gray); return;
    case SS_WHITEFRAME: draw_rect_outline(dc, c, s.frame_white); return;
    case SS_ETCHEDHORZ:
      draw_line(dc, c.left, c.top, c.right, c.top, s.etched_dark);
      draw_line(dc, c.left, c.top + 1, c.right, c.top + 1, s.etched_light);
      return;
    case SS_ETCHEDVERT:
      draw_line(dc, c.left, c.top, c.left, c.bottom, s.etched_dark);
      draw_line(dc, c.left + 1, c.top, c.left + 1, c.bottom, s.etched_light);
      return;
    case SS_ETCHEDFRAME: {
      RECT a = {c.left, c.top, c.right - 1, c.bottom - 1};
      RECT b = {c.left + 1, c.top + 1, c.right, c.bottom};
      draw_rect_outline(dc, b, s.etched_light);
      draw_rect_outline(dc, a, s.etched_dark);
      return;
    }
    default:
      break;
  }
  char text[512];
  GetWindowTextA(w, text, sizeof text);
  SkinColor color = disabled ? s.text_disabled : (exstyle & HIGHLIGHTED) ? s.highlight : s.text;
  UINT flags = text_flags(style);
  // A label only one line high cannot show a second line: breaking a value
  // such as "-24.07 dB" at its blank would hide the unit, so it stays on one
  // line and is clipped at the edge instead.
  if (flags & DT_WORDBREAK) {
    HGDIOBJ old = SelectObject(dc, skin_font_of(w));
    TEXTMETRICA tm;
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    if (inner.bottom - inner.top < 2 * tm.tmHeight) flags = (flags & ~DT_WORDBREAK) | DT_SINGLELINE;
  }
  draw_text(dc, w, text, inner, flags, color);
}

const SkinCommon common = {paint_static, true};

}  // namespace

LRESULT CALLBACK skin_static_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (!skin_active(w) || (m != WM_NCDESTROY && draws_itself(w))) return call_previous(w, m, wp, lp);
  LRESULT r;
  if (skin_common_message(w, m, wp, lp, common, &r)) return r;
  switch (m) {
    case WM_ENABLE:
    case WM_SETTEXT:
    case WM_STYLECHANGED:
    case WM_SETFONT:
      return pass_then_repaint(w, m, wp, lp);
    default:
      return call_previous(w, m, wp, lp);
  }
}
