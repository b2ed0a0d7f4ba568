// The equalizer window and the shared Presets menu, linked into this program
// with the DLL's own dialog templates and opened through the tray command:
// the real controls are driven with the messages a user's actions produce.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/device.h"
#include "device/presets.h"
#include "dsp/eq_preset.h"
#include "dsp/eq_window.h"
#include "resources/resource_ids.h"
#include "skin/skin.h"
#include "support/file.h"
#include "support/png.h"
#include "tests/static_ui_test_fixture.h"
#include "tests/ui_test_fixture.h"
#include "ui/preset_menu.h"
#include "ui/tray.h"

namespace {

HINSTANCE self() { return GetModuleHandleA(nullptr); }
HWND &owner_window = uitest::static_ui_owner;

::testing::Environment *const environment = ::testing::AddGlobalTestEnvironment(new uitest::StaticUiEnvironment);

// ---------------------------------------------------------------------------
// Menus and the preset dialogs run modal loops; thread timers, which those
// loops serve, act in them one step per tick.

std::vector<std::function<bool()>> *steps_ = nullptr;
size_t step_at = 0;

VOID CALLBACK step_timer(HWND, UINT, UINT_PTR, DWORD) {
  if (!steps_ || step_at >= steps_->size()) return;
  if ((*steps_)[step_at]()) ++step_at;
}

BOOL CALLBACK find_popup(HWND hwnd, LPARAM context) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  char cls[16] = {};
  GetClassNameA(hwnd, cls, sizeof cls);
  if (pid == GetCurrentProcessId() && IsWindowVisible(hwnd) && lstrcmpA(cls, "#32768") == 0) {
    std::vector<HWND> *found = reinterpret_cast<std::vector<HWND> *>(context);
    found->push_back(hwnd);
  }
  return TRUE;
}
std::vector<HWND> popups() {
  std::vector<HWND> found;
  EnumWindows(find_popup, reinterpret_cast<LPARAM>(&found));
  return found;
}
HMENU menu_of(HWND popup) { return reinterpret_cast<HMENU>(SendMessageA(popup, 0x01E1 /* MN_GETHMENU */, 0, 0)); }

struct ItemSeen {
  UINT id = 0;
  std::string text;
  bool grayed = false;
  HMENU sub = nullptr;
};
std::vector<ItemSeen> read_menu(HMENU menu) {
  std::vector<ItemSeen> items;
  int n = GetMenuItemCount(menu);
  for (int i = 0; i < n; ++i) {
    MENUITEMINFOA info = {};
    char text[300] = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_STATE | MIIM_STRING | MIIM_SUBMENU;
    info.dwTypeData = text;
    info.cch = sizeof text;
    ItemSeen item;
    if (GetMenuItemInfoA(menu, UINT(i), TRUE, &info)) {
      item.id = info.wID;
      item.text = text;
      item.grayed = (info.fState & MFS_GRAYED) != 0;
      item.sub = info.hSubMenu;
    }
    items.push_back(item);
  }
  return items;
}

// Keys go to the menu loop as posted keyboard messages.
void post_key(UINT vk) {
  std::vector<HWND> p = popups();
  HWND target = p.empty() ? GetFocus() : p.back();
  PostMessageA(target, WM_KEYDOWN, vk, 1);
  PostMessageA(target, WM_KEYUP, vk, 0xC0000001);
}
void post_char(char c) {
  std::vector<HWND> p = popups();
  HWND target = p.empty() ? GetFocus() : p.back();
  PostMessageA(target, WM_CHAR, WPARAM(c), 1);
}

// Ends any menu or preset dialog left open once `event` has not been set
// for 8 s, so a failing test does not hang.
DWORD WINAPI watchdog_main(LPVOID event) {
  if (WaitForSingleObject(event, 8000) == WAIT_TIMEOUT) {
    for (HWND p : popups()) PostMessageA(p, WM_KEYDOWN, VK_ESCAPE, 0);
    for (const char *title : {"Save Preset", "Delete Preset"}) {
      HWND d = FindWindowA(nullptr, title);
      if (d) PostMessageA(d, WM_CLOSE, 0, 0);
    }
    EndMenu();
  }
  return 0;
}

