// The UI test library against real controls: a dialog from an in-memory
// template whose procedure logs every notification, a pad that logs mouse
// messages, a window on another thread, and the real plug-in on the card.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "engine/module.h"
#include "tests/ui_test_fixture.h"

namespace {

enum {
  ID_APPLY = 101,
  ID_LOUD = 102,
  ID_NAME = 103,
  ID_KIND = 104,
  ID_ROWS = 105,
  ID_LEVEL = 106,
  ID_DEPTH = 107,
  ID_PAGES = 108,
  ID_NOTES = 109,
  ID_FREE = 110,
  ID_PAD = 111,
  ID_PICKS = 112,
};

const char kTitle[] = "UI fixture dialog";

// One notification as the dialog saw it: the message, the notification
// code, the control id and (for scrolls) the position.
struct Seen {
  UINT msg;
  int code;
  int id;
  int pos;
  bool operator==(const Seen &o) const { return msg == o.msg && code == o.code && id == o.id && pos == o.pos; }
};
std::ostream &operator<<(std::ostream &os, const Seen &s) {
  return os << "{msg 0x" << std::hex << s.msg << std::dec << " code " << s.code << " id " << s.id << " pos " << s.pos
            << "}";
}

std::vector<Seen> seen;
bool refuse_page_change = false;

INT_PTR CALLBACK dialog_proc(HWND dlg, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_INITDIALOG: return TRUE;
    case WM_COMMAND: seen.push_back({msg, HIWORD(wparam), LOWORD(wparam), 0}); return TRUE;
    case WM_HSCROLL:
    case WM_VSCROLL:
      seen.push_back({msg, LOWORD(wparam), GetDlgCtrlID(reinterpret_cast<HWND>(lparam)), HIWORD(wparam)});
      return TRUE;
    case WM_NOTIFY: {
      auto *nm = reinterpret_cast<NMHDR *>(lparam);
      // Only the tab's notifications: the list and trackbar send custom-draw
      // and other traffic of their own.
      if (nm->idFrom != ID_PAGES) return FALSE;
      seen.push_back({msg, int(nm->code), int(nm->idFrom), 0});
      if (nm->code == UINT(TCN_SELCHANGING)) {
        SetWindowLongPtrA(dlg, DWLP_MSGRESULT, refuse_page_change ? TRUE : FALSE);
        return TRUE;
      }
      return TRUE;
    }
    default: return FALSE;
  }
}

// Mouse messages the pad received: message, keys, x, y.
struct Mouse {
  UINT msg;
  WPARAM keys;
  int x, y;
  bool operator==(const Mouse &o) const { return msg == o.msg && keys == o.keys && x == o.x && y == o.y; }
};
std::ostream &operator<<(std::ostream &os, const Mouse &m) {
  return os << "{msg 0x" << std::hex << m.msg << std::dec << " keys " << m.keys << " " << m.x << "," << m.y << "}";
}
std::vector<Mouse> mouse;

LRESULT CALLBACK pad_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_MOUSELEAVE: mouse.push_back({msg, wparam, short(LOWORD(lparam)), short(HIWORD(lparam))}); return 0;
    default: return DefWindowProcA(hwnd, msg, wparam, lparam);
  }
}

// Builds a dialog template in memory: the header, then one item per
// control, each aligned to four bytes as the format requires.
class Template {
 public:
  Template(const char *title, short w, short h) {
    DLGTEMPLATE t = {};
    t.style = DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    t.cx = w;
    t.cy = h;
    put(&t, sizeof t);
    word(0);  // no menu
    word(0);  // the dialog class
    text(title);
    word(8);
    text("MS Shell Dlg");
  }
  void item(const char *cls, const char *title, int id, DWORD style, short x, short y, short w, short h,
            DWORD exstyle = 0) {
    align4();
    DLGITEMTEMPLATE it = {};
    it.style = style | WS_CHILD | WS_VISIBLE;
    it.dwExtendedStyle = exstyle;
    it.x = x;
    it.y = y;
    it.cx = w;
    it.cy = h;
    it.id = WORD(id);
    put(&it, sizeof it);
    text(cls);
    text(title);
    word(0);  // no creation data
    ++count_;
    reinterpret_cast<DLGTEMPLATE *>(bytes_.data())->cdit = WORD(count_);
  }
  const DLGTEMPLATE *get() const { return reinterpret_cast<const DLGTEMPLATE *>(bytes_.data()); }

