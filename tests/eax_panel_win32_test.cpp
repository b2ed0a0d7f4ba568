// The EAX panel linked into a program of its own with the DLL's dialog
// templates, opened by the tray's own command as the user opens it. On the
// software card (eax_panel_tests) every value the panel shows or sets is
// checked against the device through the property accessors; on Wine's own
// DirectSound, which has no EAX 2.0 (eax_panel_wine_dsound), the EAX
// controls must stay disabled while the tabs still work.
#include <windows.h>

#include <commctrl.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/device.h"
#include "device/eax_panel.h"
#include "device/presets.h"
#include "device/properties.h"
#include "engine/module.h"
#include "engine/settings.h"
#include "resources/resource_ids.h"
#include "skin/skin.h"
#include "tests/static_ui_test_fixture.h"
#include "tests/ui_test_fixture.h"
#include "ui/about.h"
#include "ui/preset_menu.h"
#include "ui/tray.h"

namespace {

HINSTANCE self() { return GetModuleHandleA(nullptr); }

HWND &owner_window = uitest::static_ui_owner;
HWND notify = nullptr;
std::string plugin_folder;

class Environment : public uitest::StaticUiEnvironment {
 public:
  void SetUp() override {
    uitest::StaticUiEnvironment::SetUp();
    plugin_window.store(owner_window);
    live_settings = engine_settings_defaults;
    deviceGuid = GUID{};
    device_open(0);
    std::filesystem::path p = std::filesystem::temp_directory_path() /
                              ("sonorium-eax-panel-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(p);
    plugin_folder = p.string();
    settings_folder_set(plugin_folder.c_str());
    std::filesystem::create_directories(settings_folder);
    eax_panel_register();
    notify = tray_setup(self(), owner_window);
  }
  void TearDown() override {
    tray_remove();
    device_close();
    plugin_window.store(nullptr);
    uitest::StaticUiEnvironment::TearDown();
    std::error_code ec;
    std::filesystem::remove_all(plugin_folder, ec);
  }
};
::testing::Environment *const environment = ::testing::AddGlobalTestEnvironment(new Environment);

// The panel opened by tray command 96, with its tab control and pages.
class Panel : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(notify, nullptr);
    ASSERT_EQ(tray_dialogs[TRAY_DIALOG_EAX_PANEL].open, 0);
    if (device_ready()) {
      SendMessageA(notify, WM_COMMAND, TRAY_COMMAND_EAX_PANEL, 0);
    } else {
      // The tray opens the panel only on a device with EAX 2.0; without one
      // it is created as the tray would create it.
      HWND p = CreateDialogParamA(self(), MAKEINTRESOURCEA(IDD_EAX_PANEL), owner_window, eax_panel_proc, 0);
      ASSERT_NE(p, nullptr);
      tray_dialogs[TRAY_DIALOG_EAX_PANEL].window = p;
      tray_dialogs[TRAY_DIALOG_EAX_PANEL].open = 1;
      ShowWindow(p, SW_SHOW);
    }
    panel_ = tray_dialogs[TRAY_DIALOG_EAX_PANEL].window;
    ASSERT_NE(panel_, nullptr) << "command 96 opened no panel";
    ASSERT_EQ(panel_, eax_panel_window());
    uitest::pump(50);
    tab_ = GetDlgItem(panel_, IDC_PANEL_TAB);
    listener_ = GetParent(uitest::find_child(panel_, IDC_LISTENER_ROOM_VALUE));
    channel_ = GetParent(uitest::find_child(panel_, IDC_VOICE_DIRECT_VALUE));
    settings_ = GetParent(uitest::find_child(panel_, IDC_PANEL_PRESETS));
    about_ = GetParent(uitest::find_child(panel_, IDC_ABOUT_PAGE_LINK));
    ASSERT_TRUE(tab_ && listener_ && channel_ && settings_ && about_);
  }
  void TearDown() override {
    if (tray_dialogs[TRAY_DIALOG_EAX_PANEL].open) SendMessageA(panel_, WM_CLOSE, 0, 0);
    EXPECT_EQ(tray_dialogs[TRAY_DIALOG_EAX_PANEL].open, 0);
    EXPECT_FALSE(IsWindow(panel_));
    EXPECT_EQ(eax_panel_window(), nullptr);
    uitest::pump(20);
  }

  HWND control(HWND page, int id) { return GetDlgItem(page, id); }
  std::string text(HWND page, int id) { return uitest::text_of(control(page, id)); }
  int position(HWND page, int id) { return int(SendMessageA(control(page, id), TBM_GETPOS, 0, 0)); }
  void select_tab(int index) {
    uitest::select_tab(tab_, index);
    uitest::pump(20);
  }
  HWND shown_page() {
    for (HWND p : {settings_, listener_, channel_, about_})
      if (uitest::is_visible(p)) return p;
    return nullptr;
  }
  void environment(int index) {
    uitest::select_combo(control(listener_, IDC_LISTENER_ENVIRONMENT), index);
    uitest::pump(10);
  }
  // What every row of a page should show, read from the device itself.
  void expect_rows_match_device(HWND page, const PanelRow *rows, int count) {
    for (int i = 0; i < count; ++i) {
      const SliderRow *row = rows[i].row;
      double value = 12345.0;
      slider_row_read(row, &value);
      ASSERT_NE(value, 12345.0) << row->name << ": the device did not answer";
      char expected[32];
      slider_value_text(row, value, expected);
      EXPECT_EQ(text(page, rows[i].valueId), expected) << row->name;
      EXPECT_EQ(position(page, panel_row_slider_id(rows[i])),
                slider_from_value(value, row->n, row->min, row->max, row->shape))
          << row->name;
    }
  }

