// Edit fields and hot-key fields. The edit control lays out and draws its
// own text, caret and selection (in the colours the dialog hands out); the
// skin puts that on its off-screen surface and draws the border.
#include "platform/win32.h"

#include <commctrl.h>

#include <cstring>

#include "skin/attach_win32.h"
#include "skin/draw_win32.h"
#include "skin/skin_table.h"

namespace {

void paint_edit(HWND w, HDC dc, const RECT &c, const SkinLook &L) {
  bool disabled = (GetWindowLongPtrA(w, GWL_STYLE) & WS_DISABLED) != 0;
  draw_fill(dc, c, disabled ? L.edit->field_disabled : L.edit->field);
  call_previous(w, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
}

const SkinCommon edit_common = {paint_edit, true};

// The text of the current key combination ("Ctrl + Shift + F5"), kept in
// the control's 128-byte block.
void hotkey_text(HWND w, char *out, size_t size) {
  LRESULT hk = SendMessageA(w, HKM_GETHOTKEY, 0, 0);
  UINT vk = LOBYTE(LOWORD(hk));
  UINT mods = HIBYTE(LOWORD(hk));
  out[0] = 0;
  if (!vk && !mods) {
    lstrcpynA(out, "None", int(size));
    return;
  }
  struct {
    UINT flag, vk;
  } parts[] = {{HOTKEYF_CONTROL, VK_CONTROL}, {HOTKEYF_SHIFT, VK_SHIFT}, {HOTKEYF_ALT, VK_MENU}};
  size_t len = 0;
  auto append = [&](const char *s) {
    size_t n = strlen(s);
    if (len + n + 1 > size) n = size - 1 - len;
    memcpy(out + len, s, n);
    len += n;
    out[len] = 0;
  };
  char name[64];
  for (auto &p : parts) {
    if (!(mods & p.flag)) continue;
    LONG code = LONG(MapVirtualKeyA(p.vk, 0)) << 16;
    if (!GetKeyNameTextA(code, name, sizeof name)) continue;
    append(name);
    append(" + ");
  }
  if (vk) {
    LONG code = LONG(MapVirtualKeyA(vk, 0)) << 16;
    if (mods & HOTKEYF_EXT) code |= 1 << 24;
    if (GetKeyNameTextA(code, name, sizeof name)) append(name);
  }
}

void paint_hotkey(HWND w, HDC dc, const RECT &c, const SkinLook &L) {
  bool disabled = (GetWindowLongPtrA(w, GWL_STYLE) & WS_DISABLED) != 0;
  draw_fill(dc, c, disabled ? L.edit->field_disabled : L.hotkey->field);
  SkinEntry *e = skin_table_find(w);
  char local[128];
  char *text = e && e->data ? static_cast<char *>(e->data) : local;
  hotkey_text(w, text, 128);
  RECT t = c;
  t.left += 2;
  draw_text(dc, w, text, t, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX,
            disabled ? L.edit->text_disabled : L.hotkey->text);
  if (GetFocus() == w) {
    RECT calc = t;
    draw_text(dc, w, text, calc, DT_SINGLELINE | DT_LEFT | DT_NOPREFIX | DT_CALCRECT, 0);
    SetCaretPos(calc.right, (c.bottom - (calc.bottom - calc.top)) / 2);
  }
}

const SkinCommon hotkey_common = {paint_hotkey, true};

}  // namespace

LRESULT CALLBACK skin_edit_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (!skin_active(w)) return call_previous(w, m, wp, lp);
  LRESULT r;
  if (skin_common_message(w, m, wp, lp, edit_common, &r)) return r;
  switch (m) {
    case WM_MOUSEMOVE: {
      bool was = (state_of(w) & SKIN_HOVER) != 0;
      state_of(w) |= SKIN_HOVER;
      track_leave(w);
      r = call_previous(w, m, wp, lp);
      if (!was) RedrawWindow(w, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
      else if (wp & MK_LBUTTON) repaint(w);
      return r;
    }
    case WM_MOUSELEAVE:
      state_of(w) &= ~SKIN_HOVER;
      r = call_previous(w, m, wp, lp);
      RedrawWindow(w, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
      return r;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
      r = call_previous(w, m, wp, lp);
      RedrawWindow(w, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
      return r;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case EM_SETSEL:
    case EM_REPLACESEL:
    case WM_CUT:
    case WM_PASTE:
    case WM_CLEAR:
    case WM_UNDO:
    case WM_SETTEXT:
    case WM_VSCROLL:
    case WM_HSCROLL:
    case WM_MOUSEWHEEL:
      return pass_then_repaint(w, m, wp, lp);
    default:
      return call_previous(w, m, wp, lp);
  }
}

LRESULT CALLBACK skin_hotkey_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (!skin_active(w)) return call_previous(w, m, wp, lp);
  LRESULT r;
  if (skin_common_message(w, m, wp, lp, hotkey_common, &r)) return r;
  switch (m) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
    case WM_CHAR:
    case WM_ENABLE:
    case HKM_SETHOTKEY:
      return pass_then_repaint(w, m, wp, lp);
    default:
      return call_previous(w, m, wp, lp);
  }
}