 private:
  void put(const void *p, size_t n) {
    const uint8_t *b = static_cast<const uint8_t *>(p);
    bytes_.insert(bytes_.end(), b, b + n);
  }
  void word(WORD w) { put(&w, 2); }
  void text(const char *s) {
    for (; *s; ++s) word(WORD(uint8_t(*s)));
    word(0);
  }
  void align4() {
    while (bytes_.size() % 4) bytes_.push_back(0);
  }
  std::vector<uint8_t> bytes_;
  int count_ = 0;
};

struct Placed {
  int id;
  const char *cls;
  short x, y, w, h;
};
// The controls in template order.
const Placed kPlaced[] = {
    {ID_APPLY, "Button", 7, 7, 50, 14},
    {ID_LOUD, "Button", 7, 25, 60, 10},
    {ID_NAME, "Edit", 7, 40, 80, 12},
    {ID_NOTES, "Edit", 7, 56, 80, 24},
    {ID_KIND, "ComboBox", 7, 84, 80, 60},
    {ID_FREE, "ComboBox", 7, 100, 80, 60},
    {ID_ROWS, "ListBox", 100, 7, 60, 40},
    {ID_PICKS, "ListBox", 100, 50, 60, 30},
    {ID_LEVEL, "msctls_trackbar32", 100, 84, 80, 15},
    {ID_DEPTH, "msctls_trackbar32", 190, 7, 15, 80},
    {ID_PAGES, "SysTabControl32", 7, 118, 200, 40},
    {ID_PAD, "Fixture pad", 215, 7, 40, 40},
};

