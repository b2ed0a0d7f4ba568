// The dialog templates inside the real out_sonorium.dll, created by the
// system's dialog manager with a procedure that does nothing: every control's
// identifier, class, key styles, text and rectangle, the order of the
// controls, and each dialog's caption, size and font. The EAX panel's pages,
// whose rectangles are ours to choose, are checked for what a user needs:
// every control visible inside the panel, inside its group box, no overlaps,
// labels that fit, slider rows and columns aligned.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "tests/ui_test_fixture.h"

namespace {

// ---------------------------------------------------------------------------
// Control kinds: class name and the style bits that matter.

enum Kind {
  kPush,        // push button, tab stop
  kDefPush,     // default push button, tab stop
  kFlatPush,    // flat push button, tab stop
  kCheck,       // auto check box, tab stop
  kToggle,      // push-like auto check box
  kRadio,       // auto radio button
  kGroup,       // group box
  kLeft,        // static, left-aligned text
  kCenter,      // static, centred text
  kRight,       // static, right-aligned text
  kEdit,        // edit field that takes digits, tab stop
  kTextEdit,    // edit field for any text, tab stop
  kValue,       // read-only value box, no tab stop
  kCombo,       // drop-down list
  kList,        // list box
  kSorter,      // hidden sorted list box
  kSlider,      // horizontal trackbar without ticks, jump-to-click marker
  kVSlider,     // vertical trackbar without ticks, no selection range
  kVSelSlider,  // vertical trackbar with the selection range
  kSpin,        // up-down that takes the previous edit as its buddy
  kTab,         // tab control
  kOwnerTab,    // owner-drawn tab control
};

struct KindInfo {
  const char *cls;
  DWORD mask;  // style bits compared
  DWORD bits;  // their expected values
};

const DWORD kBtnType = 0x0F;  // BS_TYPEMASK
const DWORD kSsType = 0x1F;   // SS_TYPEMASK

KindInfo kind_info(Kind kind) {
  switch (kind) {
    case kPush: return {"Button", kBtnType | BS_FLAT | WS_TABSTOP, BS_PUSHBUTTON | WS_TABSTOP};
    case kDefPush: return {"Button", kBtnType | WS_TABSTOP, BS_DEFPUSHBUTTON | WS_TABSTOP};
    case kFlatPush: return {"Button", kBtnType | BS_FLAT | WS_TABSTOP, BS_PUSHBUTTON | BS_FLAT | WS_TABSTOP};
    case kCheck: return {"Button", kBtnType | BS_PUSHLIKE | WS_TABSTOP, BS_AUTOCHECKBOX | WS_TABSTOP};
    case kToggle: return {"Button", kBtnType | BS_PUSHLIKE, BS_AUTOCHECKBOX | BS_PUSHLIKE};
    case kRadio: return {"Button", kBtnType, BS_AUTORADIOBUTTON};
    case kGroup: return {"Button", kBtnType, BS_GROUPBOX};
    case kLeft: return {"Static", kSsType, SS_LEFT};
    case kCenter: return {"Static", kSsType, SS_CENTER};
    case kRight: return {"Static", kSsType, SS_RIGHT};
    case kEdit: return {"Edit", ES_READONLY | ES_NUMBER | WS_TABSTOP, ES_NUMBER | WS_TABSTOP};
    case kTextEdit: return {"Edit", ES_READONLY | ES_NUMBER | WS_TABSTOP, WS_TABSTOP};
    case kValue: return {"Edit", ES_READONLY | WS_TABSTOP, ES_READONLY};
    case kCombo: return {"ComboBox", 0x3 | WS_TABSTOP, CBS_DROPDOWNLIST | WS_TABSTOP};
    case kList:
      return {"ListBox", LBS_NOTIFY | LBS_SORT | LBS_USETABSTOPS | LBS_NOINTEGRALHEIGHT | WS_TABSTOP,
              LBS_NOTIFY | LBS_USETABSTOPS | LBS_NOINTEGRALHEIGHT | WS_TABSTOP};
    case kSorter: return {"ListBox", LBS_SORT | WS_VISIBLE, LBS_SORT};
    case kSlider: return {"msctls_trackbar32", TBS_VERT | TBS_NOTICKS | WS_TABSTOP, TBS_NOTICKS | WS_TABSTOP};
    case kVSlider:
      return {"msctls_trackbar32", TBS_VERT | TBS_NOTICKS | TBS_ENABLESELRANGE | TBS_BOTH | TBS_LEFT | WS_TABSTOP,
              TBS_VERT | TBS_NOTICKS | WS_TABSTOP};
    case kVSelSlider:
      return {"msctls_trackbar32", TBS_VERT | TBS_NOTICKS | TBS_ENABLESELRANGE | TBS_BOTH | TBS_LEFT | WS_TABSTOP,
              TBS_VERT | TBS_NOTICKS | TBS_ENABLESELRANGE | WS_TABSTOP};
    case kSpin: {
      DWORD ud = UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_AUTOBUDDY | UDS_NOTHOUSANDS | UDS_ARROWKEYS;
      return {"msctls_updown32", ud | UDS_ALIGNLEFT | UDS_HORZ | UDS_WRAP, ud};
    }
    case kTab: return {"SysTabControl32", TCS_OWNERDRAWFIXED, 0};
    case kOwnerTab: return {"SysTabControl32", TCS_OWNERDRAWFIXED, TCS_OWNERDRAWFIXED};
  }
  return {"", 0, 0};
}

bool is_trackbar(Kind k) { return k == kSlider || k == kVSlider || k == kVSelSlider; }

// One control of a template, its rectangle in dialog units.
struct Ctl {
  int id;
  Kind kind;
  const char *text;
  int x, y, w, h;
  DWORD extra;  // further style bits that must be set (SS_NOTIFY, SS_NOPREFIX, ...)
};

struct Template {
  int id;
  const char *name;     // screenshot name
  const char *caption;  // null for a page
  int cx, cy;
  const char *face;
  int points;
  std::vector<Ctl> controls;  // in template order
};

// ---------------------------------------------------------------------------
// The tables.

Template settings_dialog() {
  return {IDD_SETTINGS, "settings", "DirectSound settings", 263, 198, "Tahoma", 8, {
      {1000, kTab, "", 0, 0, 263, 171, 0},
      {1002, kPush, "Apply", 140, 177, 36, 14, 0},
      {1003, kPush, "Ok", 181, 177, 36, 14, 0},
      {1004, kPush, "Cancel", 222, 177, 36, 14, 0},
      {1001, kPush, "Reset", 5, 177, 36, 14, 0},
  }};
}

Template device_page() {
  return {IDD_SETTINGS_DEVICE, "settings_device", nullptr, 258, 156, "Tahoma", 8, {
      {1010, kCombo, "", 9, 9, 240, 50, 0},
      {1011, kLeft, "Status", 13, 41, 232, 66, SS_NOPREFIX},
      {-1, kLeft, "Note: most of the settings take effect after fully stopping playback.", 9, 139, 237, 9, 0},
      {-1, kLeft,
       "Interpolation frequency is always 48khz because Audigy/Aureon cards do 24bit - 192khz hardware "
       "interpolation for you.",
       9, 115, 240, 18, 0},
      {-1, kGroup, "Device Info", 9, 31, 240, 80, 0},
  }};
}

Template buffering_page() {
  return {IDD_SETTINGS_BUFFERING, "settings_buffering", nullptr, 258, 156, "Tahoma", 8, {
      {1020, kSlider, "", 9, 18, 240, 12, 0},
      {-1, kLeft, "Buffer length:", 13, 3, 45, 12, 0},
      {1022, kSlider, "", 9, 56, 240, 12, 0},
      {-1, kLeft, "Prebuffer on start / seek:", 13, 41, 84, 12, 0},
      {1021, kCenter, "-", 112, 31, 34, 12, 0},
      {1023, kCenter, "-", 102, 69, 53, 12, 0},
      {1024, kCombo, "", 13, 85, 232, 40, 0},
      {1025, kCheck, "Enable CPU usage control (keeps CPU usage fluid at start/seek)", 13, 105, 232, 12, 0},
      {-1, kLeft,
       "Note: longer buffer gives greater stability but causes EQ/DSP settings to lag. Prebuffer determines how "
       "much data to eat before starting to output sound. Interpolation allows you to crossfade songs which have "
       "different frequency!",
       5, 122, 248, 26, 0},
  }};
}

Template fading_page() {
  return {IDD_SETTINGS_FADING, "settings_fading", nullptr, 258, 156, "Tahoma", 8, {
      {1030, kCheck, "Enable start-end crossfading", 10, 4, 106, 12, 0},
      {1031, kList, "", 10, 21, 237, 65, 0},
      {1037, kGroup, "", 9, 82, 238, 43, 0},
      {1032, kCheck, "Enabled", 17, 92, 43, 12, 0},
      {1035, kLeft, "Fade Time:", 17, 106, 44, 12, 0},
      {1033, kEdit, "", 67, 106, 37, 12, 0},
      {1034, kSpin, "", 134, 106, 11, 13, 0},
      {1036, kLeft, "ms", 109, 106, 13, 12, 0},
      {-1, kLeft, "Note: all fadeouts are limited to buffer length. Fades on start/end will disable silence remover.",
       9, 131, 240, 18, 0},
  }};
}

Template gaps_page() {
  return {IDD_SETTINGS_GAPS, "settings_gaps", nullptr, 258, 156, "Tahoma", 8, {
      {-1, kGroup, "Gap Control", 9, 4, 238, 47, 0},
      {1040, kCombo, "", 21, 16, 72, 42, 0},
      {1041, kEdit, "", 183, 16, 36, 12, 0},
      {1042, kSpin, "", 103, 16, 11, 13, 0},
      {1044, kLeft, "ms", 224, 16, 13, 12, 0},
      {-1, kGroup, "Silence Remover", 9, 61, 238, 72, 0},
      {1046, kCheck, "Leading", 17, 72, 42, 12, 0},
      {1047, kCheck, "Trailing", 17, 87, 42, 12, 0},
      {1048, kCheck, "Limit to:", 140, 71, 39, 12, 0},
      {1049, kCheck, "Limit to:", 140, 87, 39, 12, 0},
      {1050, kEdit, "", 186, 71, 33, 12, 0},
      {1051, kSpin, "", 84, 71, 11, 13, 0},
      {1052, kEdit, "", 186, 87, 33, 12, 0},
      {1053, kSpin, "", 84, 87, 11, 13, 0},
      {1054, kLeft, "ms", 224, 71, 13, 12, 0},
      {1055, kLeft, "ms", 224, 87, 13, 12, 0},
      {-1, kLeft, "Threshold:", 17, 106, 36, 12, 0},
      {1056, kSlider, "", 54, 106, 184, 12, 0},
      {1057, kCenter, "-", 130, 119, 31, 9, 0},
      {-1, kLeft, "Note: Silence remover works only when 'Remove gaps' is selected.", 9, 136, 240, 13, 0},
      {1043, kLeft, "Insert gaps dur.:", 124, 16, 55, 12, 0},
      {1045, kLeft, "-", 21, 34, 213, 12, SS_NOPREFIX},
  }};
}

Template panel() {
  return {IDD_EAX_PANEL, "eax_panel", "-", 450, 286, "Tahoma", 8, {
      {1100, kOwnerTab, "", 0, 0, 450, 286, 0},
  }};
}

Template about_page() {
  return {IDD_EAX_ABOUT, "eax_about_page", nullptr, 445, 270, "Tahoma", 8, {
      {1500, kCenter, "", 0, 63, 445, 51, 0},
      {1502, kFlatPush, "", 140, 119, 165, 12, 0},
      {1501, kCenter, "", 1, 137, 444, 20, 0},
  }};
}

Template about_dialog() {
  return {IDD_ABOUT, "about", "About Sonorium plugin", 197, 102, "Tahoma", 8, {
      {801, kCenter, "", 6, 6, 185, 12, 0},
      {-1, kGroup, "Credits", 6, 21, 185, 53, 0},
      {802, kCenter, "", 12, 34, 174, 36, 0},
      {800, kPush, "Close", 68, 81, 50, 14, 0},
  }};
}

// The equalizer's layout is given by rule: slider k at 20 + 16k, its label
// under it.
Template equalizer() {
  Template t = {IDD_EQUALIZER, "equalizer", "SSE2/3 32-Band FIR Equalizer", 552, 100, "Small Fonts", 7, {}};
  t.controls.push_back({1600, kVSelSlider, "", 12, 8, 16, 62, 0});
  for (int k = 1; k <= 32; ++k) t.controls.push_back({1600 + k, kVSlider, "", 20 + 16 * k, 8, 16, 62, 0});
  t.controls.push_back({1700, kCenter, "preamp", 0, 70, 30, 10, SS_NOTIFY});
  for (int k = 1; k <= 32; ++k) t.controls.push_back({1700 + k, kCenter, "", 20 + 16 * k, 70, 16, 10, SS_NOTIFY});
  t.controls.push_back({1801, kRight, "2x", 0, 8, 11, 8, 0});
  t.controls.push_back({1802, kRight, "1x", 0, 32, 11, 8, 0});
  t.controls.push_back({1803, kRight, "0.5", 0, 59, 11, 8, 0});
  t.controls.push_back({1804, kCheck, "Enable Equalizer", 36, 84, 80, 12, 0});
  t.controls.push_back({1805, kPush, "Presets", 132, 84, 48, 12, 0});
  t.controls.push_back({1806, kSorter, "", 276, 84, 24, 12, 0});
  t.controls.push_back({1800, kRight, "High Quality (1024 taps)", 456, 84, 92, 11, SS_NOTIFY});
  return t;
}

Template save_preset() {
  return {IDD_SAVE_PRESET, "save_preset", "Save Preset", 160, 47, "Tahoma", 8, {
      {-1, kLeft, "Preset name:", 7, 9, 44, 8, 0},
      {1850, kTextEdit, "", 54, 7, 99, 12, ES_AUTOHSCROLL},
      {1851, kDefPush, "Save", 49, 26, 50, 14, 0},
      {1852, kPush, "Cancel", 103, 26, 50, 14, 0},
  }};
}

Template delete_preset() {
  return {IDD_DELETE_PRESET, "delete_preset", "Delete Preset", 214, 58, "Tahoma", 8, {
      {1860, kCenter, "", 7, 7, 200, 24, SS_NOPREFIX},
      {1861, kPush, "Yes", 53, 37, 50, 14, 0},
      {1862, kDefPush, "No", 111, 37, 50, 14, 0},
  }};
}

// The EAX panel's pages: what each control is and which group box holds it.
struct PageCtl {
  int id;
  Kind kind;
  const char *text;
  const char *group;
};
// A slider row: the read-only value box, the trackbar (value + 1) and the
// label (value + 2).
struct SliderRow {
  int value;
  const char *label;
  const char *group;
};

struct Page {
  int id;
  const char *name;
  int cx, cy;
  std::vector<PageCtl> controls;
  std::vector<SliderRow> rows;
};

// X, Y and Z boxes with their labels and "m", and three orientation boxes.
void add_pose(std::vector<PageCtl> &v, int caption, const char *group) {
  v.push_back({caption, kLeft, "Position and Orientation", group});
  const char *axes[] = {"X", "Y", "Z"};
  for (int i = 0; i < 3; ++i) {
    v.push_back({caption + 1 + 3 * i, kValue, "", group});
    v.push_back({caption + 2 + 3 * i, kLeft, axes[i], group});
    v.push_back({caption + 3 + 3 * i, kLeft, "m", group});
  }
  for (int i = 0; i < 3; ++i) v.push_back({caption + 10 + i, kValue, "", group});
}

Page settings_page() {
  return {IDD_EAX_SETTINGS, "eax_settings_page", 445, 270, {
      {-1, kGroup, "EAX Environment / DS3D Presets", nullptr},
      {1400, kPush, "Presets", "EAX Environment / DS3D Presets"},
      {1401, kSorter, "", nullptr},
  }, {}};
}

Page listener_page() {
  Page p = {IDD_EAX_LISTENER, "eax_listener_page", 445, 270, {}, {
      {1202, "&Size:", "EAX Environment"},
      {1205, "&Diffusion:", "EAX Environment"},
      {1257, "Room Rolloff", "EAX Distance Effects"},
      {1260, "Air Absorption HF", "EAX Distance Effects"},
      {1221, "Rolloff Factor", "DS3D Properties"},
      {1224, "Distance Factor", "DS3D Properties"},
      {1227, "Reverb", "Reverb"},
      {1230, "Reverb Delay", "Reverb"},
      {1235, "Reflections", "Reflections"},
      {1238, "Reflections Delay", "Reflections"},
      {1243, "Decay Time", "Decay"},
      {1246, "Decay HF Ratio", "Decay"},
      {1251, "Room", "Room"},
      {1254, "Room HF", "Room"},
  }};
  const char *groups[] = {"EAX Environment", "EAX Distance Effects", "DS3D Properties", "Reverb", "Reflections",
                          "Decay", "Room"};
  for (const char *g : groups) p.controls.push_back({-1, kGroup, g, nullptr});
  p.controls.push_back({1201, kLeft, "Environment", "EAX Environment"});
  p.controls.push_back({1200, kCombo, "", "EAX Environment"});
  add_pose(p.controls, 1208, "DS3D Properties");
  p.controls.push_back({1233, kCheck, "Scale Reverb", "Reverb"});
  p.controls.push_back({1234, kCheck, "Scale Reverb Delay", "Reverb"});
  p.controls.push_back({1241, kCheck, "Scale Reflections", "Reflections"});
  p.controls.push_back({1242, kCheck, "Scale Reflections Delay", "Reflections"});
  p.controls.push_back({1249, kCheck, "Scale Decay Time", "Decay"});
  p.controls.push_back({1250, kCheck, "Decay HF Limit", "Decay"});
  return p;
}

Page channel_page() {
  Page p = {IDD_EAX_CHANNEL, "eax_channel_page", 476, 270, {}, {
      {1318, "Min Distance", "Distance Effects"},
      {1321, "Max Distance", "Distance Effects"},
      {1328, "Outside Volume", "Cone Angles and Outside Volume"},
      {1362, "Room Rolloff", "EAX Enhancements"},
      {1365, "Air Absorption", "EAX Enhancements"},
      {1368, "Outside Volume HF", "EAX Enhancements"},
      {1331, "Direct", "Direct"},
      {1334, "Direct HF", "Direct"},
      {1338, "Room", "Room"},
      {1341, "Room HF", "Room"},
      {1346, "Obstruction", "Obstruction"},
      {1349, "Obstruction LF", "Obstruction"},
      {1353, "Occlusion", "Occlusion"},
      {1356, "Occlusion LF", "Occlusion"},
      {1359, "Occlusion Room", "Occlusion"},
  }};
  const char *groups[] = {"DS3D Properties", "Distance Effects", "Cone Angles and Outside Volume", "EAX Enhancements",
                          "Direct", "Room", "Obstruction", "Occlusion"};
  for (const char *g : groups) p.controls.push_back({-1, kGroup, g, nullptr});
  add_pose(p.controls, 1300, "DS3D Properties");
  p.controls.push_back({1313, kRadio, "Disabled", "DS3D Properties"});
  p.controls.push_back({1314, kRadio, "HR", "DS3D Properties"});
  p.controls.push_back({1315, kRadio, "Normal", "DS3D Properties"});
  p.controls.push_back({1316, kToggle, "Volume 100%", "DS3D Properties"});
  p.controls.push_back({1317, kSlider, "", "DS3D Properties"});
  p.controls.push_back({1324, kValue, "", "Cone Angles and Outside Volume"});
  p.controls.push_back({1325, kLeft, "Inside Angle", "Cone Angles and Outside Volume"});
  p.controls.push_back({1326, kValue, "", "Cone Angles and Outside Volume"});
  p.controls.push_back({1327, kLeft, "Outside Angle", "Cone Angles and Outside Volume"});
  p.controls.push_back({1337, kCheck, "Automate Direct HF", "Direct"});
  p.controls.push_back({1344, kCheck, "Automate Room", "Room"});
  p.controls.push_back({1345, kCheck, "Automate Room HF", "Room"});
  p.controls.push_back({1352, kLeft, "Ratio", "Obstruction"});
  return p;
}

// Every control of a page: its own list plus three per slider row.
std::vector<PageCtl> all_controls(const Page &p) {
  std::vector<PageCtl> v = p.controls;
  for (const SliderRow &r : p.rows) {
    v.push_back({r.value, kValue, "", r.group});
    v.push_back({r.value + 1, kSlider, "", r.group});
    v.push_back({r.value + 2, kLeft, r.label, r.group});
  }
  return v;
}

// ---------------------------------------------------------------------------
// Creating the templates.

HMODULE dll() {
  static HMODULE module = [] {
    INITCOMMONCONTROLSEX icc = {sizeof icc, 0x401C};
    InitCommonControlsEx(&icc);
    return LoadLibraryA("out_sonorium.dll");
  }();
  return module;
}

INT_PTR CALLBACK quiet_proc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// A plain top-level window that holds a page, as the settings dialog and the
// panel do.
HWND make_host(int width, int height) {
  static bool registered = [] {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "resources test host";
    return RegisterClassA(&wc) != 0;
  }();
  if (!registered) return nullptr;
  RECT r = {0, 0, width, height};
  AdjustWindowRect(&r, WS_POPUP, FALSE);
  return CreateWindowExA(0, "resources test host", "", WS_POPUP, 0, 0, r.right - r.left, r.bottom - r.top, nullptr,
                         nullptr, GetModuleHandleA(nullptr), nullptr);
}

// A created template; a page comes with its host window.
struct Dialog {
  HWND host = nullptr;
  HWND dialog = nullptr;
  Dialog() = default;
  Dialog(const Dialog &) = delete;
  Dialog &operator=(const Dialog &) = delete;
  ~Dialog() {
    if (dialog) DestroyWindow(dialog);
    if (host) DestroyWindow(host);
  }
};

void create(Dialog &d, int id, bool page) {
  ASSERT_NE(dll(), nullptr) << "out_sonorium.dll not found beside the test";
  if (page) {
    d.host = make_host(800, 500);
    ASSERT_NE(d.host, nullptr);
  }
  d.dialog = CreateDialogParamA(dll(), MAKEINTRESOURCEA(id), d.host, quiet_proc, 0);
  ASSERT_NE(d.dialog, nullptr) << "dialog " << id << " could not be created";
}

std::string text_of(HWND w) {
  char buffer[512] = {};
  GetWindowTextA(w, buffer, sizeof buffer);
  return buffer;
}

std::string class_of(HWND w) {
  char buffer[64] = {};
  GetClassNameA(w, buffer, sizeof buffer);
  return buffer;
}

std::vector<HWND> children(HWND parent) {
  std::vector<HWND> v;
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) v.push_back(c);
  return v;
}

