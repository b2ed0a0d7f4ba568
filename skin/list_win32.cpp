// List boxes and combo boxes; a combo box's drop-down list is skinned as a
// list box.
#include "platform/win32.h"

#include <commctrl.h>

#include <cstring>

#include "skin/attach_win32.h"
#include "skin/draw_win32.h"

namespace {

const uint32_t COMBO_PRESSED = 0x1;

bool is_combo_list(HWND w) {
  char name[16] = {};
  GetClassNameA(w, name, sizeof name);
  return strcmp(name, "ComboLBox") == 0;
}

bool list_draws_itself(HWND w) {
  return (GetWindowLongPtrA(w, GWL_STYLE) & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE | LBS_MULTICOLUMN)) != 0;
}

void item_text(HWND list, int index, char *out, int size) {
  out[0] = 0;
  LRESULT len = SendMessageA(list, LB_GETTEXTLEN, WPARAM(index), 0);
  if (len == LB_ERR) return;
  if (len < size) {
    SendMessageA(list, LB_GETTEXT, WPARAM(index), reinterpret_cast<LPARAM>(out));
    return;
  }
  char *buffer = new char[size_t(len) + 1];
  SendMessageA(list, LB_GETTEXT, WPARAM(index), reinterpret_cast<LPARAM>(buffer));
  lstrcpynA(out, buffer, size);
  delete[] buffer;
}

// The tab stops a list was given (LB_SETTABSTOPS), kept as window
// properties in dialog template units, so its rows draw with the same
// columns as the standard list would.
const char kTabCount[] = "SonoriumTabCount";
const char *const kTabStop[] = {"SonoriumTab0", "SonoriumTab1", "SonoriumTab2", "SonoriumTab3",
                                "SonoriumTab4", "SonoriumTab5", "SonoriumTab6", "SonoriumTab7"};
const int kMaxTabs = 8;

void remember_tab_stops(HWND w, WPARAM count, const INT *stops) {
  int n = stops ? int(count) : 0;
  if (n > kMaxTabs) n = kMaxTabs;
  SetPropA(w, kTabCount, reinterpret_cast<HANDLE>(intptr_t(n)));
  for (int i = 0; i < n; ++i) SetPropA(w, kTabStop[i], reinterpret_cast<HANDLE>(intptr_t(stops[i])));
}

void forget_tab_stops(HWND w) {
  int n = int(reinterpret_cast<intptr_t>(GetPropA(w, kTabCount)));
  for (int i = 0; i < n && i < kMaxTabs; ++i) RemovePropA(w, kTabStop[i]);
  RemovePropA(w, kTabCount);
}

// Draws a row's text at the list's tab stops; false when it has none.
bool draw_tabbed(HDC dc, HWND w, const char *text, const RECT &r, SkinColor color) {
  int n = int(reinterpret_cast<intptr_t>(GetPropA(w, kTabCount)));
  if (n <= 0 || n > kMaxTabs || !strchr(text, '\t')) return false;
  HGDIOBJ old = SelectObject(dc, skin_font_of(w));
  // Dialog template units of the list's font: a quarter of its average
  // character width, measured over the alphabet as the system does.
  SIZE size;
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  GetTextExtentPoint32A(dc, kAlphabet, 52, &size);
  int base = (size.cx / 26 + 1) / 2;
  INT stops[kMaxTabs];
  for (int i = 0; i < n; ++i)
    stops[i] = MulDiv(int(reinterpret_cast<intptr_t>(GetPropA(w, kTabStop[i]))), base, 4);
  TEXTMETRICA tm;
  GetTextMetricsA(dc, &tm);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, cref(color));
  int y = r.top + (r.bottom - r.top - tm.tmHeight) / 2;
  TabbedTextOutA(dc, r.left, y, text, int(strlen(text)), n, stops, r.left);
  SelectObject(dc, old);
  return true;
}