class UiFixture : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = pad_proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = "Fixture pad";
    RegisterClassA(&wc);

    // One dialog for the suite: under Xvfb without a window manager, Wine
    // waits two seconds for each captioned window it takes down.
    Template t(kTitle, 262, 165);
    for (const Placed &p : kPlaced) {
      DWORD style = WS_TABSTOP, ex = 0;
      const char *title = "";
      switch (p.id) {
        case ID_APPLY:
          style |= BS_PUSHBUTTON;
          title = "Apply";
          break;
        case ID_LOUD:
          style |= BS_AUTOCHECKBOX;
          title = "Loud";
          break;
        case ID_NAME:
          style |= ES_AUTOHSCROLL;
          ex = WS_EX_CLIENTEDGE;
          break;
        case ID_NOTES:
          style |= ES_MULTILINE | ES_AUTOVSCROLL;
          ex = WS_EX_CLIENTEDGE;
          break;
        case ID_KIND: style |= CBS_DROPDOWNLIST | WS_VSCROLL; break;
        case ID_FREE: style |= CBS_DROPDOWN | WS_VSCROLL; break;
        case ID_ROWS: style |= LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_BORDER; break;
        case ID_PICKS: style |= LBS_NOTIFY | LBS_EXTENDEDSEL | LBS_NOINTEGRALHEIGHT | WS_BORDER; break;
        case ID_LEVEL: style |= TBS_HORZ | TBS_AUTOTICKS; break;
        case ID_DEPTH: style |= TBS_VERT; break;
        default: break;
      }
      t.item(p.cls, title, p.id, style, p.x, p.y, p.w, p.h, ex);
    }
    dlg_ = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), t.get(), nullptr, dialog_proc, 0);
    ASSERT_NE(dlg_, nullptr);
    for (const char *s : {"Small room", "Hall", "Cave"}) {
      SendMessageA(item(ID_KIND), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
      SendMessageA(item(ID_ROWS), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
      SendMessageA(item(ID_PICKS), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
    }
    SendMessageA(item(ID_LEVEL), TBM_SETRANGE, TRUE, MAKELPARAM(0, 50));
    SendMessageA(item(ID_DEPTH), TBM_SETRANGE, TRUE, MAKELPARAM(-10, 10));
    for (const char *s : {"Room", "Voices", "Equalizer"}) {
      TCITEMA tab = {};
      tab.mask = TCIF_TEXT;
      tab.pszText = const_cast<char *>(s);
      SendMessageA(item(ID_PAGES), TCM_INSERTITEMA, WPARAM(SendMessageA(item(ID_PAGES), TCM_GETITEMCOUNT, 0, 0)),
                   reinterpret_cast<LPARAM>(&tab));
    }
  }
  static void TearDownTestSuite() {
    if (dlg_) DestroyWindow(dlg_);
    dlg_ = nullptr;
  }

  void SetUp() override {
    ASSERT_NE(dlg_, nullptr);
    EnableWindow(item(ID_APPLY), TRUE);
    ShowWindow(item(ID_LOUD), SW_SHOW);
    SendMessageA(item(ID_LOUD), BM_SETCHECK, BST_UNCHECKED, 0);
    SendMessageA(item(ID_PAGES), TCM_SETCURSEL, 0, 0);
    uitest::pump(20);
    seen.clear();
    mouse.clear();
    refuse_page_change = false;
  }

  static HWND item(int id) { return GetDlgItem(dlg_, id); }
  static HWND dlg_;
};

HWND UiFixture::dlg_ = nullptr;

TEST_F(UiFixture, ReadsClassesTextsStylesAndPlacesInDialogUnits) {
  EXPECT_EQ(uitest::find_window(nullptr, kTitle), dlg_);
  EXPECT_EQ(uitest::find_window("#32770", kTitle), dlg_);
  EXPECT_EQ(uitest::find_window("#32770", "No such title"), nullptr);
  EXPECT_EQ(uitest::find_window("No such class", nullptr), nullptr);
  EXPECT_EQ(uitest::text_of(dlg_), kTitle);

  std::vector<HWND> kids = uitest::children(dlg_);
  ASSERT_EQ(kids.size(), std::size(kPlaced)) << "children are the direct ones only";
  for (size_t i = 0; i < kids.size(); ++i) {
    const Placed &p = kPlaced[i];
    SCOPED_TRACE(p.id);
    EXPECT_EQ(GetDlgCtrlID(kids[i]), p.id) << "children in template order";
    EXPECT_EQ(uitest::find_child(dlg_, p.id), kids[i]);
    EXPECT_EQ(lstrcmpiA(uitest::class_of(kids[i]).c_str(), p.cls), 0) << uitest::class_of(kids[i]);
    RECT du = uitest::rect_in_dialog_units(dlg_, kids[i]);
    EXPECT_EQ(du.left, p.x);
    EXPECT_EQ(du.top, p.y);
    EXPECT_EQ(du.right, p.x + p.w);
    // A combo box sizes itself to its edit field.
    if (p.id != ID_KIND && p.id != ID_FREE) {
      EXPECT_EQ(du.bottom, p.y + p.h);
    }
    // The same place in pixels, through the dialog's own conversion.
    RECT px = {p.x, p.y, p.x + p.w, p.y + p.h};
    MapDialogRect(dlg_, &px);
    RECT got = uitest::rect_in_parent(kids[i]);
    EXPECT_EQ(got.left, px.left);
    EXPECT_EQ(got.top, px.top);
    EXPECT_EQ(got.right, px.right);
  }

  EXPECT_EQ(uitest::text_of(item(ID_APPLY)), "Apply");
  EXPECT_EQ(uitest::text_of(item(ID_NAME)), "");
  EXPECT_EQ(uitest::style_of(item(ID_LOUD)) & BS_TYPEMASK, BS_AUTOCHECKBOX);
  EXPECT_TRUE(uitest::style_of(item(ID_DEPTH)) & TBS_VERT);
  EXPECT_FALSE(uitest::style_of(item(ID_LEVEL)) & TBS_VERT);
  EXPECT_TRUE(uitest::exstyle_of(item(ID_NAME)) & WS_EX_CLIENTEDGE);
  EXPECT_FALSE(uitest::exstyle_of(item(ID_APPLY)) & WS_EX_CLIENTEDGE);
  EXPECT_TRUE(uitest::is_visible(item(ID_APPLY)));
  EXPECT_TRUE(uitest::is_enabled(item(ID_APPLY)));
  EnableWindow(item(ID_APPLY), FALSE);
  ShowWindow(item(ID_LOUD), SW_HIDE);
  EXPECT_FALSE(uitest::is_enabled(item(ID_APPLY)));
  EXPECT_FALSE(uitest::is_visible(item(ID_LOUD)));
  EXPECT_EQ(uitest::find_child(dlg_, 9999), nullptr);
}

TEST_F(UiFixture, FindsGrandchildrenAndWindowsOfOtherThreads) {
  // The drop-down combo's edit field is a child of the combo (id 1001).
  HWND field = uitest::find_child(dlg_, 1001);
  ASSERT_NE(field, nullptr);
  EXPECT_EQ(GetParent(field), item(ID_FREE));

  // A top-level window owned by another thread of this process, as the
  // plug-in's view thread makes them.
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD thread_id = 0;
  std::thread other([&] {
    thread_id = GetCurrentThreadId();
    HWND w = CreateWindowExA(0, "Static", "Other thread window", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    SetEvent(ready);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    DestroyWindow(w);
  });
  ASSERT_EQ(WaitForSingleObject(ready, 5000), WAIT_OBJECT_0);
  HWND found = uitest::find_window("Static", "Other thread window");
  EXPECT_NE(found, nullptr);
  EXPECT_EQ(GetWindowThreadProcessId(found, nullptr), thread_id);
  // Reading its text crosses to its thread, which serves the message.
  EXPECT_EQ(uitest::text_of(found), "Other thread window");
  PostThreadMessageA(thread_id, WM_QUIT, 0, 0);
  other.join();
  CloseHandle(ready);
  EXPECT_EQ(uitest::find_window("Static", "Other thread window"), nullptr);
}

TEST_F(UiFixture, ButtonsEditsAndListsNotifyTheParentOnce) {
  uitest::click(item(ID_APPLY));
  EXPECT_EQ(seen, (std::vector<Seen>{{WM_COMMAND, BN_CLICKED, ID_APPLY, 0}}));

  seen.clear();
  uitest::click(item(ID_LOUD));
  EXPECT_EQ(uitest::check_of(item(ID_LOUD)), BST_CHECKED);
  uitest::click(item(ID_LOUD));
  EXPECT_EQ(uitest::check_of(item(ID_LOUD)), BST_UNCHECKED);
  EXPECT_EQ(seen, (std::vector<Seen>{{WM_COMMAND, BN_CLICKED, ID_LOUD, 0}, {WM_COMMAND, BN_CLICKED, ID_LOUD, 0}}));

  // A single-line edit reports its change itself, a multiline one does not:
  // either way the parent hears of it exactly once.
  for (int id : {ID_NAME, ID_NOTES}) {
    SCOPED_TRACE(id);
    seen.clear();
    uitest::set_edit(item(id), "Cathedral");
    EXPECT_EQ(uitest::text_of(item(id)), "Cathedral");
    int changes = 0;
    for (const Seen &s : seen) changes += s.msg == WM_COMMAND && s.code == EN_CHANGE && s.id == id;
    EXPECT_EQ(changes, 1);
  }

  seen.clear();
  uitest::select_combo(item(ID_KIND), 2);
  EXPECT_EQ(SendMessageA(item(ID_KIND), CB_GETCURSEL, 0, 0), 2);
  EXPECT_EQ(uitest::text_of(item(ID_KIND)), "Cave");
  EXPECT_EQ(seen, (std::vector<Seen>{{WM_COMMAND, CBN_SELCHANGE, ID_KIND, 0}}));

  seen.clear();
  uitest::select_list(item(ID_ROWS), 1);
  EXPECT_EQ(SendMessageA(item(ID_ROWS), LB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(seen, (std::vector<Seen>{{WM_COMMAND, LBN_SELCHANGE, ID_ROWS, 0}}));

  // An extended-selection list: the one item picked, any other dropped.
  SendMessageA(item(ID_PICKS), LB_SETSEL, TRUE, 0);
  seen.clear();
  uitest::select_list(item(ID_PICKS), 2);
  EXPECT_EQ(SendMessageA(item(ID_PICKS), LB_GETSELCOUNT, 0, 0), 1);
  EXPECT_GT(SendMessageA(item(ID_PICKS), LB_GETSEL, 2, 0), 0);
  EXPECT_EQ(seen, (std::vector<Seen>{{WM_COMMAND, LBN_SELCHANGE, ID_PICKS, 0}}));
}

TEST_F(UiFixture, TrackbarsReportADragWhereTheThumbReallyIs) {
  uitest::set_trackbar(item(ID_LEVEL), 30);
  EXPECT_EQ(SendMessageA(item(ID_LEVEL), TBM_GETPOS, 0, 0), 30);
  EXPECT_EQ(seen, (std::vector<Seen>{{WM_HSCROLL, TB_THUMBTRACK, ID_LEVEL, 30},
                                     {WM_HSCROLL, TB_THUMBPOSITION, ID_LEVEL, 30},
                                     {WM_HSCROLL, TB_ENDTRACK, ID_LEVEL, 0}}));

  // Past the end of the range the thumb stops at the end.
  seen.clear();
  uitest::set_trackbar(item(ID_LEVEL), 80);
  EXPECT_EQ(SendMessageA(item(ID_LEVEL), TBM_GETPOS, 0, 0), 50);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].pos, 50);
  EXPECT_EQ(seen[1].pos, 50);

  // A vertical one scrolls vertically; a negative position survives the
  // 16-bit field as the same bits.
  seen.clear();
  uitest::set_trackbar(item(ID_DEPTH), -4);
  EXPECT_EQ(SendMessageA(item(ID_DEPTH), TBM_GETPOS, 0, 0), -4);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].msg, UINT(WM_VSCROLL));
  EXPECT_EQ(seen[0].code, TB_THUMBTRACK);
  EXPECT_EQ(short(seen[0].pos), -4);
  EXPECT_EQ(seen[2].code, TB_ENDTRACK);
}