// Runs `action` (which enters a modal loop) while the steps act in it.
// False when the steps did not all run.
bool with_steps(std::vector<std::function<bool()>> steps, const std::function<void()> &action) {
  steps_ = &steps;
  step_at = 0;
  UINT_PTR timer = SetTimer(nullptr, 0, 40, step_timer);
  bool finished = false;
  HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE watchdog = CreateThread(nullptr, 0, watchdog_main, done, 0, nullptr);
  action();
  finished = step_at >= steps.size();
  SetEvent(done);
  WaitForSingleObject(watchdog, INFINITE);
  CloseHandle(watchdog);
  CloseHandle(done);
  KillTimer(nullptr, timer);
  steps_ = nullptr;
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  return finished;
}

// ---------------------------------------------------------------------------

std::string fresh_folder() {
  static int serial = 0;
  std::filesystem::path base = std::filesystem::temp_directory_path();
  for (;;) {
    std::filesystem::path p =
        base / ("sonorium-eqwin-" + std::to_string(GetTickCount()) + "-" + std::to_string(++serial));
    std::error_code ec;
    if (std::filesystem::create_directory(p, ec)) return p.string();
  }
}

class EqWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int d = 0; d < TRAY_DIALOG_COUNT; ++d) tray_dialogs[d] = {0, nullptr, TRAY_NO_POSITION, 0, nullptr};
    eq_window_register();
    notify_ = tray_setup(self(), owner_window);
    device_set.stateFlags.fetch_or(DEVICE_READY);
    plugins_ = fresh_folder();
    ASSERT_TRUE(settings_folder_set(plugins_.c_str()));
    folder_ = settings_folder;
    ASSERT_TRUE(dir_create(folder_.c_str()));
    saved_settings_ = eq_settings;
    std::copy(eq_band_highlight, eq_band_highlight + EQ_BANDS, saved_highlight_);
    eq_settings.preamp = 100;
    for (int32_t &b : eq_settings.bands) b = 50;
    std::fill(eq_band_highlight, eq_band_highlight + EQ_BANDS, 1);
    eq_preamp_mode = EQ_MODE_PREAMP;
    eq_enabled.store(0);
  }
  void TearDown() override {
    HWND w = tray_dialogs[TRAY_DIALOG_EQUALIZER].window;
    if (w) DestroyWindow(w);
    tray_remove();
    device_set.stateFlags.fetch_and(~uint32_t(DEVICE_READY));
    eq_settings = saved_settings_;
    std::copy(saved_highlight_, saved_highlight_ + EQ_BANDS, eq_band_highlight);
    eq_preamp_mode = EQ_MODE_PREAMP;
    settings_folder[0] = 0;
    std::error_code ec;
    std::filesystem::remove_all(plugins_, ec);
  }

  HWND open() {
    SendMessageA(notify_, WM_COMMAND, TRAY_COMMAND_EQUALIZER, 0);
    window_ = tray_dialogs[TRAY_DIALOG_EQUALIZER].window;
    uitest::pump(50);
    return window_;
  }
  HWND item(int id) { return GetDlgItem(window_, id); }
  HWND band(int k) { return item(IDC_EQ_BAND_FIRST + k); }
  HWND label(int k) { return item(IDC_EQ_BAND_LABEL_FIRST + k); }
  void click_static(HWND control) {
    RECT r;
    GetClientRect(control, &r);
    uitest::left_click(control, r.right / 2, r.bottom / 2);
    uitest::pump(10);
  }
  static int pos(HWND slider) { return int(SendMessageA(slider, TBM_GETPOS, 0, 0)); }
  static std::pair<int, int> selection(HWND slider) {
    return {int(SendMessageA(slider, TBM_GETSELSTART, 0, 0)), int(SendMessageA(slider, TBM_GETSELEND, 0, 0))};
  }
  static std::vector<float> kernel() {
    const EqKernel *k = eq_kernel_acquire();
    std::vector<float> taps(k->taps, k->taps + EQ_TAPS);
    eq_kernel_release();
    return taps;
  }
  void touch(const std::string &file, const EqSettings &s) {
    ASSERT_EQ(eq_preset_write((folder_ + file).c_str(), &s), 0);
  }
  bool exists(const std::string &file) { return std::filesystem::exists(folder_ + file); }

  // Opens the Presets menu and returns what it showed: the main items and
  // those of both sub-menus; `then` picks something (keys) or dismisses.
  struct MenuSeen {
    std::vector<ItemSeen> main, load, del;
  };

  HWND notify_ = nullptr;
  HWND window_ = nullptr;
  std::string plugins_, folder_;
  EqSettings saved_settings_{};
  uint8_t saved_highlight_[EQ_BANDS]{};
};