// As the dialog manager places a control: position and size are scaled
// separately.
RECT units_to_pixels(HWND dialog, int x, int y, int w, int h) {
  RECT at = {x, y, w, h};
  MapDialogRect(dialog, &at);
  return RECT{at.left, at.top, at.left + at.right, at.top + at.bottom};
}

RECT rect_in(HWND parent, HWND control) {
  RECT r = {};
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT *>(&r), 2);
  return r;
}

std::string describe(const RECT &r) {
  return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ")-(" + std::to_string(r.right) + ", " +
         std::to_string(r.bottom) + ")";
}

std::string who(int id, const char *text) {
  return id == -1 ? std::string("\"") + text + "\"" : "control " + std::to_string(id);
}

bool inside(const RECT &inner, const RECT &outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

bool overlap(const RECT &a, const RECT &b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// The dialog's font, as the dialog manager made it from the template.
void expect_font(HWND dialog, const char *face, int points) {
  HFONT font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
  ASSERT_NE(font, nullptr) << "the template names no font";
  LOGFONTA lf = {};
  ASSERT_NE(GetObjectA(font, sizeof lf, &lf), 0);
  EXPECT_STREQ(lf.lfFaceName, face);
  HDC screen = GetDC(nullptr);
  int expected = -MulDiv(points, GetDeviceCaps(screen, LOGPIXELSY), 72);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(lf.lfHeight, expected) << face << " " << points << " pt";
}

void expect_style(HWND w, Kind kind, DWORD extra, const std::string &name) {
  KindInfo info = kind_info(kind);
  DWORD style = DWORD(GetWindowLongPtrA(w, GWL_STYLE));
  EXPECT_EQ(class_of(w), info.cls) << name;
  EXPECT_EQ(style & info.mask, info.bits) << name << ": style " << std::hex << style;
  EXPECT_EQ(style & extra, extra) << name << ": style " << std::hex << style << " lacks " << extra;
  if (kind != kSorter) {
    EXPECT_TRUE(style & WS_VISIBLE) << name << " is hidden";
  }
  if (is_trackbar(kind)) {
    EXPECT_TRUE(GetWindowLongPtrA(w, GWL_EXSTYLE) & WS_EX_NOPARENTNOTIFY)
        << name << " lacks the jump-to-click marker";
  }
}

// Caption, style and client size of a dialog or page.
void expect_frame(HWND dialog, const char *caption, int cx, int cy, const char *face, int points) {
  DWORD style = DWORD(GetWindowLongPtrA(dialog, GWL_STYLE));
  EXPECT_FALSE(style & WS_VISIBLE) << "dialogs are created hidden; the opener shows them";
  if (caption) {
    EXPECT_EQ(text_of(dialog), caption);
    EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU), DWORD(WS_POPUP | WS_CAPTION | WS_SYSMENU));
  } else {
    EXPECT_EQ(style & (WS_CHILD | WS_POPUP | WS_CAPTION | WS_THICKFRAME), DWORD(WS_CHILD)) << "a frameless child page";
    EXPECT_TRUE(GetWindowLongPtrA(dialog, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) << "keyboard reaches the page";
  }
  RECT client = {};
  GetClientRect(dialog, &client);
  RECT expected = units_to_pixels(dialog, 0, 0, cx, cy);
  EXPECT_EQ(client.right, expected.right) << "width of " << cx << " units";
  EXPECT_EQ(client.bottom, expected.bottom) << "height of " << cy << " units";
  expect_font(dialog, face, points);
}

void check_template(const Template &t) {
  Dialog d;
  create(d, t.id, t.caption == nullptr);
  if (!d.dialog) return;
  HWND dialog = d.dialog;
  expect_frame(dialog, t.caption, t.cx, t.cy, t.face, t.points);

  std::vector<HWND> kids = children(dialog);
  ASSERT_EQ(kids.size(), t.controls.size()) << "number of controls";
  for (size_t i = 0; i < kids.size(); ++i) {
    const Ctl &c = t.controls[i];
    HWND w = kids[i];
    std::string name = "dialog " + std::to_string(t.id) + ", #" + std::to_string(i) + " " + who(c.id, c.text);
    EXPECT_EQ(GetDlgCtrlID(w), c.id) << name << " out of template order";
    EXPECT_EQ(text_of(w), c.text) << name;
    expect_style(w, c.kind, c.extra, name);

    RECT want = units_to_pixels(dialog, c.x, c.y, c.w, c.h);
    RECT got = rect_in(dialog, w);
    if (c.kind == kSpin) {
      // The up-down takes the edit before it as its buddy and sits at the
      // edit's right end, whatever its template rectangle says.
      ASSERT_GT(i, 0u);
      const Ctl &e = t.controls[i - 1];
      EXPECT_EQ(reinterpret_cast<HWND>(SendMessageA(w, UDM_GETBUDDY, 0, 0)), kids[i - 1]) << name << ": buddy";
      RECT edit = units_to_pixels(dialog, e.x, e.y, e.w, e.h);
      RECT now = rect_in(dialog, kids[i - 1]);
      EXPECT_NEAR(got.right, edit.right, 2) << name << " at " << describe(got);
      EXPECT_EQ(now.left, edit.left) << name << ": buddy moved";
      EXPECT_LE(now.right, got.left + 2) << name << ": buddy not shrunk for the arrows";
      EXPECT_NEAR(got.top, edit.top, 2) << name;
    } else if (c.kind == kCombo) {
      // The window is the closed field; the template height is the list's.
      EXPECT_EQ(got.left, want.left) << name;
      EXPECT_EQ(got.top, want.top) << name;
      EXPECT_EQ(got.right, want.right) << name;
      // The dropped rectangle spans field and list on Windows, only the list
      // under the field (less its frame) on Wine. Either way the template's
      // height is what the list opens to, not the field's.
      RECT dropped = {};
      SendMessageA(w, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
      LONG list = dropped.bottom - dropped.top;
      LONG field = got.bottom - got.top;
      LONG height = list == want.bottom - want.top ? list : list + field;
      EXPECT_NEAR(height, want.bottom - want.top, 4) << name << ": drop-down height";
    } else if (i + 1 < kids.size() && t.controls[i + 1].kind == kSpin) {
      // An up-down's buddy gives up its right end to the arrows (below).
      EXPECT_EQ(got.left, want.left) << name;
      EXPECT_EQ(got.top, want.top) << name;
      EXPECT_EQ(got.bottom, want.bottom) << name;
    } else {
      EXPECT_EQ(describe(got), describe(want)) << name;
    }
  }
  if (d.host) ShowWindow(d.host, SW_SHOWNA);
  ShowWindow(dialog, SW_SHOWNA);
  uitest::pump(50);
  uitest::save_png(dialog, t.name);
}

// ---------------------------------------------------------------------------
// The settings dialog and its pages.

TEST(SettingsTemplates, MainDialog) { check_template(settings_dialog()); }
TEST(SettingsTemplates, DevicePage) { check_template(device_page()); }
TEST(SettingsTemplates, BufferingPage) { check_template(buffering_page()); }
TEST(SettingsTemplates, FadingPage) { check_template(fading_page()); }
TEST(SettingsTemplates, GapControlPage) { check_template(gaps_page()); }

// ---------------------------------------------------------------------------
// The About dialog and page, the equalizer and the preset dialogs.

TEST(AboutTemplates, AboutDialog) { check_template(about_dialog()); }
TEST(AboutTemplates, AboutPage) { check_template(about_page()); }

TEST(AboutTemplates, AboutDialogIsCentredOnTheScreen) {
  Dialog d;
  create(d, IDD_ABOUT, false);
  if (!d.dialog) return;
  RECT work = {}, r = {};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  GetWindowRect(d.dialog, &r);
  EXPECT_NEAR((r.left + r.right) / 2, (work.left + work.right) / 2, 2);
  EXPECT_NEAR((r.top + r.bottom) / 2, (work.top + work.bottom) / 2, 2);
}

TEST(EqualizerTemplates, Window) { check_template(equalizer()); }
TEST(PresetTemplates, SavePreset) { check_template(save_preset()); }
TEST(PresetTemplates, DeletePreset) { check_template(delete_preset()); }

// ---------------------------------------------------------------------------
// The EAX panel and its pages.

TEST(PanelTemplates, Panel) { check_template(panel()); }

// The width a control needs to show its text on one line.
int needed_width(HWND control, HDC dc, Kind kind) {
  std::string text = text_of(control);
  std::string shown;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) ++i;
    shown += text[i];
  }
  SIZE size = {};
  GetTextExtentPoint32A(dc, shown.c_str(), int(shown.size()), &size);
  switch (kind) {
    case kCheck:
    case kRadio: return size.cx + GetSystemMetrics(SM_CXMENUCHECK) + 4;
    case kGroup: return size.cx + 16;
    case kToggle:
    case kPush: return size.cx + 8;
    default: return size.cx;
  }
}