TEST_F(UiFixture, TabsAskBeforeTheyChangeAndMayBeRefused) {
  HWND tab = item(ID_PAGES);
  uitest::select_tab(tab, 2);
  EXPECT_EQ(SendMessageA(tab, TCM_GETCURSEL, 0, 0), 2);
  EXPECT_EQ(seen, (std::vector<Seen>{{WM_NOTIFY, int(TCN_SELCHANGING), ID_PAGES, 0},
                                     {WM_NOTIFY, int(TCN_SELCHANGE), ID_PAGES, 0}}));

  seen.clear();
  refuse_page_change = true;
  uitest::select_tab(tab, 0);
  EXPECT_EQ(SendMessageA(tab, TCM_GETCURSEL, 0, 0), 2) << "a refused change keeps the page";
  EXPECT_EQ(seen, (std::vector<Seen>{{WM_NOTIFY, int(TCN_SELCHANGING), ID_PAGES, 0}}));
}

TEST_F(UiFixture, MouseHelpersProduceAClickAndADrag) {
  HWND pad = item(ID_PAD);
  uitest::left_click(pad, 5, 6);
  EXPECT_EQ(mouse,
            (std::vector<Mouse>{{WM_MOUSEMOVE, 0, 5, 6}, {WM_LBUTTONDOWN, MK_LBUTTON, 5, 6}, {WM_LBUTTONUP, 0, 5, 6}}));

  mouse.clear();
  uitest::left_down(pad, 10, 10);
  uitest::mouse_move(pad, 20, -3);  // dragged out past the top edge
  uitest::left_up(pad, 20, -3);
  uitest::mouse_move(pad, 21, 4);
  uitest::mouse_leave(pad);
  EXPECT_EQ(mouse, (std::vector<Mouse>{{WM_LBUTTONDOWN, MK_LBUTTON, 10, 10},
                                       {WM_MOUSEMOVE, MK_LBUTTON, 20, -3},
                                       {WM_LBUTTONUP, 0, 20, -3},
                                       {WM_MOUSEMOVE, 0, 21, 4},
                                       {WM_MOUSELEAVE, 0, 0, 0}}));
}