TEST_F(EqWindowTest, OpensAsLaidOutWithLabelsRangesAndTheModelsValues) {
  eq_settings.bands[4] = 80;
  eq_settings.preamp = 75;
  eq_enabled.store(1);
  ASSERT_NE(open(), nullptr);
  EXPECT_EQ(uitest::text_of(window_), "SSE2/3 32-Band FIR Equalizer");
  EXPECT_EQ(GetWindow(window_, GW_OWNER), owner_window);
  EXPECT_EQ(uitest::check_of(item(IDC_EQ_ENABLE)), BST_CHECKED);
  EXPECT_EQ(uitest::text_of(item(IDC_EQ_QUALITY)), "High Quality (1024 taps)");
  EXPECT_EQ(uitest::text_of(item(IDC_EQ_PREAMP_LABEL)), "preamp");
  EXPECT_FALSE(uitest::is_visible(item(IDC_EQ_PRESET_SORT)));
  EXPECT_EQ(uitest::text_of(label(0)), "47");
  EXPECT_EQ(uitest::text_of(label(8)), "1.0k");
  EXPECT_EQ(uitest::text_of(label(31)), "24k");
  for (int k = -1; k < EQ_BANDS; ++k) {
    HWND s = k < 0 ? item(IDC_EQ_PREAMP) : band(k);
    EXPECT_EQ(SendMessageA(s, TBM_GETRANGEMIN, 0, 0), 0) << k;
    EXPECT_EQ(SendMessageA(s, TBM_GETRANGEMAX, 0, 0), 100) << k;
    EXPECT_TRUE(uitest::style_of(s) & TBS_VERT) << k;
    if (k >= 0) {
      RECT du = uitest::rect_in_dialog_units(window_, s);
      EXPECT_EQ(du.left, 36 + 16 * k) << k;
      EXPECT_EQ(du.top, 8) << k;
    }
  }
  // Upside down: value 80 sits at 20, value 50 in the middle.
  EXPECT_EQ(pos(band(4)), 20);
  EXPECT_EQ(pos(band(5)), 50);
  EXPECT_EQ(selection(band(4)), std::make_pair(20, 100));
  EXPECT_EQ(pos(item(IDC_EQ_PREAMP)), 25);
  EXPECT_EQ(selection(item(IDC_EQ_PREAMP)), std::make_pair(0, 33));
  // Opened once; the command brings it forward instead of a second window.
  SendMessageA(notify_, WM_COMMAND, TRAY_COMMAND_EQUALIZER, 0);
  EXPECT_EQ(tray_dialogs[TRAY_DIALOG_EQUALIZER].window, window_);
}

TEST_F(EqWindowTest, SliderMovesChangeTheSettingsAndRedesignTheKernelAtOnce) {
  ASSERT_NE(open(), nullptr);
  std::vector<float> flat = kernel();
  uitest::set_trackbar(band(10), 20);
  EXPECT_EQ(eq_settings.bands[10], 80);
  EXPECT_EQ(selection(band(10)), std::make_pair(20, 100));
  std::vector<float> raised = kernel();
  EXPECT_NE(flat, raised);
  uitest::set_trackbar(band(10), 50);
  EXPECT_EQ(eq_settings.bands[10], 50);
  EXPECT_EQ(kernel(), flat);

  uitest::set_trackbar(item(IDC_EQ_PREAMP), 20);
  EXPECT_EQ(eq_settings.preamp, 80);
  EXPECT_EQ(selection(item(IDC_EQ_PREAMP)), std::make_pair(0, 38));
  EXPECT_NE(kernel(), flat);
  uitest::set_trackbar(item(IDC_EQ_PREAMP), 60);  // below 1x: no bar
  EXPECT_EQ(eq_settings.preamp, 40);
  EXPECT_EQ(selection(item(IDC_EQ_PREAMP)).second, 0);

  // The check box switches the filter; the caption redesigns.
  uitest::click(item(IDC_EQ_ENABLE));
  EXPECT_EQ(eq_enabled.load(), 1);
  uitest::click(item(IDC_EQ_ENABLE));
  EXPECT_EQ(eq_enabled.load(), 0);
  eq_settings.bands[0] = 100;  // changed behind the window's back
  std::vector<float> before = kernel();
  click_static(item(IDC_EQ_QUALITY));
  EXPECT_NE(kernel(), before);
  EXPECT_EQ(uitest::text_of(item(IDC_EQ_QUALITY)), "High Quality (1024 taps)");
}

