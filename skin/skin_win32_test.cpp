// The skin on real controls: a dialog with one control of every class,
// skinned as the plug-in's dialogs skin themselves.
#include "platform/win32.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "skin/attach_win32.h"
#include "skin/palette.h"
#include "skin/skin.h"
#include "skin/skin_table.h"
#include "tests/ui_test_fixture.h"

namespace {

enum {
  ID_PUSH = 100, ID_DEFAULT, ID_CHECK_ON, ID_CHECK_OFF, ID_RADIO_A, ID_RADIO_B, ID_GROUP, ID_LABEL, ID_EDIT,
  ID_COMBO, ID_COMBO_OWNER, ID_LIST, ID_TAB, ID_UPDOWN, ID_BUDDY, ID_PROGRESS, ID_TRACK_H, ID_TRACK_V,
  ID_TRACK_PLAIN, ID_STATUS, ID_HOTKEY, ID_IP, ID_LABEL_LIT, ID_TAB_LABEL
};

std::map<HWND, LONG_PTR> original_procs;
HWND tooltip;

HWND child(HWND dlg, const char *cls, const char *text, DWORD style, int x, int y, int w, int h, int id,
           DWORD ex = 0) {
  HWND c = CreateWindowExA(ex, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, dlg,
                           reinterpret_cast<HMENU>(INT_PTR(id)), GetModuleHandleA(nullptr), nullptr);
  SendMessageA(c, WM_SETFONT, SendMessageA(dlg, WM_GETFONT, 0, 0), FALSE);
  return c;
}

void build_controls(HWND dlg) {
  child(dlg, "Button", "Output", BS_GROUPBOX, 8, 6, 196, 128, ID_GROUP);
  child(dlg, "Button", "Play", BS_PUSHBUTTON | WS_TABSTOP, 18, 26, 80, 24, ID_PUSH);
  child(dlg, "Button", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 110, 26, 80, 24, ID_DEFAULT);
  HWND on = child(dlg, "Button", "Crossfade", BS_AUTOCHECKBOX | WS_TABSTOP, 18, 58, 90, 18, ID_CHECK_ON);
  SendMessageA(on, BM_SETCHECK, BST_CHECKED, 0);
  child(dlg, "Button", "Loop", BS_AUTOCHECKBOX | WS_TABSTOP, 110, 58, 80, 18, ID_CHECK_OFF);
  HWND ra = child(dlg, "Button", "Low", BS_AUTORADIOBUTTON | WS_GROUP, 18, 82, 80, 18, ID_RADIO_A);
  SendMessageA(ra, BM_SETCHECK, BST_CHECKED, 0);
  child(dlg, "Button", "High", BS_AUTORADIOBUTTON, 110, 82, 80, 18, ID_RADIO_B);
  child(dlg, "Static", "Volume:", SS_LEFT, 18, 108, 60, 16, ID_LABEL);
  child(dlg, "Edit", "1234", ES_AUTOHSCROLL | WS_TABSTOP, 80, 106, 110, 20, ID_EDIT, WS_EX_CLIENTEDGE);

  HWND combo = child(dlg, "ComboBox", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 8, 142, 196, 120, ID_COMBO);
  for (const char *s : {"Stereo", "Quad", "Surround"}) SendMessageA(combo, CB_ADDSTRING, 0, LPARAM(s));
  SendMessageA(combo, CB_SETCURSEL, 1, 0);
  HWND owner = child(dlg, "ComboBox", "", CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS | WS_VSCROLL, 8,
                     172, 196, 120, ID_COMBO_OWNER);
  for (const char *s : {"Hall", "Room"}) SendMessageA(owner, CB_ADDSTRING, 0, LPARAM(s));
  SendMessageA(owner, CB_SETCURSEL, 0, 0);
  HWND list = child(dlg, "ListBox", "", LBS_NOTIFY | WS_VSCROLL | WS_TABSTOP, 8, 202, 196, 74, ID_LIST,
                    WS_EX_CLIENTEDGE);
  for (const char *s : {"Preset: Concert hall", "Preset: Cave", "Preset: Arena", "Preset: Hangar",
                        "Preset: Bathroom"})
    SendMessageA(list, LB_ADDSTRING, 0, LPARAM(s));
  SendMessageA(list, LB_SETCURSEL, 1, 0);

  HWND tab = child(dlg, "SysTabControl32", "", WS_CLIPSIBLINGS, 216, 6, 250, 120, ID_TAB);
  const char *tabs[] = {"Room", "Source", "Listener"};
  for (int i = 0; i < 3; ++i) {
    TCITEMA item = {};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char *>(tabs[i]);
    SendMessageA(tab, TCM_INSERTITEMA, i, LPARAM(&item));
  }
  child(dlg, "Static", "Reverb level", SS_LEFT, 230, 40, 100, 16, ID_TAB_LABEL);
  HWND buddy = child(dlg, "Edit", "", ES_NUMBER, 230, 62, 60, 20, ID_BUDDY, WS_EX_CLIENTEDGE);
  HWND ud = child(dlg, "msctls_updown32", "", UDS_ALIGNRIGHT | UDS_SETBUDDYINT | UDS_ARROWKEYS, 0, 0, 0, 0,
                  ID_UPDOWN);
  SendMessageA(ud, UDM_SETBUDDY, WPARAM(buddy), 0);
  SendMessageA(ud, UDM_SETRANGE32, 0, 10);
  SendMessageA(ud, UDM_SETPOS32, 0, 4);
  HWND progress = child(dlg, "msctls_progress32", "", 0, 230, 94, 220, 18, ID_PROGRESS, 0x10);
  SendMessageA(progress, PBM_SETRANGE32, 0, 100);
  SendMessageA(progress, PBM_SETPOS, 62, 0);

  HWND th = child(dlg, "msctls_trackbar32", "", TBS_HORZ | TBS_AUTOTICKS | WS_TABSTOP, 216, 134, 250, 32,
                  ID_TRACK_H, 0x10);
  SendMessageA(th, TBM_SETRANGE, TRUE, MAKELPARAM(0, 100));
  SendMessageA(th, TBM_SETTICFREQ, 10, 0);
  SendMessageA(th, TBM_SETPOS, TRUE, 30);
  HWND tv = child(dlg, "msctls_trackbar32", "", TBS_VERT | TBS_BOTH | TBS_ENABLESELRANGE | TBS_NOTICKS | WS_TABSTOP,
                  216, 172, 40, 110, ID_TRACK_V, 0x10);
  SendMessageA(tv, TBM_SETRANGE, TRUE, MAKELPARAM(0, 20));
  SendMessageA(tv, TBM_SETSEL, TRUE, MAKELPARAM(6, 14));
  SendMessageA(tv, TBM_SETPOS, TRUE, 10);
  HWND tp = child(dlg, "msctls_trackbar32", "", TBS_HORZ | TBS_NOTICKS | WS_TABSTOP, 262, 172, 204, 28,
                  ID_TRACK_PLAIN);
  SendMessageA(tp, TBM_SETRANGE, TRUE, MAKELPARAM(0, 100));
  child(dlg, "Static", "125 Hz", SS_CENTER, 262, 208, 60, 16, ID_LABEL_LIT, 0x10);
  child(dlg, "Static", "250 Hz", SS_CENTER, 330, 208, 60, 16, ID_LABEL_LIT + 100);
  HWND hk = child(dlg, "msctls_hotkey32", "", WS_TABSTOP, 262, 230, 160, 20, ID_HOTKEY, WS_EX_CLIENTEDGE);
  SendMessageA(hk, HKM_SETHOTKEY, MAKEWORD('P', HOTKEYF_CONTROL | HOTKEYF_SHIFT), 0);
  HWND ip = child(dlg, "SysIPAddress32", "", WS_TABSTOP, 262, 256, 140, 20, ID_IP);
  SendMessageA(ip, IPM_SETADDRESS, 0, MAKEIPADDRESS(192, 168, 0, 10));
  HWND status = child(dlg, "msctls_statusbar32", "", SBARS_SIZEGRIP, 0, 0, 0, 0, ID_STATUS);
  int parts[2] = {200, -1};
  SendMessageA(status, SB_SETPARTS, 2, LPARAM(parts));
  SendMessageA(status, SB_SETTEXTA, 0, LPARAM("Device: software card"));
  SendMessageA(status, SB_SETTEXTA, 1, LPARAM("48000 Hz"));

  tooltip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0, dlg,
                            nullptr, GetModuleHandleA(nullptr), nullptr);
  TTTOOLINFOA ti = {};
  ti.cbSize = TTTOOLINFOA_V1_SIZE;
  ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  ti.hwnd = dlg;
  ti.uId = UINT_PTR(GetDlgItem(dlg, ID_PUSH));
  ti.lpszText = const_cast<char *>("Starts playback");
  SendMessageA(tooltip, TTM_ADDTOOLA, 0, LPARAM(&ti));
}