// The panel with its seven tabs, and a page placed on the tab control's
// display area as the panel places it.
struct PanelWithPage {
  Dialog panel;
  HWND tab = nullptr;
  HWND page = nullptr;
  RECT display = {};
  ~PanelWithPage() {
    if (page) DestroyWindow(page);
  }
};

void open_page(PanelWithPage &p, int page_id) {
  create(p.panel, IDD_EAX_PANEL, false);
  if (!p.panel.dialog) return;
  p.tab = GetDlgItem(p.panel.dialog, IDC_PANEL_TAB);
  ASSERT_NE(p.tab, nullptr);
  const char *labels[] = {"Settings", "Listener", "Left channel 1", "Right channel 1", "Left channel 2",
                          "Right channel 2", "<< About >>"};
  for (int i = 0; i < 7; ++i) {
    TCITEMA item = {};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char *>(labels[i]);
    SendMessageA(p.tab, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
  }
  GetClientRect(p.tab, &p.display);
  SendMessageA(p.tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&p.display));
  p.page = CreateDialogParamA(dll(), MAKEINTRESOURCEA(page_id), p.tab, quiet_proc, 0);
  ASSERT_NE(p.page, nullptr) << "page " << page_id;
  SetWindowPos(p.page, nullptr, p.display.left, p.display.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

// The controls of a page, its frame, and how a user sees them inside the panel.
void check_page(const Page &table) {
  PanelWithPage p;
  open_page(p, table.id);
  if (!p.page) return;
  HWND page = p.page;
  expect_frame(page, nullptr, table.cx, table.cy, "Tahoma", 8);

  std::vector<PageCtl> all = all_controls(table);
  std::vector<HWND> kids = children(page);
  EXPECT_EQ(kids.size(), all.size()) << "number of controls";

  // Find each control: by id, or a group box by its caption.
  std::vector<HWND> found(all.size(), nullptr);
  for (size_t i = 0; i < all.size(); ++i) {
    for (HWND w : kids) {
      if (GetDlgCtrlID(w) != all[i].id) continue;
      if (all[i].id == -1 && text_of(w) != all[i].text) continue;
      found[i] = w;
    }
    ASSERT_NE(found[i], nullptr) << who(all[i].id, all[i].text) << " missing";
  }

  HDC dc = GetDC(page);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(page, WM_GETFONT, 0, 0)));
  for (size_t i = 0; i < all.size(); ++i) {
    const PageCtl &c = all[i];
    HWND w = found[i];
    std::string name = "page " + std::to_string(table.id) + " " + who(c.id, c.text);
    EXPECT_EQ(text_of(w), c.text) << name;
    expect_style(w, c.kind, 0, name);
    if (c.kind == kSorter) continue;
    RECT r = rect_in(page, w);

    // Visible: inside the panel's display area.
    RECT on_tab = rect_in(p.tab, w);
    EXPECT_TRUE(inside(on_tab, p.display))
        << name << " at " << describe(on_tab) << " is cut off by the panel " << describe(p.display);

    // Inside its group box, and in no other.
    for (size_t g = 0; g < all.size(); ++g) {
      if (all[g].kind != kGroup || g == i) continue;
      RECT box = rect_in(page, found[g]);
      bool mine = c.group && std::strcmp(c.group, all[g].text) == 0;
      if (mine) {
        EXPECT_TRUE(inside(r, box)) << name << " " << describe(r) << " outside \"" << all[g].text << "\"";
      } else {
        EXPECT_FALSE(overlap(r, box)) << name << " overlaps the group box \"" << all[g].text << "\"";
      }
    }
    // No two controls on top of each other.
    for (size_t j = i + 1; j < all.size(); ++j) {
      if (c.kind == kGroup || all[j].kind == kGroup || all[j].kind == kSorter) continue;
      EXPECT_FALSE(overlap(r, rect_in(page, found[j]))) << name << " overlaps " << who(all[j].id, all[j].text);
    }
    // The text fits on one line.
    if (c.text[0] && c.kind != kGroup) {
      EXPECT_LE(needed_width(w, dc, c.kind), r.right - r.left) << name << " clips \"" << c.text << "\"";
    } else if (c.kind == kGroup) {
      EXPECT_LE(needed_width(w, dc, c.kind), r.right - r.left) << name << " clips its caption";
    }
  }
  SelectObject(dc, old);
  ReleaseDC(page, dc);

  // Slider rows: label, trackbar and value box side by side on one line; in
  // each column of group boxes the trackbars and value boxes line up.
  struct Column {
    LONG group_left, track_left, track_right, value_left, value_right;
  };
  std::vector<Column> columns;
  for (const SliderRow &row : table.rows) {
    std::string name = "row \"" + std::string(row.label) + "\"";
    RECT value = rect_in(page, GetDlgItem(page, row.value));
    RECT track = rect_in(page, GetDlgItem(page, row.value + 1));
    RECT label = rect_in(page, GetDlgItem(page, row.value + 2));
    EXPECT_EQ(value.top, track.top) << name;
    EXPECT_EQ(value.bottom, track.bottom) << name;
    EXPECT_LT(label.right, track.left) << name;
    EXPECT_LT(track.right, value.left) << name;
    LONG label_middle = (label.top + label.bottom) / 2;
    EXPECT_TRUE(label_middle >= track.top && label_middle <= track.bottom) << name << ": label beside the trackbar";
    HWND group = nullptr;
    for (size_t g = 0; g < all.size(); ++g) {
      if (all[g].kind == kGroup && std::strcmp(all[g].text, row.group) == 0) group = found[g];
    }
    ASSERT_NE(group, nullptr);
    LONG group_left = rect_in(page, group).left;
    Column here = {group_left, track.left, track.right, value.left, value.right};
    bool known = false;
    for (const Column &col : columns) {
      if (col.group_left != group_left) continue;
      known = true;
      EXPECT_EQ(col.track_left, here.track_left) << name << ": trackbar out of its column";
      EXPECT_EQ(col.track_right, here.track_right) << name << ": trackbar out of its column";
      EXPECT_EQ(col.value_left, here.value_left) << name << ": value box out of its column";
      EXPECT_EQ(col.value_right, here.value_right) << name << ": value box out of its column";
    }
    if (!known) columns.push_back(here);
  }

  ShowWindow(page, SW_SHOWNA);
  ShowWindow(p.panel.dialog, SW_SHOWNA);
  uitest::pump(50);
  uitest::save_png(p.panel.dialog, table.name);
}

