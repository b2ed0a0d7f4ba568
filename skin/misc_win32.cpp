// The rarely used classes: progress bar, tooltip, status bar and IP
// address field.
#include "platform/win32.h"

#include <commctrl.h>

#include <cstdarg>
#include <cstring>

#include "skin/attach_win32.h"
#include "skin/draw_win32.h"

namespace {

// ------------------------------------------------------------ progress bar

// Extended style bit 0x10 turns the "N% done" text on.
const LONG_PTR PROGRESS_TEXT = 0x10;

void format(char *out, const char *pattern, ...) {
  va_list args;
  va_start(args, pattern);
  wvsprintfA(out, pattern, args);
  va_end(args);
}

void paint_progress(HWND w, HDC dc, const RECT &c, const SkinLook &L) {
  LONG_PTR style = GetWindowLongPtrA(w, GWL_STYLE);
  bool disabled = (style & WS_DISABLED) != 0;
  bool vertical = (style & PBS_VERTICAL) != 0;
  int low = int(SendMessageA(w, PBM_GETRANGE, TRUE, 0));
  int high = int(SendMessageA(w, PBM_GETRANGE, FALSE, 0));
  int pos = int(SendMessageA(w, PBM_GETPOS, 0, 0));
  double f = high > low ? double(pos - low) / double(high - low) : 0.0;
  if (f < 0) f = 0;
  if (f > 1) f = 1;
  draw_band(dc, c, L.bands[BAND_PROGRESS_TRACK], vertical);
  draw_rect_outline(dc, c, L.progress->border);
  RECT inner = c;
  InflateRect(&inner, -1, -1);
  RECT bar = inner;
  if (vertical) bar.top = inner.bottom - int(f * (inner.bottom - inner.top) + 0.5);
  else bar.right = inner.left + int(f * (inner.right - inner.left) + 0.5);
  if (bar.right > bar.left && bar.bottom > bar.top) {
    draw_band(dc, bar, L.bands[disabled ? BAND_PROGRESS_BAR_DISABLED : BAND_PROGRESS_BAR], vertical);
    if (!disabled) {
      if (vertical) draw_line(dc, bar.left, bar.top, bar.right, bar.top, L.progress->bar_edge);
      else draw_line(dc, bar.right - 1, bar.top, bar.right - 1, bar.bottom, L.progress->bar_edge);
    }
  }
  if (GetWindowLongPtrA(w, GWL_EXSTYLE) & PROGRESS_TEXT) {
    char text[32];
    format(text, "%d%% done", int(f * 100.0 + 0.5));
    RECT t = c;
    RECT shadow = c;
    OffsetRect(&shadow, 0, 1);
    draw_text(dc, w, text, shadow, DT_SINGLELINE | DT_CENTER | DT_VCENTER, L.text->shadow);
    draw_text(dc, w, text, t, DT_SINGLELINE | DT_CENTER | DT_VCENTER,
              disabled ? L.text->disabled : L.progress->text_on_bar);
  }
}

const SkinCommon progress_common = {paint_progress, true};

// ----------------------------------------------------------------- tooltip

void tooltip_text(HWND w, char *out, int size) {
  out[0] = 0;
  TTTOOLINFOA ti = {};
  ti.cbSize = sizeof ti;
  if (SendMessageA(w, TTM_GETCURRENTTOOLA, 0, reinterpret_cast<LPARAM>(&ti))) {
    char buffer[1024] = {};  // room for INFOTIPSIZE characters
    ti.lpszText = buffer;
    SendMessageA(w, TTM_GETTEXTA, sizeof buffer, reinterpret_cast<LPARAM>(&ti));
    lstrcpynA(out, buffer, size);
  }
  if (!out[0]) GetWindowTextA(w, out, size);
}

void paint_tooltip(HWND w, HDC dc, const RECT &c, const SkinLook &L) {
  draw_band(dc, c, L.bands[BAND_TOOLTIP]);
  draw_rect_outline(dc, c, L.tooltip->border);
  char text[1024];
  tooltip_text(w, text, sizeof text);
  RECT t = c;
  RECT margin = {};
  SendMessageA(w, TTM_GETMARGIN, 0, reinterpret_cast<LPARAM>(&margin));
  bool wrap = int(SendMessageA(w, TTM_GETMAXTIPWIDTH, 0, 0)) >= 0 || strchr(text, '\n');
  if (wrap) {
    t.left += 4 + margin.left;
    t.top += 2 + margin.top;
    t.right -= 2 + margin.right;
    t.bottom -= margin.bottom;
    draw_text(dc, w, text, t, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS, L.tooltip->text);
  } else {
    draw_text(dc, w, text, t, DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOPREFIX, L.tooltip->text);
  }
}

const SkinCommon tooltip_common = {paint_tooltip, false};

// -------------------------------------------------------------- status bar

void status_part(HWND w, HDC dc, const RECT &r, int index, const SkinLook &L) {
  LRESULT info = SendMessageA(w, SB_GETTEXTLENGTHA, WPARAM(index), 0);
  if (HIWORD(info) & SBT_OWNERDRAW) return;
  char text[512] = {};
  if (LOWORD(info) >= sizeof text) return;
  SendMessageA(w, SB_GETTEXTA, WPARAM(index), reinterpret_cast<LPARAM>(text));
  // A tab centres the text after it, a second tab right-aligns it.
  char *pieces[3] = {text, nullptr, nullptr};
  char *tab = strchr(text, '\t');
  if (tab) {
    *tab = 0;
    pieces[1] = tab + 1;
    tab = strchr(pieces[1], '\t');
    if (tab) {
      *tab = 0;
      pieces[2] = tab + 1;
    }
  }
  const UINT aligns[3] = {DT_LEFT, DT_CENTER, DT_RIGHT};
  RECT t = r;
  InflateRect(&t, -4, 0);
  for (int i = 0; i < 3; ++i) {
    if (!pieces[i] || !pieces[i][0]) continue;
    RECT p = t;
    draw_text(dc, w, pieces[i], p, aligns[i] | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS,
              L.status->text);
  }
}

void paint_status(HWND w, HDC dc, const RECT &c, const SkinLook &L) {
  draw_band(dc, c, L.bands[BAND_STATUS]);
  draw_line(dc, c.left, c.top, c.right, c.top, L.status->separator);
  if (SendMessageA(w, SB_ISSIMPLE, 0, 0)) {
    RECT r = c;
    status_part(w, dc, r, SB_SIMPLEID, L);
  } else {
    int count = int(SendMessageA(w, SB_GETPARTS, 0, 0));
    for (int i = 0; i < count && i < 256; ++i) {
      RECT r;
      if (!SendMessageA(w, SB_GETRECT, WPARAM(i), reinterpret_cast<LPARAM>(&r))) continue;
      status_part(w, dc, r, i, L);
      if (i + 1 < count) draw_line(dc, r.right, r.top + 2, r.right, r.bottom - 2, L.status->separator);
    }
  }
  if (GetWindowLongPtrA(w, GWL_STYLE) & SBARS_SIZEGRIP) {
    // Six dots in a triangle in the bottom right corner.
    for (int row = 0; row < 3; ++row)
      for (int col = 0; col <= row; ++col) {
        RECT d = {c.right - 4 - 4 * col, c.bottom - 4 - 4 * (2 - row) + 0, 0, 0};
        d.right = d.left + 2;
        d.bottom = d.top + 2;
        draw_fill(dc, d, L.status->grip);
      }
  }
}

const SkinCommon status_common = {paint_status, false};

// -------------------------------------------------------------- IP address

void paint_ip(HWND w, HDC dc, const RECT &c, const SkinLook &L) {
  bool disabled = (GetWindowLongPtrA(w, GWL_STYLE) & WS_DISABLED) != 0;
  draw_fill(dc, c, disabled ? L.edit->field_disabled : L.ip->field);
  // A dot midway between neighbouring fields.
  RECT fields[4];
  int n = 0;
  for (HWND child = GetWindow(w, GW_CHILD); child && n < 4; child = GetWindow(child, GW_HWNDNEXT)) {
    GetWindowRect(child, &fields[n]);
    MapWindowPoints(nullptr, w, reinterpret_cast<POINT *>(&fields[n]), 2);
    ++n;
  }
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j)
      if (fields[j].left < fields[i].left) {
        RECT t = fields[i];
        fields[i] = fields[j];
        fields[j] = t;
      }
  for (int i = 0; i + 1 < n; ++i) {
    RECT t = {fields[i].right, c.top, fields[i + 1].left, c.bottom};
    draw_text(dc, w, ".", t, DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOPREFIX,
              disabled ? L.edit->text_disabled : L.ip->dot);
  }
}