// The colour at a point of a capture.
COLORREF pixel(const std::vector<uint8_t> &rgb, int width, int x, int y) {
  const uint8_t *p = &rgb[(size_t(y) * width + x) * 3];
  return RGB(p[0], p[1], p[2]);
}

TEST_F(UiFixture, CapturesTheDialogWithItsControlsInPlace) {
  uitest::set_edit(item(ID_NAME), "Cathedral");
  int w = 0, h = 0;
  std::vector<uint8_t> rgb = uitest::capture_rgb(dlg_, &w, &h);
  ASSERT_FALSE(rgb.empty());
  RECT window;
  GetWindowRect(dlg_, &window);
  EXPECT_EQ(w, window.right - window.left);
  EXPECT_EQ(h, window.bottom - window.top);

  // Where the pad lies the capture is black, and the edit field is white
  // with dark text: the children are drawn, at their places in the frame.
  auto at = [&](HWND control, int fx, int fy) {
    RECT r;
    GetWindowRect(control, &r);
    int x = r.left - window.left + (r.right - r.left) * fx / 100;
    int y = r.top - window.top + (r.bottom - r.top) * fy / 100;
    return pixel(rgb, w, x, y);
  };
  EXPECT_EQ(at(item(ID_PAD), 50, 50), RGB(0, 0, 0));
  EXPECT_EQ(at(item(ID_PAD), 5, 95), RGB(0, 0, 0));
  EXPECT_EQ(at(item(ID_NAME), 97, 50), GetSysColor(COLOR_WINDOW));
  RECT name;
  GetWindowRect(item(ID_NAME), &name);
  int dark = 0;
  for (int y = name.top - window.top; y < name.bottom - window.top; ++y)
    for (int x = name.left - window.left; x < name.right - window.left; ++x)
      dark += GetRValue(pixel(rgb, w, x, y)) < 100 && GetGValue(pixel(rgb, w, x, y)) < 100;
  EXPECT_GT(dark, 20) << "the edit field's text is drawn";
  EXPECT_EQ(pixel(rgb, w, w / 2, h - 8), GetSysColor(COLOR_BTNFACE)) << "the dialog's face";
  // The caption shows the title: more than one colour above the client area.
  POINT client = {0, 0};
  ClientToScreen(dlg_, &client);
  int caption_colours = 0;
  COLORREF first = pixel(rgb, w, w / 4, 0);
  for (int y = 0; y < client.y - window.top; ++y)
    for (int x = 0; x < w / 2; ++x) caption_colours += pixel(rgb, w, x, y) != first;
  EXPECT_GT(caption_colours, 50);

  EXPECT_TRUE(uitest::capture_rgb(nullptr, &w, &h).empty());
  EXPECT_EQ(w, 0);
}