  HWND panel_ = nullptr, tab_ = nullptr;
  HWND settings_ = nullptr, listener_ = nullptr, channel_ = nullptr, about_ = nullptr;
};

#ifndef SONORIUM_EAX_PANEL_NO_EAX

// ---------------------------------------------------------------------------
// Preset menu driving. TrackPopupMenu and the preset dialogs run modal
// loops inside the button's click; a thread timer, which those loops serve,
// reads and answers them.

struct MenuStep {
  std::vector<std::string> main, load, remove;  // item texts, "-" prefix when disabled
  std::vector<WPARAM> keys;                     // what to type into the menu
  std::string screenshot;                       // saved while the menu is shown
  std::function<void(HWND)> dialog;             // answers a preset dialog
  std::string dialog_screenshot;
  int menu_state = 0;
  int dialog_state = 0;
};
MenuStep *step = nullptr;

BOOL CALLBACK find_menu(HWND hwnd, LPARAM context) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  char cls[16] = {};
  GetClassNameA(hwnd, cls, sizeof cls);
  if (pid == GetCurrentProcessId() && IsWindowVisible(hwnd) && lstrcmpA(cls, "#32768") == 0) {
    *reinterpret_cast<HWND *>(context) = hwnd;
    return FALSE;
  }
  return TRUE;
}

std::vector<std::string> menu_texts(HMENU menu) {
  std::vector<std::string> out;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    char t[128] = {};
    GetMenuStringA(menu, UINT(i), t, sizeof t, MF_BYPOSITION);
    UINT state = GetMenuState(menu, UINT(i), MF_BYPOSITION);
    out.push_back(std::string(state & MF_GRAYED ? "-" : "") + t);
  }
  return out;
}

VOID CALLBACK menu_timer(HWND, UINT, UINT_PTR, DWORD) {
  if (!step) return;
  if (step->menu_state == 0) {
    HWND popup = nullptr;
    EnumWindows(find_menu, reinterpret_cast<LPARAM>(&popup));
    if (!popup) return;
    HMENU menu = reinterpret_cast<HMENU>(SendMessageA(popup, 0x01E1 /* MN_GETHMENU */, 0, 0));
    if (menu) {
      step->main = menu_texts(menu);
      if (HMENU load = GetSubMenu(menu, 0)) step->load = menu_texts(load);
      if (HMENU remove = GetSubMenu(menu, 2)) step->remove = menu_texts(remove);
    }
    if (!step->screenshot.empty()) uitest::save_png(popup, step->screenshot.c_str());
    step->menu_state = 1;
    if (step->keys.empty()) {
      EndMenu();
      return;
    }
    for (WPARAM k : step->keys) {
      if (k >= 'a' && k <= 'z')
        PostMessageA(popup, WM_CHAR, k, 0);
      else
        PostMessageA(popup, WM_KEYDOWN, k, 0);
    }
    return;
  }
  HWND dialog = preset_dialog_window();
  if (dialog && step->dialog_state == 0 && IsWindowVisible(dialog)) {
    step->dialog_state = 1;
    if (!step->dialog_screenshot.empty()) uitest::save_png(dialog, step->dialog_screenshot.c_str());
    if (step->dialog) step->dialog(dialog);
  }
}

// Presses the Presets button and lets `s` read and answer what appears.
void press_presets(HWND settings_page, MenuStep &s) {
  step = &s;
  UINT_PTR timer = SetTimer(nullptr, 0, 40, menu_timer);
  uitest::click(GetDlgItem(settings_page, IDC_PANEL_PRESETS));
  KillTimer(nullptr, timer);
  step = nullptr;
  uitest::pump(20);
}