const SkinCommon ip_common = {paint_ip, true};

}  // namespace

LRESULT CALLBACK skin_progress_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (!skin_active(w)) return call_previous(w, m, wp, lp);
  LRESULT r;
  if (skin_common_message(w, m, wp, lp, progress_common, &r)) return r;
  switch (m) {
    case PBM_SETPOS:
    case PBM_DELTAPOS:
    case PBM_STEPIT:
    case PBM_SETRANGE:
    case PBM_SETRANGE32:
    case WM_ENABLE:
      return pass_then_repaint(w, m, wp, lp);
    default:
      return call_previous(w, m, wp, lp);
  }
}

LRESULT CALLBACK skin_tooltip_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (!skin_active(w)) return call_previous(w, m, wp, lp);
  LRESULT r;
  if (skin_common_message(w, m, wp, lp, tooltip_common, &r)) return r;
  return call_previous(w, m, wp, lp);
}

LRESULT CALLBACK skin_statusbar_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (!skin_active(w)) return call_previous(w, m, wp, lp);
  LRESULT r;
  if (skin_common_message(w, m, wp, lp, status_common, &r)) return r;
  switch (m) {
    case SB_SETTEXTA:
    case SB_SETTEXTW:
    case SB_SETPARTS:
    case SB_SIMPLE:
      return pass_then_repaint(w, m, wp, lp);
    default:
      return call_previous(w, m, wp, lp);
  }
}

LRESULT CALLBACK skin_ipaddress_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (!skin_active(w)) return call_previous(w, m, wp, lp);
  LRESULT r;
  if (skin_common_message(w, m, wp, lp, ip_common, &r)) return r;
  switch (m) {
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
      // The four fields sit on the address field's own background.
      HDC dc = reinterpret_cast<HDC>(wp);
      const SkinLook *L = look_of();
      bool disabled = !IsWindowEnabled(w);
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, cref(disabled ? L->edit->text_disabled : L->edit->text));
      SetBkColor(dc, cref(disabled ? L->edit->field_disabled : L->ip->field));
      SetDCBrushColor(dc, cref(disabled ? L->edit->field_disabled : L->ip->field));
      return reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH));
    }
    case WM_ENABLE:
      return pass_then_repaint(w, m, wp, lp);
    default:
      return call_previous(w, m, wp, lp);
  }
}