BOOL CALLBACK record_proc(HWND c, LPARAM) {
  original_procs[c] = GetWindowLongPtrA(c, GWLP_WNDPROC);
  return TRUE;
}

INT_PTR CALLBACK test_dialog(HWND dlg, UINT m, WPARAM wp, LPARAM lp) {
  switch (m) {
    case WM_INITDIALOG:
      build_controls(dlg);
      original_procs.clear();
      original_procs[dlg] = GetWindowLongPtrA(dlg, GWLP_WNDPROC);
      EnumChildWindows(dlg, record_proc, 0);
      skin_sweep(0);
      skin_attach_tree(dlg, 1);
      skin_attach(tooltip, 1);
      return TRUE;
    case WM_MEASUREITEM:
      reinterpret_cast<MEASUREITEMSTRUCT *>(lp)->itemHeight = 16;
      return TRUE;
    case WM_DRAWITEM: {
      auto *d = reinterpret_cast<DRAWITEMSTRUCT *>(lp);
      char text[64] = {};
      if (int(d->itemID) >= 0) SendMessageA(d->hwndItem, CB_GETLBTEXT, d->itemID, LPARAM(text));
      SetBkMode(d->hDC, TRANSPARENT);
      RECT r = d->rcItem;
      r.left += 4;
      DrawTextA(d->hDC, text, -1, &r, DT_SINGLELINE | DT_VCENTER);
      return TRUE;
    }
    case WM_DESTROY:
      skin_attach_tree(dlg, 0);
      skin_mark_tree(dlg);
      skin_attach(tooltip, 0);
      skin_table_mark(tooltip);
      DestroyWindow(tooltip);
      tooltip = nullptr;
      return FALSE;
  }
  (void)wp;
  return FALSE;
}