void paint_list(HWND w, HDC dc, const RECT &c, const SkinLook &L) {
  LONG_PTR style = GetWindowLongPtrA(w, GWL_STYLE);
  bool disabled = (style & WS_DISABLED) != 0;
  bool drop = is_combo_list(w);
  bool focused = drop || GetFocus() == w;
  draw_fill(dc, c, disabled ? L.list->background_disabled : L.list->background);
  int count = int(SendMessageA(w, LB_GETCOUNT, 0, 0));
  int top = int(SendMessageA(w, LB_GETTOPINDEX, 0, 0));
  int height = int(SendMessageA(w, LB_GETITEMHEIGHT, 0, 0));
  if (height <= 0) height = 16;
  bool multi = (style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) != 0;
  int current = int(SendMessageA(w, LB_GETCURSEL, 0, 0));
  int caret = int(SendMessageA(w, LB_GETCARETINDEX, 0, 0));
  char text[512];
  for (int i = top < 0 ? 0 : top, y = 0; i < count && y < c.bottom; ++i, y += height) {
    RECT r = {c.left, y, c.right, y + height};
    bool selected = multi ? SendMessageA(w, LB_GETSEL, WPARAM(i), 0) > 0 : i == current;
    if (selected)
      draw_band(dc, r, L.bands[focused && !disabled ? BAND_LIST_SELECTION : BAND_LIST_SELECTION_UNFOCUSED]);
    item_text(w, i, text, sizeof text);
    RECT t = r;
    t.left += 4;
    t.right -= 2;
    SkinColor color = disabled ? L.list->text_disabled : selected ? L.list->selection_text : L.list->text;
    if (!draw_tabbed(dc, w, text, t, color))
      draw_text(dc, w, text, t, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX | DT_EXPANDTABS, color);
    if (!drop && focused && i == caret) {
      SetTextColor(dc, cref(L.list->focus));
      SetBkColor(dc, RGB(0, 0, 0));
      DrawFocusRect(dc, &r);
    }
  }
}

const SkinCommon list_common = {paint_list, true};

bool combo_focused(HWND w) {
  HWND f = GetFocus();
  return f && (f == w || IsChild(w, f));
}

void combo_item(HWND w, HDC dc, const SkinLook &L, const COMBOBOXINFO &info, bool disabled) {
  LONG_PTR style = GetWindowLongPtrA(w, GWL_STYLE);
  int sel = int(SendMessageA(w, CB_GETCURSEL, 0, 0));
  RECT item = info.rcItem;
  if (style & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)) {
    // The owner draws the current item into the skinned field.
    DRAWITEMSTRUCT d = {};
    d.CtlType = ODT_COMBOBOX;
    d.CtlID = UINT(GetDlgCtrlID(w));
    d.itemID = UINT(sel);
    d.itemAction = ODA_DRAWENTIRE;
    d.itemState = ODS_COMBOBOXEDIT | (disabled ? ODS_DISABLED : 0) | (combo_focused(w) ? ODS_FOCUS : 0);
    d.hwndItem = w;
    d.hDC = dc;
    d.rcItem = item;
    d.itemData = ULONG_PTR(SendMessageA(w, CB_GETITEMDATA, WPARAM(sel), 0));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, cref(disabled ? L.combo->text_disabled : L.combo->text));
    int saved = SaveDC(dc);
    IntersectClipRect(dc, item.left, item.top, item.right, item.bottom);
    SendMessageA(GetParent(w), WM_DRAWITEM, WPARAM(d.CtlID), reinterpret_cast<LPARAM>(&d));
    RestoreDC(dc, saved);
    return;
  }
  char text[512] = {};
  if (sel >= 0) {
    LRESULT len = SendMessageA(w, CB_GETLBTEXTLEN, WPARAM(sel), 0);
    if (len != CB_ERR && len < LRESULT(sizeof text))
      SendMessageA(w, CB_GETLBTEXT, WPARAM(sel), reinterpret_cast<LPARAM>(text));
  }
  item.left += 3;
  draw_text(dc, w, text, item, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX | DT_END_ELLIPSIS,
            disabled ? L.combo->text_disabled : L.combo->text);
}