TEST_F(Panel, OpensWithTheDescriptionAsTitleAndSevenOwnerDrawnTabs) {
  EXPECT_EQ(uitest::text_of(panel_), "Sonorium output plug-in v1.06");
  EXPECT_TRUE(uitest::is_visible(panel_));
  EXPECT_EQ(GetWindow(panel_, GW_OWNER), owner_window);
  EXPECT_TRUE(uitest::style_of(tab_) & TCS_OWNERDRAWFIXED);
  ASSERT_EQ(SendMessageA(tab_, TCM_GETITEMCOUNT, 0, 0), PANEL_TAB_COUNT);
  const char *labels[] = {"Settings",       "Listener",        "Left channel 1", "Right channel 1",
                          "Left channel 2", "Right channel 2", "<< About >>"};
  for (int i = 0; i < PANEL_TAB_COUNT; ++i) {
    char t[64] = {};
    TCITEMA item = {};
    item.mask = TCIF_TEXT | TCIF_PARAM;
    item.pszText = t;
    item.cchTextMax = sizeof t;
    ASSERT_TRUE(SendMessageA(tab_, TCM_GETITEMA, i, reinterpret_cast<LPARAM>(&item)));
    EXPECT_STREQ(t, labels[i]);
    EXPECT_STREQ(reinterpret_cast<const char *>(item.lParam), labels[i]) << "the item data is the label";
  }
  // The four pages are children of the tab control at its display area.
  RECT area;
  GetClientRect(tab_, &area);
  SendMessageA(tab_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
  for (HWND page : {settings_, listener_, channel_, about_}) {
    EXPECT_EQ(GetParent(page), tab_);
    RECT r = uitest::rect_in_parent(page);
    EXPECT_EQ(r.left, area.left);
    EXPECT_EQ(r.top, area.top);
  }
  uitest::save_png(panel_, "eax_panel_settings");
}

TEST_F(Panel, TabsShowTheirPagesAndThePanelReopensOnTheLastTab) {
  select_tab(PANEL_TAB_SETTINGS);
  EXPECT_EQ(shown_page(), settings_);
  select_tab(PANEL_TAB_LISTENER);
  EXPECT_EQ(shown_page(), listener_);
  EXPECT_EQ(current_voice_get(), NO_VOICE);
  uitest::save_png(panel_, "eax_panel_listener");
  select_tab(PANEL_TAB_ABOUT);
  EXPECT_EQ(shown_page(), about_);
  uitest::save_png(panel_, "eax_panel_about");
  select_tab(PANEL_TAB_R1);
  EXPECT_EQ(shown_page(), channel_);
  EXPECT_EQ(current_voice_get(), R1);

  RECT before;
  GetWindowRect(panel_, &before);
  SetWindowPos(panel_, nullptr, before.left + 17, before.top + 11, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  SendMessageA(notify, WM_COMMAND, TRAY_COMMAND_EAX_PANEL, 0);  // closes it
  EXPECT_EQ(tray_dialogs[TRAY_DIALOG_EAX_PANEL].open, 0);
  EXPECT_EQ(tray_dialogs[TRAY_DIALOG_EAX_PANEL].savedX, before.left + 17);
  EXPECT_EQ(tray_dialogs[TRAY_DIALOG_EAX_PANEL].savedY, before.top + 11);

  // Reopened: the same tab, its page and voice, at the saved place.
  SetUp();
  EXPECT_EQ(SendMessageA(tab_, TCM_GETCURSEL, 0, 0), PANEL_TAB_R1);
  EXPECT_EQ(shown_page(), channel_);
  EXPECT_EQ(current_voice_get(), R1);
  RECT after;
  GetWindowRect(panel_, &after);
  EXPECT_EQ(after.left, before.left + 17);
  EXPECT_EQ(after.top, before.top + 11);
  select_tab(PANEL_TAB_SETTINGS);
}

TEST_F(Panel, SwitchingVoicesReReadsEveryValueOnTheSamePage) {
  {
    CurrentVoiceScope scope;
    current_voice_select(L1);
    int32_t direct = -300, volume = -1000;
    eax_voice_set(EAXB_DIRECT, &direct);
    voice_volume_set(&volume);
    uint32_t mode = 1, flags = 0x07;
    ds3d_voice_set_mode(&mode);
    eax_voice_set(EAXB_FLAGS, &flags);
    current_voice_select(R2);
    direct = -4200;
    volume = 0;
    eax_voice_set(EAXB_DIRECT, &direct);
    voice_volume_set(&volume);
    float obstruction_lf = 0.75f, max_distance = 2500.0f;
    eax_voice_set(EAXB_OBSTRUCTIONLFRATIO, &obstruction_lf);
    ds3d_voice_set_max_distance(&max_distance);
    mode = 2;
    flags = 0x02;
    ds3d_voice_set_mode(&mode);
    eax_voice_set(EAXB_FLAGS, &flags);
  }
  select_tab(PANEL_TAB_L1);
  HWND page = shown_page();
  ASSERT_EQ(page, channel_);
  EXPECT_EQ(text(channel_, IDC_VOICE_DIRECT_VALUE), "-300");
  EXPECT_EQ(text(channel_, IDC_VOICE_VOLUME_LABEL), "Volume 50%");
  EXPECT_EQ(uitest::check_of(control(channel_, IDC_VOICE_MODE_HR)), BST_CHECKED);
  EXPECT_EQ(uitest::check_of(control(channel_, IDC_VOICE_AUTO_DIRECT_HF)), BST_CHECKED);
  expect_rows_match_device(channel_, channel_rows, CHANNEL_ROW_COUNT);

  select_tab(PANEL_TAB_R2);
  EXPECT_EQ(shown_page(), page) << "one page window serves every voice";
  EXPECT_EQ(current_voice_get(), R2);
  EXPECT_EQ(text(channel_, IDC_VOICE_DIRECT_VALUE), "-4200");
  EXPECT_EQ(text(channel_, IDC_VOICE_OBSTRUCTION_LF_VALUE), "0.750");
  EXPECT_EQ(text(channel_, IDC_VOICE_MAX_DISTANCE_VALUE), "2.50k");
  EXPECT_EQ(text(channel_, IDC_VOICE_VOLUME_LABEL), "Volume 100%");
  EXPECT_EQ(position(channel_, IDC_VOICE_VOLUME_SLIDER), 10000);
  EXPECT_EQ(uitest::check_of(control(channel_, IDC_VOICE_MODE_DISABLED)), BST_CHECKED);
  EXPECT_EQ(uitest::check_of(control(channel_, IDC_VOICE_MODE_HR)), BST_UNCHECKED);
  EXPECT_EQ(uitest::check_of(control(channel_, IDC_VOICE_AUTO_DIRECT_HF)), BST_UNCHECKED);
  EXPECT_EQ(uitest::check_of(control(channel_, IDC_VOICE_AUTO_ROOM)), BST_CHECKED);
  expect_rows_match_device(channel_, channel_rows, CHANNEL_ROW_COUNT);
  uitest::save_png(panel_, "eax_panel_right_channel_2");

  // The page's own controls write to R2 only.
  uitest::click(control(channel_, IDC_VOICE_MODE_NORMAL));
  uitest::click(control(channel_, IDC_VOICE_AUTO_ROOM_HF));
  CurrentVoiceScope scope;
  uint32_t mode = 9, flags = 0;
  current_voice_select(R2);
  ds3d_voice_get_mode(&mode);
  eax_voice_get(EAXB_FLAGS, &flags);
  EXPECT_EQ(mode, 0u);
  EXPECT_EQ(flags, 0x06u);
  current_voice_select(L1);
  ds3d_voice_get_mode(&mode);
  EXPECT_EQ(mode, 1u);
}

TEST_F(Panel, VolumeTrackbarMiddleIsHalfAndMinus1000RightEndIsFullAndZero) {
  select_tab(PANEL_TAB_L2);
  HWND volume = control(channel_, IDC_VOICE_VOLUME_SLIDER);
  uitest::set_trackbar(volume, 5000);
  EXPECT_EQ(text(channel_, IDC_VOICE_VOLUME_LABEL), "Volume 50%");
  int32_t mb = 1;
  voice_volume_get(&mb);
  EXPECT_EQ(mb, -1000);
  uitest::set_trackbar(volume, 10000);
  EXPECT_EQ(text(channel_, IDC_VOICE_VOLUME_LABEL), "Volume 100%");
  voice_volume_get(&mb);
  EXPECT_EQ(mb, 0);
  // The label is a disabled, checked push-like box.
  HWND label = control(channel_, IDC_VOICE_VOLUME_LABEL);
  EXPECT_FALSE(uitest::is_enabled(label));
  EXPECT_EQ(uitest::check_of(label), BST_CHECKED);
}

TEST_F(Panel, HangarMovesEveryListenerSliderToTheCardsValues) {
  select_tab(PANEL_TAB_LISTENER);
  environment(10);
  uint32_t env = 99;
  eax_listener_get(EAXL_ENVIRONMENT, &env);
  EXPECT_EQ(env, 10u);
  char name[32] = {};
  GetWindowTextA(control(listener_, IDC_LISTENER_ENVIRONMENT), name, sizeof name);
  EXPECT_STREQ(name, "Hangar");
  expect_rows_match_device(listener_, listener_rows, LISTENER_ROW_COUNT);
  EXPECT_EQ(text(listener_, IDC_LISTENER_DECAY_TIME_VALUE), "10.05");
  EXPECT_EQ(text(listener_, IDC_LISTENER_SIZE_VALUE), "50.30");
  EXPECT_EQ(text(listener_, IDC_LISTENER_REVERB_VALUE), "198");
  for (const PanelFlagBox &b : listener_flag_boxes)
    EXPECT_EQ(uitest::check_of(control(listener_, b.id)), BST_CHECKED) << b.id;
  environment(8);  // Cave clears the decay HF limit
  EXPECT_EQ(uitest::check_of(control(listener_, IDC_LISTENER_DECAY_HF_LIMIT)), BST_UNCHECKED);
  expect_rows_match_device(listener_, listener_rows, LISTENER_ROW_COUNT);
}

TEST_F(Panel, SizeMovesDecayTimeOnlyWithScaleDecayTime) {
  select_tab(PANEL_TAB_LISTENER);
  environment(0);
  ASSERT_EQ(uitest::check_of(control(listener_, IDC_LISTENER_SCALE_DECAY_TIME)), BST_CHECKED);
  HWND size = control(listener_, IDC_LISTENER_SIZE_SLIDER);
  uitest::set_trackbar(size, 1400);  // 15 m, twice Generic's size
  EXPECT_EQ(text(listener_, IDC_LISTENER_SIZE_VALUE), "15.00");
  EXPECT_EQ(text(listener_, IDC_LISTENER_DECAY_TIME_VALUE), "2.98");
  EXPECT_EQ(text(listener_, IDC_LISTENER_REFLECTIONS_DELAY_VALUE), "0.014");
  expect_rows_match_device(listener_, listener_rows, LISTENER_ROW_COUNT);

  uitest::click(control(listener_, IDC_LISTENER_SCALE_DECAY_TIME));
  EXPECT_EQ(uitest::check_of(control(listener_, IDC_LISTENER_SCALE_DECAY_TIME)), BST_UNCHECKED);
  uitest::set_trackbar(size, 650);  // back to 7.5 m
  EXPECT_EQ(text(listener_, IDC_LISTENER_DECAY_TIME_VALUE), "2.98") << "decay time no longer follows the size";
  EXPECT_EQ(text(listener_, IDC_LISTENER_REFLECTIONS_DELAY_VALUE), "0.007");
  expect_rows_match_device(listener_, listener_rows, LISTENER_ROW_COUNT);
}

TEST_F(Panel, ScaleReverbClickedAfterItsBitWasClearedElsewhereSetsIt) {
  select_tab(PANEL_TAB_LISTENER);
  environment(0);
  HWND box = control(listener_, IDC_LISTENER_SCALE_REVERB);
  ASSERT_EQ(uitest::check_of(box), BST_CHECKED);
  uint32_t flags = 0x3F & ~uint32_t(EAXL_FLAG_SCALE_REVERB);
  eax_listener_set(EAXL_FLAGS, &flags);  // the box still shows it set
  uitest::click(box);
  eax_listener_get(EAXL_FLAGS, &flags);
  EXPECT_EQ(flags, 0x3Fu);
  EXPECT_EQ(uitest::check_of(box), BST_CHECKED);
}

TEST_F(Panel, TrackbarsWriteAtOnceAndValueBoxesShowWhatTheDeviceHolds) {
  select_tab(PANEL_TAB_LISTENER);
  uitest::set_trackbar(control(listener_, IDC_LISTENER_ROOM_SLIDER), 9500);
  int32_t room = 0;
  eax_listener_get(EAXL_ROOM, &room);
  EXPECT_EQ(room, -500);
  EXPECT_EQ(text(listener_, IDC_LISTENER_ROOM_VALUE), "-500");
  // DirectSound keeps its distance factor when asked for 0.
  uitest::set_trackbar(control(listener_, IDC_LISTENER_DISTANCE_FACTOR_SLIDER), 200);
  uitest::set_trackbar(control(listener_, IDC_LISTENER_DISTANCE_FACTOR_SLIDER), 0);
  float factor = 0;
  ds3d_listener_get_distance_factor(&factor);
  char shown[32];
  slider_value_text(panel_row_by_slider(0, IDC_LISTENER_DISTANCE_FACTOR_SLIDER)->row, factor, shown);
  EXPECT_EQ(text(listener_, IDC_LISTENER_DISTANCE_FACTOR_VALUE), shown);
  // The air absorption drives the view's fog.
  uitest::set_trackbar(control(listener_, IDC_LISTENER_AIR_ABSORPTION_HF_SLIDER), 4000);
  EXPECT_EQ(text(listener_, IDC_LISTENER_AIR_ABSORPTION_HF_VALUE), "-60.00");
  EXPECT_FLOAT_EQ(fog_density.load(), 0.5f);
  float one = 1.0f;
  ds3d_listener_set_distance_factor(&one);
}

TEST_F(Panel, PoseAndConeFieldsStayDisabledAndEmpty) {
  for (int id = IDC_LISTENER_POSE_FIRST; id <= IDC_LISTENER_POSE_LAST; ++id) {
    EXPECT_FALSE(uitest::is_enabled(control(listener_, id))) << id;
    if (uitest::class_of(control(listener_, id)) == "Edit") {
      EXPECT_EQ(text(listener_, id), "") << id;
    }
  }
  for (int id : {IDC_VOICE_X, IDC_VOICE_Y, IDC_VOICE_Z, IDC_VOICE_ORIENTATION_1, IDC_VOICE_INSIDE_ANGLE,
                 IDC_VOICE_OUTSIDE_ANGLE, IDC_VOICE_POSITION_CAPTION, IDC_VOICE_INSIDE_ANGLE_LABEL}) {
    EXPECT_FALSE(uitest::is_enabled(control(channel_, id))) << id;
  }
  EXPECT_EQ(text(channel_, IDC_VOICE_INSIDE_ANGLE), "");
  EXPECT_TRUE(uitest::is_enabled(control(listener_, IDC_LISTENER_ROLLOFF_FACTOR_SLIDER)));
  EXPECT_TRUE(uitest::is_enabled(control(listener_, IDC_LISTENER_ENVIRONMENT)));
  EXPECT_TRUE(uitest::is_enabled(control(channel_, IDC_VOICE_OCCLUSION_ROOM_SLIDER)));
}

TEST_F(Panel, TooltipsAnswerWithTheHelpTextsAndShow) {
  select_tab(PANEL_TAB_LISTENER);
  std::vector<HWND> tips;
  for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == GetCurrentProcessId() && uitest::class_of(w) == TOOLTIPS_CLASSA && GetWindow(w, GW_OWNER) == panel_)
      tips.push_back(w);
  }
  ASSERT_EQ(tips.size(), size_t(PANEL_HELP_COUNT)) << "one tooltip per help text";
  int answered = 0;
  for (HWND tip : tips) {
    EXPECT_TRUE(uitest::exstyle_of(tip) & WS_EX_TOPMOST);
    EXPECT_TRUE(uitest::style_of(tip) & TTS_NOPREFIX);
    EXPECT_EQ(SendMessageA(tip, TTM_GETDELAYTIME, TTDT_AUTOPOP, 0), PANEL_TIP_AUTOPOP_MS);
    EXPECT_EQ(SendMessageA(tip, TTM_GETMAXTIPWIDTH, 0, 0), PANEL_TIP_MAX_WIDTH);
    EXPECT_NE(skin_previous_proc(tip), nullptr) << "the tooltip is skinned";
    // The page's font (the tooltip keeps a copy of it).
    LOGFONTA tip_font = {}, page_font = {};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(tip, WM_GETFONT, 0, 0)), sizeof tip_font, &tip_font);
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(listener_, WM_GETFONT, 0, 0)), sizeof page_font, &page_font);
    EXPECT_STREQ(tip_font.lfFaceName, page_font.lfFaceName);
    EXPECT_EQ(tip_font.lfHeight, page_font.lfHeight);
    TTTOOLINFOA ti = {};
    ti.cbSize = TTTOOLINFOA_V2_SIZE;
    ASSERT_TRUE(SendMessageA(tip, TTM_ENUMTOOLSA, 0, reinterpret_cast<LPARAM>(&ti)));
    RECT client;
    GetClientRect(ti.hwnd, &client);
    EXPECT_EQ(ti.rect.left, client.left + 1);
    EXPECT_EQ(ti.rect.bottom, client.bottom - 1);
    const char *expected = panel_help_text(GetDlgCtrlID(ti.hwnd));
    ASSERT_NE(expected, nullptr);
    // The tooltip's own answer (TTM_GETTEXTA gives at most 80 bytes)...
    char buffer[1024] = {};
    ti.lpszText = buffer;
    SendMessageA(tip, TTM_GETTEXTA, sizeof buffer, reinterpret_cast<LPARAM>(&ti));
    EXPECT_EQ(std::string(buffer), std::string(expected).substr(0, std::strlen(buffer)));
    EXPECT_GE(std::strlen(buffer), 79u);
    // ... and the whole paragraph the control hands it.
    NMTTDISPINFOA info = {};
    info.hdr.hwndFrom = tip;
    info.hdr.idFrom = 0;
    info.hdr.code = TTN_GETDISPINFOA;
    SendMessageA(ti.hwnd, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
    ASSERT_NE(info.lpszText, nullptr);
    EXPECT_STREQ(info.lpszText, expected);
    if (std::strcmp(info.lpszText, expected) == 0) ++answered;
  }
  EXPECT_EQ(answered, PANEL_HELP_COUNT);

  // Shown over the Decay Time value box, wrapped at its width.
  HWND decay = control(listener_, IDC_LISTENER_DECAY_TIME_VALUE);
  HWND decay_tip = nullptr;
  for (HWND tip : tips) {
    TTTOOLINFOA ti = {};
    ti.cbSize = TTTOOLINFOA_V2_SIZE;
    SendMessageA(tip, TTM_ENUMTOOLSA, 0, reinterpret_cast<LPARAM>(&ti));
    if (ti.hwnd == decay) decay_tip = tip;
  }
  ASSERT_NE(decay_tip, nullptr);
  TTTOOLINFOA ti = {};
  ti.cbSize = TTTOOLINFOA_V2_SIZE;
  ti.hwnd = decay;
  ti.uId = 0;
  SendMessageA(decay_tip, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&ti));
  RECT r;
  GetWindowRect(decay, &r);
  SendMessageA(decay_tip, TTM_TRACKPOSITION, 0, MAKELPARAM(r.left, r.bottom + 2));
  SendMessageA(decay_tip, TTM_POPUP, 0, 0);
  uitest::pump(100);
  if (uitest::is_visible(decay_tip)) {
    RECT tr;
    GetWindowRect(decay_tip, &tr);
    EXPECT_LE(tr.right - tr.left, PANEL_TIP_MAX_WIDTH + 16);
    EXPECT_GT(tr.bottom - tr.top, 30) << "the paragraph wraps over several lines";
    uitest::save_png(decay_tip, "eax_panel_tooltip");
  } else {
    ADD_FAILURE() << "the tooltip did not show";
  }
  SendMessageA(decay_tip, TTM_POP, 0, 0);
}

