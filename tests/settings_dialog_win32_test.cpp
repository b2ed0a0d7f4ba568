// The "DirectSound settings" dialog of the real out_sonorium.dll, opened as
// the host's Config opens it, on the software card offering two EAX 2.0
// devices: the pages driven through their real controls.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include <gtest/gtest.h>

#include "card/card_api.h"
#include "resources/resource_ids.h"
#include "tests/ui_test_fixture.h"

namespace {

typedef void (*DefaultConfig)(CardDeviceConfig *);
typedef void (*ClearDevices)(void);
typedef int (*AddDevice)(const CardDeviceConfig *);

template <class F>
F card_function(HMODULE card, const char *name) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)(void)>(GetProcAddress(card, name)));
}

const char kTitle[] = "DirectSound settings";
const char kMustStop[] = "you must fully stop playback for the correct status";

std::string list_text(HWND list, int row) {
  char text[256] = "";
  LRESULT n = SendMessageA(list, LB_GETTEXTLEN, row, 0);
  if (n < 0 || n >= LRESULT(sizeof text)) return "";
  SendMessageA(list, LB_GETTEXT, row, reinterpret_cast<LPARAM>(text));
  return text;
}

class SettingsOnCard : public ::testing::Test {
 protected:
  // Two EAX 2.0 devices: "Card A" (stereo speakers) and "Card B" (speaker
  // configuration 9, beyond the named ones), with or without hardware voices.
  void configure(bool hardwareVoices) {
    card_ = LoadLibraryA("dsound.dll");
    ASSERT_NE(card_, nullptr);
    auto defaults = card_function<DefaultConfig>(card_, "card_default_device_config");
    auto clear = card_function<ClearDevices>(card_, "card_clear_devices");
    auto add = card_function<AddDevice>(card_, "card_add_device");
    ASSERT_TRUE(defaults && clear && add) << "the software card's dsound.dll is not the one loaded";
    clear();
    CardDeviceConfig a, b;
    defaults(&a);
    strcpy(a.description, "Card A");
    a.speakerConfig = 0x00050004;
    a.hardwareVoices = hardwareVoices ? a.hardwareVoices : 0;
    defaults(&b);
    strcpy(b.description, "Card B");
    b.guid.Data1 ^= 0x5A5A5A5Au;
    b.speakerConfig = 9;
    ASSERT_GE(add(&a), 0);
    ASSERT_GE(add(&b), 0);
  }
  void SetUp() override {
    configure(true);
    ASSERT_TRUE(uitest::plugin_load(plugin_));
  }
  void TearDown() override {
    if (dialog() && IsWindow(dialog())) SendMessageA(dialog(), WM_CLOSE, 0, 0);
    uitest::plugin_unload(plugin_);
    if (card_) FreeLibrary(card_);
  }

  HWND open() {
    plugin_.module->Config(nullptr);
    uitest::pump_until([this] { return dialog() && uitest::is_visible(dialog()); }, 3000);
    return dialog();
  }
  HWND dialog() { return uitest::find_window("#32770", kTitle); }
  HWND control(int id) { return uitest::find_child(dialog(), id); }
  std::string text(int id) { return uitest::text_of(control(id)); }
  void tab(int page) {
    uitest::select_tab(control(IDC_SETTINGS_TAB), page);
    uitest::pump(20);
  }
  void press(int id) {
    uitest::click(control(id));
    uitest::pump(20);
  }
  // A second of a 440 Hz tone written as the host writes, then closed: the
  // engine plays the rest on its own.
  void play_a_second() {
    Out_Module *m = plugin_.module;
    ASSERT_GE(m->Open(44100, 2, 16, -1, -1), 0);
    static short block[576 * 2];
    for (int i = 0; i < 576; ++i) block[2 * i] = block[2 * i + 1] = short(8000 * ((i / 50) % 2 ? 1 : -1));
    int written = 0;
    DWORD start = GetTickCount();
    while (written < 44100 && GetTickCount() - start < 10000) {
      if (m->CanWrite() >= int(sizeof block)) {
        m->Write(reinterpret_cast<char *>(block), sizeof block);
        written += 576;
      } else {
        uitest::pump(5);
      }
    }
    m->Write(nullptr, 0);
  }

  HMODULE card_ = nullptr;
  uitest::Plugin plugin_;
};