TEST(PanelTemplates, SettingsPage) { check_page(settings_page()); }
TEST(PanelTemplates, ListenerPage) { check_page(listener_page()); }
TEST(PanelTemplates, ChannelPage) { check_page(channel_page()); }

TEST(PanelTemplates, AboutPageFitsThePanel) {
  PanelWithPage p;
  open_page(p, IDD_EAX_ABOUT);
  if (!p.page) return;
  for (HWND w : children(p.page)) {
    RECT r = rect_in(p.tab, w);
    EXPECT_TRUE(inside(r, p.display)) << "control " << GetDlgCtrlID(w) << " at " << describe(r);
  }
}

// The labels with a mnemonic lead the keyboard to their trackbar, and the
// three mode buttons form one group that the arrow keys walk through.
TEST(PanelTemplates, KeyboardOrder) {
  Dialog listener;
  create(listener, IDD_EAX_LISTENER, true);
  if (!listener.dialog) return;
  struct Jump {
    int label, target;
  } jumps[] = {{1204, 1203}, {1207, 1206}};
  for (const Jump &j : jumps) {
    HWND next = GetNextDlgTabItem(listener.dialog, GetDlgItem(listener.dialog, j.label), FALSE);
    EXPECT_EQ(GetDlgCtrlID(next), j.target) << "label " << j.label;
  }

  Dialog channel;
  create(channel, IDD_EAX_CHANNEL, true);
  if (!channel.dialog) return;
  HWND disabled = GetDlgItem(channel.dialog, IDC_VOICE_MODE_DISABLED);
  std::vector<int> group;
  HWND w = disabled;
  do {
    group.push_back(GetDlgCtrlID(w));
    w = GetNextDlgGroupItem(channel.dialog, w, FALSE);
  } while (w && w != disabled && group.size() < 10);
  EXPECT_EQ(group, (std::vector<int>{1313, 1314, 1315}));
}

}  // namespace