TEST_F(EqWindowTest, PreampLabelTogglesScaleModeWhichMovesAllBandsTogether) {
  for (int k = 0; k < EQ_BANDS; ++k) eq_settings.bands[k] = 20 + k * 2;  // 20 .. 82
  ASSERT_NE(open(), nullptr);
  HWND preamp = item(IDC_EQ_PREAMP);
  LONG_PTR preamp_style = uitest::style_of(preamp) & 0x38;
  EXPECT_EQ(preamp_style, 0x30);
  click_static(item(IDC_EQ_PREAMP_LABEL));
  ASSERT_EQ(eq_preamp_mode, EQ_MODE_SCALE);
  EXPECT_EQ(uitest::text_of(item(IDC_EQ_PREAMP_LABEL)), "scale");
  EXPECT_EQ(uitest::style_of(preamp) & 0x38, 0x18);
  EXPECT_EQ(pos(preamp), 50);
  EXPECT_EQ(selection(preamp).second, 0);
  EXPECT_EQ(eq_settings.preamp, 100) << "the scale slider leaves the preamp alone";

  uitest::set_trackbar(preamp, 0);
  for (int k = 0; k < EQ_BANDS; ++k) {
    int expected = std::min(20 + k * 2 + 63, 100);
    EXPECT_EQ(eq_settings.bands[k], expected) << k;
    EXPECT_EQ(pos(band(k)), 100 - expected) << k;
  }
  uitest::set_trackbar(preamp, 50);
  for (int k = 0; k < EQ_BANDS; ++k) EXPECT_EQ(eq_settings.bands[k], std::min(20 + k * 2 + 63, 100) - 63) << k;

  uitest::set_trackbar(preamp, 30);
  // Back to "preamp": the slider shows the preamp again and the mode's bits.
  click_static(item(IDC_EQ_PREAMP_LABEL));
  EXPECT_EQ(eq_preamp_mode, EQ_MODE_PREAMP);
  EXPECT_EQ(uitest::text_of(item(IDC_EQ_PREAMP_LABEL)), "preamp");
  EXPECT_EQ(uitest::style_of(preamp) & 0x38, 0x30);
  EXPECT_EQ(pos(preamp), 0);
  EXPECT_EQ(selection(preamp), std::make_pair(0, 50));
}