TEST_F(SettingsOnCard, ConfigOpensOneDialogWithFourPages) {
  HWND d = open();
  ASSERT_NE(d, nullptr) << "Config opened no settings dialog";
  HWND tabs = control(IDC_SETTINGS_TAB);
  ASSERT_NE(tabs, nullptr);
  EXPECT_EQ(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0), 4);
  const char *titles[] = {"Device", "Buffering", "Fading", "Gap control"};
  for (int i = 0; i < 4; ++i) {
    char buf[64] = "";
    TCITEMA item = {};
    item.mask = TCIF_TEXT;
    item.pszText = buf;
    item.cchTextMax = sizeof buf;
    SendMessageA(tabs, TCM_GETITEMA, i, reinterpret_cast<LPARAM>(&item));
    EXPECT_STREQ(buf, titles[i]);
  }
  EXPECT_TRUE(uitest::is_visible(control(IDC_DEVICE_LIST))) << "the Device page shows first";
  EXPECT_FALSE(uitest::is_visible(control(IDC_BUFFER_LENGTH)));
  uitest::save_png(d, "settings_device");
  // A second Config brings the open dialog forward instead of making another.
  plugin_.module->Config(nullptr);
  uitest::pump(50);
  EXPECT_EQ(dialog(), d);
  int count = 0;
  for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT))
    if (uitest::class_of(w) == "#32770" && uitest::text_of(w) == kTitle) ++count;
  EXPECT_EQ(count, 1);
}

TEST_F(SettingsOnCard, BufferTrackbarSetsThePrebufferRange) {
  ASSERT_NE(open(), nullptr);
  tab(1);
  EXPECT_EQ(text(IDC_BUFFER_LENGTH_TEXT), "1000 ms");
  EXPECT_EQ(text(IDC_PREBUFFER_TEXT), "350 ms (35%)");
  uitest::save_png(dialog(), "settings_buffering");
  uitest::set_trackbar(control(IDC_BUFFER_LENGTH), 4000);
  EXPECT_EQ(text(IDC_BUFFER_LENGTH_TEXT), "20000 ms");
  EXPECT_EQ(SendMessageA(control(IDC_PREBUFFER), TBM_GETRANGEMAX, 0, 0), 13000);
  uitest::set_trackbar(control(IDC_PREBUFFER), 13000);
  EXPECT_EQ(SendMessageA(control(IDC_PREBUFFER), TBM_GETPOS, 0, 0), 13000);
  EXPECT_EQ(text(IDC_PREBUFFER_TEXT), "13000 ms (65%)");
  // Back to the shortest buffer: the prebuffer is held inside its new range.
  uitest::set_trackbar(control(IDC_BUFFER_LENGTH), 0);
  EXPECT_EQ(text(IDC_BUFFER_LENGTH_TEXT), "200 ms");
  EXPECT_EQ(SendMessageA(control(IDC_PREBUFFER), TBM_GETRANGEMAX, 0, 0), 130);
  EXPECT_LE(SendMessageA(control(IDC_PREBUFFER), TBM_GETPOS, 0, 0), 130);
}

TEST_F(SettingsOnCard, FadeRowsAndResetOfTheFadingPageOnly) {
  ASSERT_NE(open(), nullptr);
  tab(1);
  uitest::set_trackbar(control(IDC_BUFFER_LENGTH), 4000);
  tab(2);
  HWND list = control(IDC_FADE_LIST);
  EXPECT_EQ(list_text(list, 4), "on pause\t\t\t\t75 ms");
  EXPECT_EQ(list_text(list, 2), "on end of song\t (disabled)");
  EXPECT_FALSE(uitest::is_enabled(control(IDC_FADE_ENABLED))) << "nothing selected yet";
  uitest::save_png(dialog(), "settings_fading");
  uitest::select_list(list, 4);
  uitest::pump(20);
  EXPECT_EQ(text(IDC_FADE_GROUP), "Fade on pause settings");
  EXPECT_TRUE(uitest::is_enabled(control(IDC_FADE_ENABLED)));
  EXPECT_EQ(uitest::check_of(control(IDC_FADE_ENABLED)), BST_CHECKED);
  EXPECT_EQ(text(IDC_FADE_TIME), "75");
  uitest::save_png(dialog(), "settings_fading_row_selected");
  press(IDC_FADE_ENABLED);
  EXPECT_EQ(list_text(list, 4), "on pause\t (disabled)");
  // A new time through the edit field shows in the row.
  uitest::select_list(list, 3);
  uitest::set_edit(control(IDC_FADE_TIME), "1234");
  uitest::pump(20);
  EXPECT_EQ(list_text(list, 3), "on stop\t\t1234 ms");
  // Reset brings back this page's defaults and leaves the others as edited.
  press(IDC_SETTINGS_RESET);
  EXPECT_EQ(list_text(list, 4), "on pause\t\t\t\t75 ms");
  EXPECT_EQ(list_text(list, 3), "on stop\t\t\t250 ms");
  EXPECT_EQ(uitest::check_of(control(IDC_CROSSFADE)), BST_CHECKED);
  EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), LB_ERR) << "the remembered row is forgotten";
  tab(1);
  EXPECT_EQ(text(IDC_BUFFER_LENGTH_TEXT), "20000 ms");
}