// An empty dialog template with the dialog font; the controls are created
// when it initialises.
HWND open_dialog() {
  std::vector<WORD> t(64, 0);
  auto *d = reinterpret_cast<DLGTEMPLATE *>(t.data());
  d->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE | DS_SETFONT | DS_MODALFRAME;
  d->cx = 320;
  d->cy = 200;
  WORD *p = reinterpret_cast<WORD *>(d + 1);
  *p++ = 0;  // menu
  *p++ = 0;  // class
  for (const char *s = "Skin"; ; ++s) {
    *p++ = WORD(*s);
    if (!*s) break;
  }
  *p++ = 8;
  for (const char *s = "MS Shell Dlg"; ; ++s) {
    *p++ = WORD(*s);
    if (!*s) break;
  }
  HWND dlg = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), d, nullptr, test_dialog, 0);
  if (dlg) {
    SetWindowPos(dlg, HWND_TOP, 20, 20, 486, 330, SWP_SHOWWINDOW);
    RECT c;
    GetClientRect(dlg, &c);
    SendMessageA(GetDlgItem(dlg, ID_STATUS), WM_SIZE, 0, MAKELPARAM(c.right, c.bottom));
    SetForegroundWindow(dlg);
    uitest::pump(50);
  }
  return dlg;
}

class Skin : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES | ICC_INTERNET_CLASSES | ICC_HOTKEY_CLASS |
                                                ICC_TAB_CLASSES | ICC_BAR_CLASSES | ICC_UPDOWN_CLASS |
                                                ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
  }
  void SetUp() override {
    ASSERT_EQ(skin_init(2048), 0);
    skin_install(0);
    dlg = open_dialog();
    ASSERT_NE(dlg, nullptr);
  }
  void TearDown() override {
    if (dlg) DestroyWindow(dlg);
    uitest::pump(0);
    skin_install(1);
    skin_shutdown();
  }
  HWND item(int id) { return GetDlgItem(dlg, id); }
  HWND dlg = nullptr;
};