std::vector<uint8_t> read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

uint32_t be32(const uint8_t *p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

TEST_F(UiFixture, SavesAPngOfTheWindowSize) {
  uitest::set_edit(item(ID_NAME), "Cathedral");
  uitest::click(item(ID_LOUD));
  uitest::select_combo(item(ID_KIND), 1);
  uitest::select_list(item(ID_ROWS), 2);
  uitest::set_trackbar(item(ID_LEVEL), 35);
  uitest::set_trackbar(item(ID_DEPTH), 5);
  uitest::select_tab(item(ID_PAGES), 1);
  std::string path = uitest::save_png(dlg_, "ui_fixture_dialog");
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.rfind(uitest::screenshot_dir(), 0), 0u) << path;
  std::vector<uint8_t> file = read_file(path);
  ASSERT_GT(file.size(), 33u);
  const uint8_t signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  EXPECT_EQ(std::memcmp(file.data(), signature, 8), 0);
  EXPECT_EQ(std::memcmp(file.data() + 12, "IHDR", 4), 0);
  RECT r;
  GetWindowRect(dlg_, &r);
  uint32_t w = be32(&file[16]), h = be32(&file[20]);
  EXPECT_EQ(w, uint32_t(r.right - r.left));
  EXPECT_EQ(h, uint32_t(r.bottom - r.top));
  // A dialog of flat faces compresses well, but not to nothing.
  EXPECT_GT(file.size(), 1000u);
  EXPECT_LT(file.size(), size_t(w) * h * 3 / 2);

  EXPECT_EQ(uitest::save_png(nullptr, "nothing"), "");
  EXPECT_EQ(uitest::save_png(dlg_, ""), "");
}

TEST(UiScreenshotDir, FollowsTheEnvironmentAndCreatesTheFolders) {
  char temp[MAX_PATH];
  ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
  std::string base = std::string(temp) + "sonorium-shots-" + std::to_string(GetCurrentProcessId());
  std::string nested = base + "\\a\\b";
  char old[MAX_PATH];
  DWORD had = GetEnvironmentVariableA("SONORIUM_SCREENSHOTS", old, sizeof old);
  SetEnvironmentVariableA("SONORIUM_SCREENSHOTS", (nested + "\\").c_str());
  std::string dir = uitest::screenshot_dir();
  EXPECT_EQ(dir, nested) << "the trailing separator is dropped";
  DWORD a = GetFileAttributesA(nested.c_str());
  EXPECT_TRUE(a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY));
  SetEnvironmentVariableA("SONORIUM_SCREENSHOTS", had ? old : nullptr);
  RemoveDirectoryA(nested.c_str());
  RemoveDirectoryA((base + "\\a").c_str());
  RemoveDirectoryA(base.c_str());

  if (!had) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string beside = self;
    beside = beside.substr(0, beside.find_last_of("\\/")) + "\\screenshots";
    EXPECT_EQ(uitest::screenshot_dir(), beside);
  }
}