TEST_F(EqWindowTest, BandLabelClicksToggleTheHighlight) {
  eq_band_highlight[7] = 0;
  ASSERT_NE(open(), nullptr);
  EXPECT_FALSE(uitest::style_of(band(7)) & TBS_ENABLESELRANGE);
  EXPECT_TRUE(uitest::exstyle_of(label(7)) & 0x10);
  EXPECT_TRUE(uitest::style_of(band(6)) & TBS_ENABLESELRANGE);
  EXPECT_FALSE(uitest::exstyle_of(label(6)) & 0x10);

  click_static(label(6));
  EXPECT_EQ(eq_band_highlight[6], 0);
  EXPECT_FALSE(uitest::style_of(band(6)) & TBS_ENABLESELRANGE);
  EXPECT_TRUE(uitest::exstyle_of(label(6)) & 0x10);
  click_static(label(7));
  EXPECT_EQ(eq_band_highlight[7], 1);
  EXPECT_TRUE(uitest::style_of(band(7)) & TBS_ENABLESELRANGE);
  EXPECT_FALSE(uitest::exstyle_of(label(7)) & 0x10);
  EXPECT_EQ(selection(band(7)), std::make_pair(50, 100));
  // A quick double click toggles twice.
  RECT r;
  GetClientRect(label(7), &r);
  uitest::left_click(label(7), 4, 4);
  SendMessageA(label(7), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(4, 4));
  SendMessageA(label(7), WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
  EXPECT_EQ(eq_band_highlight[7], 1);
}

TEST_F(EqWindowTest, ClosingRemembersThePositionAndReopensThere) {
  ASSERT_NE(open(), nullptr);
  SetWindowPos(window_, nullptr, 123, 77, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  SendMessageA(window_, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(window_));
  EXPECT_EQ(tray_dialogs[TRAY_DIALOG_EQUALIZER].open, 0);
  EXPECT_EQ(tray_dialogs[TRAY_DIALOG_EQUALIZER].savedX, 123);
  EXPECT_EQ(tray_dialogs[TRAY_DIALOG_EQUALIZER].savedY, 77);
  ASSERT_NE(open(), nullptr);
  RECT r;
  GetWindowRect(window_, &r);
  EXPECT_EQ(r.left, 123);
  EXPECT_EQ(r.top, 77);
}

// The menu's steps: wait for the popup, read it, then type `keys`.
std::vector<std::function<bool()>> menu_steps(std::vector<ItemSeen> *main, std::vector<ItemSeen> *load,
                                              std::vector<ItemSeen> *del, std::vector<std::function<void()>> keys) {
  std::vector<std::function<bool()>> steps;
  steps.push_back([=] {
    std::vector<HWND> p = popups();
    if (p.empty()) return false;
    HMENU m = menu_of(p.front());
    if (!m) return false;
    *main = read_menu(m);
    if (main->size() == 3) {
      if (main->at(0).sub) *load = read_menu(main->at(0).sub);
      if (main->at(2).sub) *del = read_menu(main->at(2).sub);
    }
    return true;
  });
  for (auto &k : keys)
    steps.push_back([k] {
      k();
      return true;
    });
  return steps;
}

TEST_F(EqWindowTest, PresetsMenuOfAnEmptyFolderOffersGreyedEmptyItems) {
  ASSERT_NE(open(), nullptr);
  std::vector<ItemSeen> main, load, del;
  bool ran = with_steps(menu_steps(&main, &load, &del, {[] { post_key(VK_ESCAPE); }}),
                        [&] { uitest::click(item(IDC_EQ_PRESETS)); });
  EXPECT_TRUE(ran);
  ASSERT_EQ(main.size(), 3u);
  EXPECT_EQ(main[0].text, "&Load");
  EXPECT_EQ(main[1].text, "&Save");
  EXPECT_EQ(main[1].id, 0x7FFFu);
  EXPECT_EQ(main[2].text, "&Delete");
  for (const auto *sub : {&load, &del}) {
    ASSERT_EQ(sub->size(), 1u);
    EXPECT_EQ(sub->at(0).text, "(empty)");
    EXPECT_TRUE(sub->at(0).grayed);
  }
}

TEST_F(EqWindowTest, SaveLoadAndDeleteThroughTheMenuAndTheirDialogs) {
  EqSettings jazz{};
  jazz.preamp = 90;
  for (int k = 0; k < EQ_BANDS; ++k) jazz.bands[k] = 100 - k;
  touch("jazz.eq", jazz);
  touch("jazz_1.eq", jazz);
  eq_settings.bands[3] = 77;
  ASSERT_NE(open(), nullptr);

  // Save under "jazz": jazz_2.eq, the others untouched.
  std::vector<ItemSeen> main, load, del;
  HWND save_dialog = nullptr;
  RECT button;
  GetWindowRect(item(IDC_EQ_PRESETS), &button);
  RECT dialog_rect = {};
  auto steps = menu_steps(&main, &load, &del, {[] { post_char('s'); }});
  steps.push_back([&] {
    save_dialog = preset_dialog_window();
    if (!save_dialog) return false;
    GetWindowRect(save_dialog, &dialog_rect);
    return true;
  });
  steps.push_back([&] {
    // "Save" with an empty name does nothing.
    SendMessageA(save_dialog, WM_COMMAND, IDC_PRESET_SAVE, 0);
    return true;
  });
  steps.push_back([&] {
    if (!IsWindow(save_dialog)) return true;
    uitest::set_edit(GetDlgItem(save_dialog, IDC_PRESET_NAME), "jazz");
    uitest::save_png(save_dialog, "eq_save_preset");
    // Enter in the name field presses the default button "Save".
    SetFocus(GetDlgItem(save_dialog, IDC_PRESET_NAME));
    PostMessageA(GetDlgItem(save_dialog, IDC_PRESET_NAME), WM_KEYDOWN, VK_RETURN, 1);
    return true;
  });
  EXPECT_TRUE(with_steps(steps, [&] { uitest::click(item(IDC_EQ_PRESETS)); }));
  EXPECT_FALSE(IsWindow(save_dialog));
  EXPECT_EQ(dialog_rect.left, button.left);
  EXPECT_EQ(dialog_rect.top, button.top);
  ASSERT_TRUE(exists("jazz_2.eq"));
  EqSettings written{};
  ASSERT_EQ(eq_preset_read((folder_ + "jazz_2.eq").c_str(), &written), 0);
  EXPECT_EQ(written.bands[3], 77);
  EqSettings first{};
  eq_preset_read((folder_ + "jazz.eq").c_str(), &first);
  EXPECT_EQ(first.bands[3], jazz.bands[3]);

  // Load "jazz" (first in the Load sub-menu) in scale mode: the sliders
  // follow the file and the scale slider is back in the centre.
  click_static(item(IDC_EQ_PREAMP_LABEL));
  uitest::set_trackbar(item(IDC_EQ_PREAMP), 20);
  main.clear();
  EXPECT_TRUE(with_steps(menu_steps(&main, &load, &del,
                                    {[] { post_char('l'); }, [] { post_key(VK_RETURN); }}),
                         [&] { uitest::click(item(IDC_EQ_PRESETS)); }));
  ASSERT_EQ(load.size(), 3u);
  EXPECT_EQ(load[0].text, "jazz");
  EXPECT_EQ(load[2].text, "jazz_2");
  EXPECT_EQ(load[1].id, 0x2001u);
  EXPECT_EQ(del[2].id, 0x4002u);
  for (int k = 0; k < EQ_BANDS; ++k) {
    EXPECT_EQ(eq_settings.bands[k], jazz.bands[k]) << k;
    EXPECT_EQ(pos(band(k)), 100 - jazz.bands[k]) << k;
  }
  EXPECT_EQ(eq_settings.preamp, 90);
  EXPECT_EQ(pos(item(IDC_EQ_PREAMP)), 50);
  // The hidden sorted list box holds the names it sorted.
  EXPECT_EQ(SendMessageA(item(IDC_EQ_PRESET_SORT), LB_GETCOUNT, 0, 0), 3);

  // Delete "jazz_1": the question names it; "No" keeps, "Yes" deletes.
  HWND delete_dialog = nullptr;
  std::string question;
  for (bool yes : {false, true}) {
    steps = menu_steps(&main, &load, &del, {[] { post_char('d'); }, [] { post_key(VK_DOWN); },
                                            [] { post_key(VK_RETURN); }});
    steps.push_back([&] {
      delete_dialog = preset_dialog_window();
      if (!delete_dialog) return false;
      question = uitest::text_of(GetDlgItem(delete_dialog, IDC_PRESET_QUESTION));
      if (yes) uitest::save_png(delete_dialog, "eq_delete_preset");
      uitest::click(GetDlgItem(delete_dialog, yes ? IDC_PRESET_YES : IDC_PRESET_NO));
      return true;
    });
    EXPECT_TRUE(with_steps(steps, [&] { uitest::click(item(IDC_EQ_PRESETS)); }));
    EXPECT_EQ(question, "Are you sure you want to delete preset \"jazz_1\" ?");
    EXPECT_FALSE(IsWindow(delete_dialog));
    EXPECT_EQ(exists("jazz_1.eq"), !yes);
    EXPECT_TRUE(exists("jazz.eq"));
    EXPECT_TRUE(exists("jazz_2.eq"));
  }
}

TEST_F(EqWindowTest, PresetDialogsAnswerEscapeAndTheCloseBoxAndQuitPassesOn) {
  ASSERT_NE(open(), nullptr);
  PresetHandler handler = {".eq", [](const char *, void *) {},
                           [](const char *, void *) { return true; }, nullptr};
  HWND d = nullptr;
  // Esc cancels the save dialog; nothing is written.
  EXPECT_TRUE(with_steps({[&] {
                            d = preset_dialog_window();
                            if (!d) return false;
                            uitest::set_edit(GetDlgItem(d, IDC_PRESET_NAME), "x");
                            PostMessageA(GetDlgItem(d, IDC_PRESET_NAME), WM_KEYDOWN, VK_ESCAPE, 1);
                            return true;
                          }},
                         [&] { EXPECT_FALSE(preset_save_dialog_run(window_, 10, 10, &handler, nullptr)); }));
  EXPECT_FALSE(IsWindow(d));
  // The delete dialog's close box answers No.
  touch("keep.eq", eq_settings);
  EXPECT_TRUE(with_steps({[&] {
                            d = preset_dialog_window();
                            if (!d) return false;
                            PostMessageA(d, WM_CLOSE, 0, 0);
                            return true;
                          }},
                         [&] { EXPECT_FALSE(preset_delete_dialog_run(window_, 10, 10, "keep", &handler)); }));
  EXPECT_TRUE(exists("keep.eq"));
  // A quit request reaching the local loop closes the dialog and is passed
  // on to the loop that runs the thread.
  bool quit_passed_on = false;
  EXPECT_TRUE(with_steps({[&] {
                            d = preset_dialog_window();
                            if (!d) return false;
                            PostQuitMessage(3);
                            return true;
                          }},
                         [&] {
                           preset_delete_dialog_run(window_, 10, 10, "keep", &handler);
                           MSG msg;
                           quit_passed_on = PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) &&
                                            msg.wParam == 3;
                         }));
  EXPECT_FALSE(IsWindow(d));
  EXPECT_TRUE(quit_passed_on);
  EXPECT_TRUE(exists("keep.eq"));
}

// The screen around the window with the menu open below its button.
void save_menu_shot_of(HWND window) {
  int w = 0, h = 0;
  std::vector<uint8_t> screen = uitest::capture_rgb(GetDesktopWindow(), &w, &h);
  RECT r;
  GetWindowRect(window, &r);
  r.bottom += 80;
  r.left = std::max<LONG>(r.left, 0);
  r.top = std::max<LONG>(r.top, 0);
  r.right = std::min<LONG>(r.right, w);
  r.bottom = std::min<LONG>(r.bottom, h);
  if (screen.empty() || r.right <= r.left || r.bottom <= r.top) return;
  int cw = r.right - r.left, ch = r.bottom - r.top;
  std::vector<uint8_t> crop(size_t(cw) * ch * 3);
  for (int y = 0; y < ch; ++y)
    std::memcpy(&crop[size_t(y) * cw * 3], &screen[(size_t(r.top + y) * w + r.left) * 3], size_t(cw) * 3);
  std::string path = uitest::screenshot_dir() + "/eq_presets_menu.png";
  png_write_file(path.c_str(), crop.data(), cw, ch, cw * 3, 3);
}

TEST_F(EqWindowTest, Screenshots) {
  auto save_menu_shot = [this] { save_menu_shot_of(window_); };
  for (int k : {3, 9, 20}) eq_band_highlight[k] = 0;
  for (int k = 0; k < EQ_BANDS; ++k) eq_settings.bands[k] = 50 + int(30 * std::sin(k / 4.0));
  eq_settings.preamp = 80;
  eq_enabled.store(1);
  ASSERT_NE(open(), nullptr);
  uitest::pump(100);
  EXPECT_NE(uitest::save_png(window_, "eq_window_preamp"), "");
  click_static(item(IDC_EQ_PREAMP_LABEL));
  uitest::set_trackbar(item(IDC_EQ_PREAMP), 40);
  uitest::pump(100);
  EXPECT_NE(uitest::save_png(window_, "eq_window_scale"), "");
  EqSettings any{};
  touch("rock.eq", any);
  touch("Jazz.eq", any);
  touch("classic.eq", any);
  std::vector<ItemSeen> main, load, del;
  EXPECT_TRUE(with_steps(menu_steps(&main, &load, &del,
                                    {[] { post_char('l'); },
                                     [&] { save_menu_shot(); },
                                     [] { EndMenu(); }}),
                         [&] { uitest::click(item(IDC_EQ_PRESETS)); }));
}

}  // namespace