// ------------------------------------------------------------------ pixels

struct Pixels {
  int w = 0, h = 0;
  std::vector<uint32_t> bgrx;
  SkinColor at(int x, int y) const {
    uint32_t v = bgrx[size_t(y) * w + x];
    return SKIN_RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
  }
};

// Renders the window into a 32-bit bitmap with WM_PRINTCLIENT, or WM_PRINT
// (client and frame) when `whole`.
Pixels print(HWND w, bool whole) {
  RECT r;
  if (whole) {
    GetWindowRect(w, &r);
    OffsetRect(&r, -r.left, -r.top);
  } else {
    GetClientRect(w, &r);
  }
  Pixels p;
  p.w = r.right;
  p.h = r.bottom;
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = p.w;
  bi.bmiHeader.biHeight = -p.h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void *bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bmp);
  RECT all = {0, 0, p.w, p.h};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  if (whole) SendMessageA(w, WM_PRINT, WPARAM(dc), PRF_CLIENT | PRF_NONCLIENT | PRF_ERASEBKGND);
  else SendMessageA(w, WM_PRINTCLIENT, WPARAM(dc), PRF_CLIENT | PRF_ERASEBKGND);
  GdiFlush();
  p.bgrx.assign(static_cast<uint32_t *>(bits), static_cast<uint32_t *>(bits) + size_t(p.w) * p.h);
  SelectObject(dc, old);
  DeleteObject(bmp);
  DeleteDC(dc);
  return p;
}

bool close_to(SkinColor a, SkinColor b, int tolerance) {
  return std::abs(SKIN_RED(a) - SKIN_RED(b)) <= tolerance && std::abs(SKIN_GREEN(a) - SKIN_GREEN(b)) <= tolerance &&
         std::abs(SKIN_BLUE(a) - SKIN_BLUE(b)) <= tolerance;
}

// Whether `c` lies between the band's darkest and lightest stops.
bool within_band(SkinColor c, const SkinBand &b, int tolerance = 2) {
  int lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
  for (SkinColor s : b.stop) {
    int ch[3] = {SKIN_RED(s), SKIN_GREEN(s), SKIN_BLUE(s)};
    for (int i = 0; i < 3; ++i) lo[i] = std::min(lo[i], ch[i]), hi[i] = std::max(hi[i], ch[i]);
  }
  int v[3] = {SKIN_RED(c), SKIN_GREEN(c), SKIN_BLUE(c)};
  for (int i = 0; i < 3; ++i)
    if (v[i] < lo[i] - tolerance || v[i] > hi[i] + tolerance) return false;
  return true;
}

int count_near(const Pixels &p, SkinColor c, int tolerance) {
  int n = 0;
  for (int y = 0; y < p.h; ++y)
    for (int x = 0; x < p.w; ++x)
      if (close_to(p.at(x, y), c, tolerance)) ++n;
  return n;
}

const uint32_t HOVER_BIT = 0x80000000u;

uint32_t state_word(HWND w) {
  SkinEntry *e = skin_table_find(w);
  return e && e->data ? *static_cast<uint32_t *>(e->data) : 0xDEADu;
}

std::set<int> slots_of_dialog(HWND dlg) {
  std::set<int> slots;
  auto add = [&](HWND w) {
    SkinEntry *e = skin_table_find(w);
    if (e) slots.insert(skin_table_index(e));
  };
  add(dlg);
  for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    add(c);
    for (HWND g = GetWindow(c, GW_CHILD); g; g = GetWindow(g, GW_HWNDNEXT)) add(g);
    char name[32] = {};
    GetClassNameA(c, name, sizeof name);
    if (std::string(name) == "ComboBox") {
      COMBOBOXINFO info = {};
      info.cbSize = sizeof info;
      GetComboBoxInfo(c, &info);
      add(info.hwndList);
    }
  }
  return slots;
}

// --------------------------------------------------------------- attaching