bool file_exists(const std::string &path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(UiPlugin, LoadsThePluginAsThePlayerDoesAndQuitSavesInItsFolder) {
  uitest::Plugin plugin;
  ASSERT_TRUE(uitest::plugin_load(plugin));
  ASSERT_NE(plugin.module, nullptr);
  EXPECT_STREQ(plugin.module->description, OUT_MODULE_DESCRIPTION);
  EXPECT_EQ(plugin.module->hMainWindow, plugin.host_window);
  EXPECT_EQ(plugin.module->hDllInstance, plugin.dll);
  EXPECT_FALSE(plugin.plugin_dir.empty());
  EXPECT_EQ(GetFileAttributesA(plugin.plugin_dir.c_str()) & FILE_ATTRIBUTE_DIRECTORY, DWORD(FILE_ATTRIBUTE_DIRECTORY));
  // The host window is not one a test would find by accident.
  EXPECT_FALSE(uitest::is_visible(plugin.host_window));
  // On the card the plug-in is enabled: its output thread asked where the
  // settings are before plugin_load returned.
  HMODULE card = GetModuleHandleA("dsound.dll");
  ASSERT_NE(card, nullptr);
  ASSERT_NE(GetProcAddress(card, "card_live_devices"), nullptr) << "the software card's dsound.dll is not loaded";
  EXPECT_GE(uitest::host_asked(plugin, IPC_GETPLUGINDIRECTORY), 1);

  // Close asks whether the player stops altogether.
  ASSERT_GE(plugin.module->Open(44100, 2, 16, -1, -1), 0);
  plugin.module->Close();
  EXPECT_GE(uitest::host_asked(plugin, IPC_ISFULLSTOP), 1);

  std::string dir = plugin.plugin_dir;
  HWND host = plugin.host_window;
  uitest::plugin_unload(plugin);
  EXPECT_EQ(plugin.module, nullptr);
  EXPECT_EQ(plugin.dll, nullptr);
  EXPECT_FALSE(IsWindow(host));
  for (const char *name : {"_autosave.env", "_autosave.eq", "_autosave.ds"})
    EXPECT_TRUE(file_exists(dir + "\\SONORIUM\\" + name)) << name;
}

TEST(UiPlugin, UsesTheGivenFolderAndFailsCleanlyWithoutTheDll) {
  char temp[MAX_PATH];
  ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
  std::string dir = std::string(temp) + "sonorium-given-" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(dir.c_str(), nullptr);
  {
    uitest::Plugin plugin;
    ASSERT_TRUE(uitest::plugin_load(plugin, "out_sonorium.dll", dir.c_str()));
    EXPECT_EQ(plugin.plugin_dir, dir);
    uitest::plugin_unload(plugin);
    EXPECT_TRUE(file_exists(dir + "\\SONORIUM\\_autosave.env"));
  }
  for (const char *name : {"_autosave.env", "_autosave.eq", "_autosave.ds"})
    DeleteFileA((dir + "\\SONORIUM\\" + name).c_str());
  RemoveDirectoryA((dir + "\\SONORIUM").c_str());
  RemoveDirectoryA(dir.c_str());

  uitest::Plugin missing;
  EXPECT_FALSE(uitest::plugin_load(missing, "no_such_plugin.dll"));
  EXPECT_EQ(missing.dll, nullptr);
  EXPECT_EQ(missing.module, nullptr);
  EXPECT_EQ(missing.host_window, nullptr);
  // Unloading it again does nothing, and the card loaded on the way, like
  // every plug-in's, was released: nothing holds the DLLs any more.
  uitest::plugin_unload(missing);
  EXPECT_EQ(GetModuleHandleA("dsound.dll"), nullptr);
  EXPECT_EQ(GetModuleHandleA("out_sonorium.dll"), nullptr);
}

}  // namespace