TEST_F(Panel, OwnerDrawnTabsDrawTheSelectedLabelTwice) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 100, 20);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, bitmap);
  SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(panel_, WM_GETFONT, 0, 0)));
  SetBkColor(dc, RGB(240, 240, 240));
  SetTextColor(dc, RGB(0, 0, 0));
  auto ink = [&](UINT state) {
    DRAWITEMSTRUCT d = {};
    d.CtlType = ODT_TAB;
    d.CtlID = IDC_PANEL_TAB;
    d.itemID = 1;
    d.itemAction = ODA_DRAWENTIRE;
    d.itemState = state;
    d.hwndItem = tab_;
    d.hDC = dc;
    d.rcItem = RECT{0, 0, 100, 20};
    d.itemData = reinterpret_cast<ULONG_PTR>("Listener");
    RECT all = {0, 0, 100, 20};
    HBRUSH white = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(dc, &all, white);
    DeleteObject(white);
    SendMessageA(panel_, WM_DRAWITEM, IDC_PANEL_TAB, reinterpret_cast<LPARAM>(&d));
    int dark = 0, background = 0, left = 100, right = 0;
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 100; ++x) {
        COLORREF c = GetPixel(dc, x, y);
        if (c == RGB(240, 240, 240)) ++background;
        if (GetRValue(c) < 128 && GetGValue(c) < 128) {
          ++dark;
          if (x < left) left = x;
          if (x > right) right = x;
        }
      }
    EXPECT_EQ(background + dark > 0, true);
    return std::vector<int>{dark, background, left, right};
  };
  std::vector<int> plain = ink(0);
  std::vector<int> bold = ink(ODS_SELECTED);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  EXPECT_GT(plain[0], 20) << "the label is drawn";
  EXPECT_GT(plain[1], 1500) << "the tab is filled with the background colour";
  EXPECT_GT(bold[0], plain[0]) << "the selected label is thicker";
  EXPECT_EQ(bold[2], plain[2]) << "the second copy starts where the plain label does";
  EXPECT_EQ(bold[3], plain[3] + 1) << "the first copy sits one pixel to the right";
}