void paint_combo(HWND w, HDC dc, const RECT &c, const SkinLook &L) {
  LONG_PTR style = GetWindowLongPtrA(w, GWL_STYLE);
  COMBOBOXINFO info = {};
  info.cbSize = sizeof info;
  GetComboBoxInfo(w, &info);
  bool disabled = (style & WS_DISABLED) != 0;
  bool hover = (state_of(w) & SKIN_HOVER) && !disabled;
  bool dropped = SendMessageA(w, CB_GETDROPPEDSTATE, 0, 0) != 0;
  bool focused = combo_focused(w);
  int band = disabled ? BAND_COMBO_DISABLED : dropped ? BAND_COMBO_PRESSED : hover ? BAND_COMBO_HOVER : BAND_COMBO;
  SkinColor border = focused && !disabled ? L.combo->border_focus : hover ? L.combo->border_hover : L.combo->border;
  parent_background(w, dc, c);
  UINT type = UINT(style & 3);
  if (type == CBS_DROPDOWNLIST) {
    draw_face(dc, c, L.bands[band], border, 3, disabled || dropped ? 0 : L.button->sheen);
    combo_item(w, dc, L, info, disabled);
  } else {
    // An edit field with a button: the edit child draws the field's text.
    draw_fill(dc, c, disabled ? L.edit->field_disabled : L.edit->field);
    if (type == CBS_DROPDOWN) {
      RECT b = info.rcButton;
      b.top = c.top;
      b.bottom = c.bottom;
      b.right = c.right;
      draw_band(dc, b, L.bands[band]);
      draw_line(dc, b.left, c.top, b.left, c.bottom, L.combo->separator);
    }
    draw_rect_outline(dc, c, border);
  }
  if (type != CBS_SIMPLE) {
    RECT b = info.rcButton;
    if (type == CBS_DROPDOWNLIST) draw_line(dc, b.left, b.top + 3, b.left, b.bottom - 3, L.combo->separator);
    draw_arrow(dc, b, ARROW_DOWN, L.metrics->arrow_size, disabled ? L.combo->arrow_disabled : L.combo->arrow);
  }
}

const SkinCommon combo_common = {paint_combo, false};

}  // namespace

LRESULT CALLBACK skin_listbox_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == LB_SETTABSTOPS) remember_tab_stops(w, wp, reinterpret_cast<const INT *>(lp));
  if (m == WM_NCDESTROY) forget_tab_stops(w);
  if (!skin_active(w) || (m != WM_NCDESTROY && list_draws_itself(w))) return call_previous(w, m, wp, lp);
  LRESULT r;
  if (skin_common_message(w, m, wp, lp, list_common, &r)) return r;
  switch (m) {
    case WM_KEYDOWN:
    case WM_CHAR:
    case LB_INSERTSTRING:
    case LB_ADDSTRING:
    case LB_DELETESTRING:
    case LB_RESETCONTENT:
    case LB_SETCURSEL:
    case LB_SETSEL:
    case LB_SETTOPINDEX:
    case LB_SETCARETINDEX:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
    case WM_VSCROLL:
    case WM_MOUSEWHEEL:
    case WM_SETTEXT: {
      // Scrolling moves the scroll bar, which the system redraws in its own look.
      r = call_previous(w, m, wp, lp);
      if (IsWindow(w)) repaint_with_frame(w);
      return r;
    }
    default:
      return call_previous(w, m, wp, lp);
  }
}

LRESULT CALLBACK skin_combo_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (!skin_active(w)) return call_previous(w, m, wp, lp);
  LRESULT r;
  if (skin_common_message(w, m, wp, lp, combo_common, &r)) return r;
  switch (m) {
    case WM_MOUSEMOVE:
      hover_move(w);
      return call_previous(w, m, wp, lp);
    case WM_MOUSELEAVE:
      state_of(w) &= ~SKIN_HOVER;
      return pass_then_repaint(w, m, wp, lp);
    case WM_LBUTTONDOWN:
      state_of(w) |= COMBO_PRESSED;
      return pass_then_repaint(w, m, wp, lp);
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
      state_of(w) &= ~COMBO_PRESSED;
      return pass_then_repaint(w, m, wp, lp);
    case WM_CREATE:
    case WM_COMMAND:
    case CB_RESETCONTENT:
    case CB_SETCURSEL:
    case CB_SHOWDROPDOWN:
    case CB_SELECTSTRING:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_KEYDOWN:
    case WM_CHAR:
    case WM_ENABLE:
    case WM_SETTEXT:
      return pass_then_repaint(w, m, wp, lp);
    default:
      return call_previous(w, m, wp, lp);
  }
}