TEST_F(Skin, EveryClassIsSkinnedAndAttachingTwiceKeepsTheOriginalProcedure) {
  ASSERT_FALSE(original_procs.empty());
  int skinned = 0;
  for (auto &[w, proc] : original_procs) {
    if (skin_row_of(w) < 0) continue;  // the IP field's own edit fields are skinned too, by their class
    ASSERT_TRUE(skin_is_skinned(w)) << uitest::class_of(w);
    EXPECT_EQ(LONG_PTR(skin_previous_proc(w)), proc) << uitest::class_of(w);
    ++skinned;
  }
  EXPECT_GE(skinned, 24);
  EXPECT_TRUE(skin_is_skinned(tooltip));

  skin_attach_tree(dlg, 1);
  skin_attach(item(ID_PUSH), 1);
  for (auto &[w, proc] : original_procs) {
    if (skin_row_of(w) < 0) continue;
    EXPECT_EQ(LONG_PTR(skin_previous_proc(w)), proc) << uitest::class_of(w);
  }
  // Messages still reach the standard control once, not in a loop.
  EXPECT_EQ(SendMessageA(item(ID_CHECK_ON), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(uitest::text_of(item(ID_EDIT)), "1234");
  EXPECT_EQ(SendMessageA(item(ID_TRACK_H), TBM_GETPOS, 0, 0), 30);

  // Unskinning gives every window its own procedure back.
  skin_attach_tree(dlg, 0);
  for (auto &[w, proc] : original_procs) EXPECT_EQ(GetWindowLongPtrA(w, GWLP_WNDPROC), proc);
  skin_attach_tree(dlg, 1);
  EXPECT_TRUE(skin_is_skinned(item(ID_TAB)));
}

TEST_F(Skin, OwnerDrawnComboKeepsItsSystemListAndOthersGetASkinnedOne) {
  COMBOBOXINFO owner = {}, plain = {};
  owner.cbSize = plain.cbSize = sizeof owner;
  ASSERT_TRUE(GetComboBoxInfo(item(ID_COMBO_OWNER), &owner));
  ASSERT_TRUE(GetComboBoxInfo(item(ID_COMBO), &plain));
  ASSERT_TRUE(owner.hwndList && plain.hwndList);
  EXPECT_EQ(skin_table_find(owner.hwndList), nullptr);
  EXPECT_FALSE(skin_is_skinned(owner.hwndList));
  EXPECT_TRUE(skin_is_skinned(item(ID_COMBO_OWNER)));
  ASSERT_NE(skin_table_find(plain.hwndList), nullptr);
  EXPECT_EQ(GetWindowLongPtrA(plain.hwndList, GWLP_WNDPROC), LONG_PTR(skin_listbox_proc));
  // Marking the combo marks its list as well.
  skin_mark_tree(dlg);
  EXPECT_EQ(skin_table_find(plain.hwndList)->release_mark, 1u);
  skin_attach_tree(dlg, 1);  // attaching again clears the marks
  EXPECT_EQ(skin_table_find(item(ID_COMBO))->release_mark, 0u);
}

TEST_F(Skin, ClosedDialogsEntriesAreReusedByTheNextDialog) {
  std::set<int> first = slots_of_dialog(dlg);
  ASSERT_GE(first.size(), 25u);
  int end_before = 0;
  while (skin_table_entries()[end_before].window) ++end_before;
  HWND old = dlg;
  DestroyWindow(dlg);
  dlg = nullptr;
  uitest::pump(0);
  EXPECT_NE(skin_table_find(old), nullptr);  // held, marked, until the next dialog sweeps
  EXPECT_EQ(skin_table_find(old)->release_mark, 1u);
  dlg = open_dialog();
  ASSERT_NE(dlg, nullptr);
  std::set<int> second = slots_of_dialog(dlg);
  EXPECT_EQ(second, first);
  int end_after = 0;
  while (skin_table_entries()[end_after].window) ++end_after;
  EXPECT_EQ(end_after, end_before);
  for (int i = 0; i < end_after; ++i) EXPECT_EQ(skin_table_entries()[i].release_mark, 0u) << i;
}

TEST_F(Skin, ReleasingLiveWindowsGivesThemTheirOwnProceduresBack) {
  // A sweep of everything while the dialog is still open (Quit with a
  // dialog left open) must not leave windows running a skinned procedure
  // without its entry.
  COMBOBOXINFO info = {};
  info.cbSize = sizeof info;
  GetComboBoxInfo(item(ID_COMBO), &info);
  LONG_PTR list_proc = LONG_PTR(skin_previous_proc(info.hwndList));
  skin_sweep(1);
  for (auto &[w, proc] : original_procs) EXPECT_EQ(GetWindowLongPtrA(w, GWLP_WNDPROC), proc) << uitest::class_of(w);
  EXPECT_EQ(GetWindowLongPtrA(info.hwndList, GWLP_WNDPROC), list_proc);
  EXPECT_EQ(SendMessageA(item(ID_COMBO), CB_GETCURSEL, 0, 0), 1);
  uitest::save_png(dlg, "skin_released");  // paints every control once more, unskinned
  skin_attach_tree(dlg, 1);
  EXPECT_TRUE(skin_is_skinned(info.hwndList));
}

TEST_F(Skin, UnskinningAComboAlsoUnskinsItsList) {
  COMBOBOXINFO info = {};
  info.cbSize = sizeof info;
  GetComboBoxInfo(item(ID_COMBO), &info);
  ASSERT_TRUE(skin_is_skinned(info.hwndList));
  skin_attach(item(ID_COMBO), 0);
  EXPECT_FALSE(skin_is_skinned(info.hwndList));
  EXPECT_FALSE(skin_is_skinned(item(ID_COMBO)));
}

// -------------------------------------------------------------------- hover

TEST_F(Skin, HoverIsSetOnMoveAndClearedWhenTheMouseLeaves) {
  HWND button = item(ID_PUSH), track = item(ID_TRACK_H);
  EXPECT_EQ(state_word(button) & HOVER_BIT, 0u);
  uitest::mouse_move(button, 10, 10);
  EXPECT_NE(state_word(button) & HOVER_BIT, 0u);
  uitest::mouse_leave(button);
  EXPECT_EQ(state_word(button) & HOVER_BIT, 0u);

  uitest::mouse_move(track, 5, 5);
  EXPECT_NE(state_word(track) & 0x80000000u, 0u);
  uitest::mouse_leave(track);
  EXPECT_EQ(state_word(track) & 0x80000000u, 0u);

  // The look follows: a hovered button prints lighter than a resting one.
  Pixels rest = print(button, false);
  uitest::mouse_move(button, 10, 10);
  Pixels lit = print(button, false);
  uitest::mouse_leave(button);
  int y = rest.h / 2, x = 6;
  EXPECT_GT(SKIN_GREEN(lit.at(x, y)), SKIN_GREEN(rest.at(x, y)) + 8);
  EXPECT_TRUE(within_band(rest.at(x, y), skin_palette().bands[BAND_BUTTON]));
  EXPECT_TRUE(within_band(lit.at(x, y), skin_palette().bands[BAND_BUTTON_HOVER]));
}

TEST_F(Skin, PressedStateFollowsSetState) {
  HWND button = item(ID_PUSH);
  SendMessageA(button, BM_SETSTATE, TRUE, 0);
  EXPECT_NE(state_word(button) & 1u, 0u);
  Pixels down = print(button, false);
  EXPECT_TRUE(within_band(down.at(6, down.h / 2), skin_palette().bands[BAND_BUTTON_PRESSED]));
  SendMessageA(button, BM_SETSTATE, FALSE, 0);
  EXPECT_EQ(state_word(button) & 1u, 0u);
}

// ----------------------------------------------------------------- printing

TEST_F(Skin, PrintedControlsShowThePalette) {
  const SkinPalette &pal = skin_palette();
  Pixels d = print(dlg, false);
  EXPECT_TRUE(close_to(d.at(d.w / 2, 0), pal.bands[BAND_DIALOG].stop[0], 2));
  EXPECT_TRUE(close_to(d.at(d.w / 2, d.h - 1), pal.bands[BAND_DIALOG].stop[4], 3));

  Pixels b = print(item(ID_PUSH), false);
  SkinColor face = b.at(6, b.h / 2);
  EXPECT_TRUE(within_band(face, pal.bands[BAND_BUTTON]));
  EXPECT_FALSE(close_to(face, SkinColor(GetSysColor(COLOR_BTNFACE)), 6));

  // The channel of the horizontal trackbar, away from the thumb.
  HWND track = item(ID_TRACK_H);
  RECT ch;
  SendMessageA(track, TBM_GETCHANNELRECT, 0, LPARAM(&ch));
  Pixels t = print(track, false);
  EXPECT_TRUE(within_band(t.at(ch.right - 12, (ch.top + ch.bottom) / 2), pal.bands[BAND_CHANNEL], 3));

  // WM_PRINT with the frame: the edit's border in the palette.
  Pixels e = print(item(ID_EDIT), true);
  EXPECT_TRUE(close_to(e.at(0, e.h / 2), pal.edit.border, 2));

  // Unskinned, the same button prints in the system's colours again.
  skin_attach(item(ID_PUSH), 0);
  Pixels plain = print(item(ID_PUSH), false);
  EXPECT_FALSE(within_band(plain.at(6, plain.h / 2), pal.bands[BAND_BUTTON]));
}

TEST_F(Skin, HighlightedLabelIsDrawnInTheAccent) {
  const SkinPalette &pal = skin_palette();
  Pixels lit = print(item(ID_LABEL_LIT), false);
  Pixels plain = print(item(ID_LABEL_LIT + 100), false);
  EXPECT_GT(count_near(lit, pal.statics.highlight, 12), 5);
  EXPECT_EQ(count_near(plain, pal.statics.highlight, 12), 0);
  EXPECT_GT(count_near(plain, pal.statics.text, 12), 5);
  // Setting the bit later is seen at once.
  HWND label = item(ID_LABEL_LIT + 100);
  SetWindowLongPtrA(label, GWL_EXSTYLE, GetWindowLongPtrA(label, GWL_EXSTYLE) | 0x10);
  EXPECT_GT(count_near(print(label, false), pal.statics.highlight, 12), 5);
}

TEST_F(Skin, DialogHandsOutFieldAndLabelColours) {
  HDC dc = CreateCompatibleDC(nullptr);
  EXPECT_EQ(SendMessageA(dlg, WM_CTLCOLORSTATIC, WPARAM(dc), LPARAM(item(ID_LABEL))),
            LRESULT(GetStockObject(DKGRAY_BRUSH)));
  EXPECT_EQ(GetTextColor(dc), RGB(191, 191, 191));
  EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
  EXPECT_EQ(SendMessageA(dlg, WM_CTLCOLOREDIT, WPARAM(dc), LPARAM(item(ID_EDIT))),
            LRESULT(GetStockObject(WHITE_BRUSH)));
  EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 0));
  DeleteDC(dc);
}