// ---------------------------------------------------------------------------
// Presets.

class PanelPresets : public Panel {
 protected:
  void SetUp() override {
    std::error_code ec;
    for (const auto &e : std::filesystem::directory_iterator(settings_folder, ec)) std::filesystem::remove(e.path(), ec);
    Panel::SetUp();
    if (HasFatalFailure()) return;
    select_tab(PANEL_TAB_SETTINGS);
  }
  // Saves under `name` through the menu's "&Save" and the dialog.
  void save(const char *name, const char *menu_shot = "", const char *dialog_shot = "") {
    MenuStep s;
    s.keys = {'s'};
    s.screenshot = menu_shot;
    s.dialog_screenshot = dialog_shot;
    std::string n = name;
    s.dialog = [n](HWND dialog) {
      SetDlgItemTextA(dialog, IDC_PRESET_NAME, n.c_str());
      uitest::click(GetDlgItem(dialog, IDC_PRESET_SAVE));
    };
    press_presets(settings_, s);
    EXPECT_EQ(s.menu_state, 1) << "no menu appeared";
    EXPECT_EQ(s.dialog_state, 1) << "no save dialog appeared";
  }
  MenuStep look() {
    MenuStep s;
    press_presets(settings_, s);
    return s;
  }
  // Chooses the index-th preset of the Load (or Delete) sub-menu.
  MenuStep choose(WPARAM submenu_key, int index, std::function<void(HWND)> dialog = nullptr,
                  const char *dialog_shot = "") {
    MenuStep s;
    s.keys = {submenu_key};
    for (int i = 0; i < index; ++i) s.keys.push_back(VK_DOWN);
    s.keys.push_back(VK_RETURN);
    s.dialog = dialog;
    s.dialog_screenshot = dialog_shot;
    press_presets(settings_, s);
    return s;
  }
  bool exists(const char *file) { return std::filesystem::exists(std::string(settings_folder) + file); }
};