TEST_F(SettingsOnCard, GapModesDescribeThemselvesAndEnableTheirControls) {
  ASSERT_NE(open(), nullptr);
  tab(3);
  EXPECT_EQ(text(IDC_GAP_DESCRIPTION), "Songs played continuously without breakings");
  EXPECT_FALSE(uitest::is_enabled(control(IDC_INSERT_GAP)));
  EXPECT_EQ(text(IDC_THRESHOLD_TEXT), "-24.07 dB");
  EXPECT_EQ(text(IDC_INSERT_GAP), "2000");
  uitest::save_png(dialog(), "settings_gap_control");
  uitest::select_combo(control(IDC_GAP_MODE), 2);
  uitest::pump(20);
  EXPECT_EQ(text(IDC_GAP_DESCRIPTION), "Songs played separately by inserting a specified duration");
  EXPECT_TRUE(uitest::is_enabled(control(IDC_INSERT_GAP)));
  EXPECT_TRUE(uitest::is_enabled(control(IDC_INSERT_GAP_SPIN)));
  uitest::save_png(dialog(), "settings_gap_insert");
  uitest::set_trackbar(control(IDC_THRESHOLD), 2000);
  EXPECT_EQ(text(IDC_THRESHOLD_TEXT), "-90.31 dB");
  // Trailing off: its limit row is disabled.
  EXPECT_TRUE(uitest::is_enabled(control(IDC_TRAILING_LIMIT)));
  press(IDC_SILENCE_TRAILING);
  EXPECT_FALSE(uitest::is_enabled(control(IDC_TRAILING_LIMIT)));
  EXPECT_FALSE(uitest::is_enabled(control(IDC_TRAILING_LIMIT_MS)));
  EXPECT_TRUE(uitest::is_enabled(control(IDC_LEADING_LIMIT)));
}

TEST_F(SettingsOnCard, OkCommitsCancelDropsAndTheCloseBoxCloses) {
  ASSERT_NE(open(), nullptr);
  tab(3);
  uitest::select_combo(control(IDC_GAP_MODE), 2);
  press(IDC_SETTINGS_CANCEL);
  EXPECT_EQ(dialog(), nullptr) << "Cancel closes";
  ASSERT_NE(open(), nullptr);
  tab(3);
  EXPECT_EQ(SendMessageA(control(IDC_GAP_MODE), CB_GETCURSEL, 0, 0), 1) << "the cancelled edit is gone";
  uitest::select_combo(control(IDC_GAP_MODE), 2);
  press(IDC_SETTINGS_OK);
  EXPECT_EQ(dialog(), nullptr) << "Ok closes";
  ASSERT_NE(open(), nullptr);
  tab(3);
  EXPECT_EQ(SendMessageA(control(IDC_GAP_MODE), CB_GETCURSEL, 0, 0), 2) << "Ok committed the mode";
  SendMessageA(dialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
  uitest::pump(50);
  EXPECT_EQ(dialog(), nullptr) << "the close box closes";
}

TEST_F(SettingsOnCard, DeviceListAndReportsOfBothCards) {
  ASSERT_NE(open(), nullptr);
  HWND combo = control(IDC_DEVICE_LIST);
  // The primary driver's entry, then the two cards.
  ASSERT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 3);
  EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), 0);
  std::string status = text(IDC_DEVICE_STATUS);
  EXPECT_NE(status.find("Status: ok - using DirectX 8 interface"), std::string::npos) << status;
  EXPECT_NE(status.find("Speaker config: stereo"), std::string::npos) << status;
  uitest::select_combo(combo, 2);
  uitest::pump(20);
  status = text(IDC_DEVICE_STATUS);
  EXPECT_NE(status.find(kMustStop), std::string::npos) << status;
  EXPECT_NE(status.find("Speaker config: unknown"), std::string::npos) << status;
}

TEST_F(SettingsOnCard, AnotherDeviceAppliedWhilePlayingIsReportedOnceReopened) {
  ASSERT_NE(open(), nullptr);
  play_a_second();
  HWND combo = control(IDC_DEVICE_LIST);
  uitest::select_combo(combo, 2);
  press(IDC_SETTINGS_APPLY);
  EXPECT_NE(text(IDC_DEVICE_STATUS).find(kMustStop), std::string::npos);
  plugin_.module->Close();
  // The song plays out; at the full stop the output thread opens Card B and
  // the page refreshes its report on its own thread.
  bool reopened = uitest::pump_until(
      [this] { return text(IDC_DEVICE_STATUS).find("Status: ok - using DirectX 8 interface") != std::string::npos; },
      15000);
  EXPECT_TRUE(reopened) << text(IDC_DEVICE_STATUS);
  EXPECT_NE(text(IDC_DEVICE_STATUS).find("Speaker config: unknown"), std::string::npos);
}

class SettingsOnSoftwareCard : public SettingsOnCard {
 protected:
  void SetUp() override {
    configure(false);
    ASSERT_TRUE(uitest::plugin_load(plugin_));
  }
};

TEST_F(SettingsOnSoftwareCard, ReportWithoutHardwareVoices) {
  ASSERT_NE(open(), nullptr);
  std::string status = text(IDC_DEVICE_STATUS);
  EXPECT_NE(status.find("(no hardware acceleration available)"), std::string::npos) << status;
  EXPECT_EQ(status.find("Hardware 3D streaming buffers"), std::string::npos) << status;
}

}  // namespace