// --------------------------------------------------------- click-to-position

struct Track {
  RECT channel, thumb;
};
Track track_rects(HWND t) {
  Track r;
  SendMessageA(t, TBM_GETCHANNELRECT, 0, LPARAM(&r.channel));
  SendMessageA(t, TBM_GETTHUMBRECT, 0, LPARAM(&r.thumb));
  return r;
}

int click(HWND t, int x, int y) {
  uitest::left_down(t, x, y);
  uitest::left_up(t, x, y);
  return int(SendMessageA(t, TBM_GETPOS, 0, 0));
}

TEST_F(Skin, ClickOnTheChannelJumpsThereWithTheMarkerBit) {
  HWND h = item(ID_TRACK_H);
  Track r = track_rects(h);
  int y = (r.thumb.top + r.thumb.bottom) / 2;
  EXPECT_EQ(click(h, r.channel.right - 1, y), 100);
  EXPECT_EQ(click(h, r.channel.left, y), 0);
  EXPECT_NEAR(click(h, (r.channel.left + r.channel.right) / 2, y), 50, 1);

  HWND v = item(ID_TRACK_V);
  r = track_rects(v);
  int x = (r.thumb.left + r.thumb.right) / 2;
  // Some versions report a vertical channel unrotated; take its long side.
  int top = r.channel.top, bottom = r.channel.bottom;
  if (r.channel.right - r.channel.left > bottom - top) top = r.channel.left, bottom = r.channel.right;
  SendMessageA(v, TBM_SETPOS, TRUE, 0);
  EXPECT_EQ(click(v, x, bottom - 1), 20);
  EXPECT_EQ(click(v, x, top), 0);
  EXPECT_NEAR(click(v, x, (top + bottom) / 2), 10, 1);
}