TEST_F(PanelPresets, AnEmptyFolderListsADisabledEmptyItemAndSaveStillWorks) {
  MenuStep s = look();
  ASSERT_EQ(s.menu_state, 1) << "no menu appeared";
  EXPECT_EQ(s.main, (std::vector<std::string>{"&Load", "&Save", "&Delete"}));
  EXPECT_EQ(s.load, std::vector<std::string>{"-(empty)"});
  EXPECT_EQ(s.remove, std::vector<std::string>{"-(empty)"});
  save("First", "eax_panel_preset_menu", "eax_panel_save_preset");
  EXPECT_TRUE(exists("First.env"));
}

TEST_F(PanelPresets, HallSavedThriceBecomesHallHall1Hall2) {
  save("Hall");
  save("Hall");
  save("Hall");
  EXPECT_TRUE(exists("Hall.env"));
  EXPECT_TRUE(exists("Hall_1.env"));
  EXPECT_TRUE(exists("Hall_2.env"));
  MenuStep s = look();
  EXPECT_EQ(s.load, (std::vector<std::string>{"Hall", "Hall_1", "Hall_2"}));
  EXPECT_EQ(s.remove, (std::vector<std::string>{"Hall", "Hall_1", "Hall_2"}));
}

TEST_F(PanelPresets, NamesAreListedWithoutRegardToCase) {
  save("beta");
  save("Alpha");
  save("gamma");
  MenuStep s = look();
  EXPECT_EQ(s.load, (std::vector<std::string>{"Alpha", "beta", "gamma"}));
  HWND sorted = control(settings_, IDC_PANEL_PRESET_SORT);
  EXPECT_EQ(SendMessageA(sorted, LB_GETCOUNT, 0, 0), 3);
  EXPECT_FALSE(uitest::is_visible(sorted));
  // Delete "beta" through the menu and its dialog.
  std::string question;
  MenuStep d = choose(
      'd', 1,
      [&question](HWND dialog) {
        question = uitest::text_of(GetDlgItem(dialog, IDC_PRESET_QUESTION));
        uitest::click(GetDlgItem(dialog, IDC_PRESET_YES));
      },
      "eax_panel_delete_preset");
  EXPECT_EQ(d.dialog_state, 1) << "no delete dialog appeared";
  EXPECT_EQ(question, "Are you sure you want to delete preset \"beta\" ?");
  EXPECT_FALSE(exists("beta.env"));
  EXPECT_TRUE(exists("Alpha.env"));
}

TEST_F(PanelPresets, CaveWithRoomMinus500LoadsBackBothIntoThePages) {
  select_tab(PANEL_TAB_LISTENER);
  environment(8);
  uitest::set_trackbar(control(listener_, IDC_LISTENER_ROOM_SLIDER), 9500);
  ASSERT_EQ(text(listener_, IDC_LISTENER_ROOM_VALUE), "-500");
  {
    CurrentVoiceScope scope;
    current_voice_select(R1);
    int32_t occlusion = -2500;
    eax_voice_set(EAXB_OCCLUSION, &occlusion);
  }
  select_tab(PANEL_TAB_SETTINGS);
  save("Cave room");
  ASSERT_TRUE(exists("Cave room.env"));

  select_tab(PANEL_TAB_LISTENER);
  environment(0);
  ASSERT_EQ(text(listener_, IDC_LISTENER_ROOM_VALUE), "-1000");
  {
    CurrentVoiceScope scope;
    current_voice_select(R1);
    int32_t occlusion = 0;
    eax_voice_set(EAXB_OCCLUSION, &occlusion);
  }
  select_tab(PANEL_TAB_R1);
  ASSERT_EQ(text(channel_, IDC_VOICE_OCCLUSION_VALUE), "0");
  select_tab(PANEL_TAB_SETTINGS);
  MenuStep s = choose('l', 0);
  EXPECT_EQ(s.menu_state, 1);

  uint32_t env = 0;
  eax_listener_get(EAXL_ENVIRONMENT, &env);
  EXPECT_EQ(env, 8u);
  EXPECT_EQ(SendMessageA(control(listener_, IDC_LISTENER_ENVIRONMENT), CB_GETCURSEL, 0, 0), 8);
  EXPECT_EQ(text(listener_, IDC_LISTENER_ROOM_VALUE), "-500");
  EXPECT_EQ(position(listener_, IDC_LISTENER_ROOM_SLIDER), 9500);
  expect_rows_match_device(listener_, listener_rows, LISTENER_ROW_COUNT);
  select_tab(PANEL_TAB_R1);
  EXPECT_EQ(text(channel_, IDC_VOICE_OCCLUSION_VALUE), "-2500");
}