TEST_F(Skin, WithoutTheMarkerBitAClickMovesByAPage) {
  HWND t = item(ID_TRACK_PLAIN);
  SendMessageA(t, TBM_SETPOS, TRUE, 0);
  Track r = track_rects(t);
  int page = int(SendMessageA(t, TBM_GETPAGESIZE, 0, 0));
  ASSERT_GT(page, 0);
  int pos = click(t, r.channel.right - 1, (r.thumb.top + r.thumb.bottom) / 2);
  EXPECT_EQ(pos, page);
  KillTimer(t, 1);
}

// -------------------------------------------------------------- screenshots

void disable_all(HWND dlg, BOOL enable) {
  for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) EnableWindow(c, enable);
}

TEST_F(Skin, Screenshots) {
  std::string normal = uitest::save_png(dlg, "skin_normal");
  EXPECT_FALSE(normal.empty());

  HWND button = item(ID_PUSH);
  RECT br;
  GetWindowRect(button, &br);
  SetCursorPos((br.left + br.right) / 2, (br.top + br.bottom) / 2);
  uitest::mouse_move(button, 10, 10);
  EXPECT_FALSE(uitest::save_png(dlg, "skin_button_hover").empty());
  uitest::mouse_leave(button);
  SetCursorPos(0, 0);

  SendMessageA(button, BM_SETSTATE, TRUE, 0);
  SetFocus(item(ID_DEFAULT));
  EXPECT_FALSE(uitest::save_png(dlg, "skin_button_pressed").empty());
  SendMessageA(button, BM_SETSTATE, FALSE, 0);

  SendMessageA(item(ID_CHECK_OFF), BM_SETCHECK, BST_CHECKED, 0);
  SendMessageA(item(ID_RADIO_A), BM_SETCHECK, BST_UNCHECKED, 0);
  SendMessageA(item(ID_RADIO_B), BM_SETCHECK, BST_CHECKED, 0);
  SetFocus(item(ID_CHECK_OFF));
  SendMessageA(item(ID_TAB), TCM_SETCURSEL, 1, 0);
  EXPECT_FALSE(uitest::save_png(dlg, "skin_checked").empty());

  disable_all(dlg, FALSE);
  EXPECT_FALSE(uitest::save_png(dlg, "skin_disabled").empty());
  disable_all(dlg, TRUE);

  // A tracking tip shown at a fixed place.
  TTTOOLINFOA ti = {};
  ti.cbSize = TTTOOLINFOA_V1_SIZE;
  ti.uFlags = TTF_TRACK | TTF_ABSOLUTE;
  ti.hwnd = dlg;
  ti.uId = 7;
  ti.lpszText = const_cast<char *>("Reverb level of the room, in millibels");
  SendMessageA(tooltip, TTM_ADDTOOLA, 0, LPARAM(&ti));
  SendMessageA(tooltip, TTM_TRACKPOSITION, 0, MAKELPARAM(br.left, br.bottom + 4));
  SendMessageA(tooltip, TTM_TRACKACTIVATE, TRUE, LPARAM(&ti));
  uitest::pump(50);
  if (IsWindowVisible(tooltip)) {
    EXPECT_FALSE(uitest::save_png(tooltip, "skin_tooltip").empty());
  }
  SendMessageA(tooltip, TTM_TRACKACTIVATE, FALSE, LPARAM(&ti));

  // The drop-down list, skinned as a list box.
  HWND combo = item(ID_COMBO);
  SendMessageA(combo, CB_SHOWDROPDOWN, TRUE, 0);
  uitest::pump(50);
  COMBOBOXINFO info = {};
  info.cbSize = sizeof info;
  GetComboBoxInfo(combo, &info);
  if (IsWindowVisible(info.hwndList)) {
    EXPECT_FALSE(uitest::save_png(info.hwndList, "skin_combo_list").empty());
  }
  SendMessageA(combo, CB_SHOWDROPDOWN, FALSE, 0);
}

}  // namespace