#else  // Wine's own DirectSound: no EAX 2.0.

TEST_F(Panel, WithoutEaxEveryEaxControlIsDisabledWhileTabsStillSwitch) {
  ASSERT_FALSE(device_ready()) << "Wine's own DirectSound should not pass the EAX 2.0 test";
  bool voices = device_voices_ready();
  for (int id = 1200; id <= 1262; ++id) {
    HWND c = control(listener_, id);
    if (!c) continue;
    bool ds3d = id >= IDC_LISTENER_DS3D_FIRST && id <= IDC_LISTENER_DS3D_LAST && !panel_listener_kept_empty(id);
    EXPECT_EQ(uitest::is_enabled(c), ds3d && voices) << id;
  }
  for (int id = 1300; id <= 1370; ++id) {
    HWND c = control(channel_, id);
    if (!c) continue;
    bool ds3d = id <= IDC_VOICE_DS3D_LAST && !panel_channel_kept_empty(id) && id != IDC_VOICE_VOLUME_LABEL;
    EXPECT_EQ(uitest::is_enabled(c), ds3d && voices) << id;
  }
  EXPECT_TRUE(uitest::is_enabled(control(settings_, IDC_PANEL_PRESETS)));
  for (int t : {PANEL_TAB_LISTENER, PANEL_TAB_L1, PANEL_TAB_ABOUT, PANEL_TAB_SETTINGS, PANEL_TAB_R2}) {
    select_tab(t);
    HWND expected = t == PANEL_TAB_LISTENER ? listener_ : t == PANEL_TAB_ABOUT ? about_
                    : t == PANEL_TAB_SETTINGS ? settings_ : channel_;
    EXPECT_EQ(shown_page(), expected) << t;
    EXPECT_EQ(current_voice_get(), panel_tabs[t].voice);
  }
  uitest::save_png(panel_, "eax_panel_without_eax");
}

#endif

}  // namespace
