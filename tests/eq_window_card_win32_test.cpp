// The equalizer window of the real out_sonorium.dll on the software card's
// drop-in dsound.dll, opened through the tray command as the user opens it:
// its sliders change what the room plays, its check box switches the
// filter, and its band highlights survive a restart of the plug-in.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/module.h"
#include "resources/resource_ids.h"
#include "tests/ui_test_fixture.h"

namespace {

const char kTitle[] = "SSE2/3 32-Band FIR Equalizer";

template <class T>
T card_function(HMODULE card, const char *name) {
  return reinterpret_cast<T>(reinterpret_cast<void (*)(void)>(GetProcAddress(card, name)));
}

struct Card {
  HMODULE dll = nullptr;
  void (*set_room)(int) = nullptr;
  void (*sink_memory)(uint32_t) = nullptr;
  uint32_t (*memory_frames)(void) = nullptr;
  const int16_t *(*memory_samples)(void) = nullptr;
  void (*memory_clear)(void) = nullptr;
  void (*mix_now)(void) = nullptr;
  bool load() {
    dll = LoadLibraryA("dsound.dll");
    if (!dll) return false;
    set_room = card_function<void (*)(int)>(dll, "card_set_room");
    sink_memory = card_function<void (*)(uint32_t)>(dll, "card_set_sink_memory");
    memory_frames = card_function<uint32_t (*)(void)>(dll, "card_memory_frames");
    memory_samples = card_function<const int16_t *(*)(void)>(dll, "card_memory_samples");
    memory_clear = card_function<void (*)(void)>(dll, "card_memory_clear");
    mix_now = card_function<void (*)(void)>(dll, "card_mix_now");
    return set_room && sink_memory && memory_frames && memory_samples && memory_clear && mix_now;
  }
  // True once the last 100 ms rendered are silent.
  bool quiet() const {
    uint32_t frames = memory_frames();
    const int16_t *s = memory_samples();
    if (!s || frames < 4800) return false;
    for (uint32_t i = frames - 4800; i < frames; ++i)
      if (s[2 * i] != 0) return false;
    return true;
  }
  // The steady level of what was rendered since the last clear: the largest
  // sample of the left channel over the middle half of the sound. The edges
  // are left out: the fades, and the filter's answer to a sine that starts
  // and ends abruptly, which passes the bands around the sine's own.
  int left_peak() const {
    uint32_t frames = memory_frames();
    const int16_t *s = memory_samples();
    uint32_t first = 0, last = 0;
    for (uint32_t i = 0; s && i < frames; ++i) {
      if (s[2 * i] == 0) continue;
      if (last == 0) first = i;
      last = i + 1;
    }
    const uint32_t quarter = (last - first) / 4;
    int peak = 0;
    for (uint32_t i = first + quarter; s && i < last - quarter; ++i) peak = std::max(peak, std::abs(int(s[2 * i])));
    return peak;
  }
};

// A song of a steady sine through the plug-in as the player's decoder thread
// hands it over, played to its end.
bool play_sine(Out_Module *m, double hz, int amplitude, int ms) {
  const int rate = 44100, block_frames = 576;
  if (m->Open(rate, 2, 16, -1, -1) <= 0) return false;
  std::vector<int16_t> block(block_frames * 2);
  const int blocks = ms * rate / 1000 / block_frames;
  long phase = 0;
  DWORD start = GetTickCount();
  for (int b = 0; b < blocks;) {
    int bytes = int(block.size() * sizeof(int16_t));
    if (m->CanWrite() < bytes) {
      if (GetTickCount() - start > DWORD(ms + 30000)) return false;
      Sleep(10);
      continue;
    }
    for (int i = 0; i < block_frames; ++i, ++phase) {
      int16_t v = int16_t(std::lround(amplitude * std::sin(2.0 * 3.14159265358979 * hz * double(phase) / rate)));
      block[2 * i] = v;
      block[2 * i + 1] = v;
    }
    m->Write(reinterpret_cast<char *>(block.data()), bytes);
    ++b;
  }
  m->Write(nullptr, 0);
  DWORD wait = GetTickCount();
  while (m->IsPlaying()) {
    if (GetTickCount() - wait > 30000) return false;
    m->CanWrite();
    Sleep(10);
  }
  m->Close();
  return true;
}

double db(double ratio) { return 20.0 * std::log10(ratio); }

class EqWindowOnCard : public ::testing::Test {
 protected:
  Card card;
  uitest::Plugin plugin;
  HWND window = nullptr;

  void SetUp() override { ASSERT_TRUE(card.load()) << "the dsound.dll beside the program is not the software card"; }
  void TearDown() override {
    if (plugin.module) uitest::plugin_unload(plugin);
  }

  // Loads the plug-in and waits for its first pass, which reads the
  // autosave files of the plug-in folder.
  void load(const char *plugin_dir = nullptr) {
    ASSERT_TRUE(uitest::plugin_load(plugin, "out_sonorium.dll", plugin_dir));
    ASSERT_TRUE(uitest::pump_until([&] { return uitest::host_asked(plugin, IPC_GETPLUGINDIRECTORY) > 0; }, 5000));
    uitest::pump(300);
  }
  // Tray command 94 to the notify window.
  void open() {
    HWND notify = uitest::find_window("Sonorium notifywindow", nullptr);
    ASSERT_NE(notify, nullptr);
    SendMessageA(notify, WM_COMMAND, 94, 0);
    uitest::pump(50);
    window = uitest::find_window(nullptr, kTitle);
    ASSERT_NE(window, nullptr) << "the tray command opened no equalizer window";
    EXPECT_TRUE(uitest::is_visible(window));
  }
  void close() {
    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
    window = nullptr;
  }
  HWND item(int id) { return GetDlgItem(window, id); }
  void click_static(HWND control) {
    uitest::left_click(control, 3, 3);
    uitest::pump(10);
  }
  void set_enabled(bool on) {
    if ((uitest::check_of(item(IDC_EQ_ENABLE)) == BST_CHECKED) != on) uitest::click(item(IDC_EQ_ENABLE));
    EXPECT_EQ(uitest::check_of(item(IDC_EQ_ENABLE)), on ? BST_CHECKED : BST_UNCHECKED);
  }
  // Plays the sine and returns its rendered peak. The card may still be
  // playing the song's end when the plug-in reports it played, so the sink
  // is read once the card has fallen silent: each song is measured alone.
  int played_peak(double hz) {
    card.memory_clear();
    EXPECT_TRUE(play_sine(plugin.module, hz, 3000, 1500));
    DWORD start = GetTickCount();
    do {
      Sleep(100);
      card.mix_now();
    } while (!card.quiet() && GetTickCount() - start < 5000);
    EXPECT_TRUE(card.quiet()) << "the card still plays 5 s after the song";
    return card.left_peak();
  }
};

TEST_F(EqWindowOnCard, ABandRaisedByTwelveDecibelsRaisesASineInItByAsMuch) {
  card.set_room(0);
  card.sink_memory(48000 * 10);
  load();
  open();
  // Band 8 ("1.0k") is centred on 22 bins of 46.875 Hz.
  const double hz = 22 * 46.875;
  HWND band = item(IDC_EQ_BAND_FIRST + 8);
  ASSERT_EQ(uitest::text_of(item(IDC_EQ_BAND_LABEL_FIRST + 8)), "1.0k");
  for (int k = 0; k < 32; ++k) uitest::set_trackbar(item(IDC_EQ_BAND_FIRST + k), 50);
  uitest::set_trackbar(item(IDC_EQ_PREAMP), 0);  // preamp 100: a band value of 50 is 1x

  set_enabled(false);
  int off = played_peak(hz);
  ASSERT_GT(off, 300) << "nothing was rendered";

  set_enabled(true);
  uitest::set_trackbar(band, 75);  // value 25: 0.5x
  int low = played_peak(hz);
  uitest::set_trackbar(band, 0);  // value 100: 2x
  int high = played_peak(hz);
  double raised = db(double(high) / low);
  EXPECT_NEAR(raised, 12.04, 1.0) << "low " << low << ", high " << high;
  EXPECT_NEAR(db(double(high) / off), 6.02, 1.0) << "against the unfiltered sound";

  // A band far away leaves the sine alone; switching the filter off
  // brings the unfiltered level back.
  uitest::set_trackbar(band, 50);
  uitest::set_trackbar(item(IDC_EQ_BAND_FIRST + 28), 0);
  int far_band = played_peak(hz);
  EXPECT_NEAR(db(double(far_band) / off), 0.0, 1.0);
  uitest::set_trackbar(band, 0);
  set_enabled(false);
  int off_again = played_peak(hz);
  EXPECT_NEAR(db(double(off_again) / off), 0.0, 0.5);
  close();
}

TEST_F(EqWindowOnCard, HighlightsAndTheEnableFlagSurviveARestart) {
  card.sink_memory(48000);
  load();
  const std::string dir = plugin.plugin_dir;
  open();
  HWND label5 = item(IDC_EQ_BAND_LABEL_FIRST + 5);
  ASSERT_FALSE(uitest::exstyle_of(label5) & 0x10) << "bands start highlighted";
  click_static(label5);
  click_static(item(IDC_EQ_BAND_LABEL_FIRST + 30));
  EXPECT_TRUE(uitest::exstyle_of(label5) & 0x10);
  EXPECT_FALSE(uitest::style_of(item(IDC_EQ_BAND_FIRST + 5)) & TBS_ENABLESELRANGE);
  set_enabled(true);
  uitest::set_trackbar(item(IDC_EQ_BAND_FIRST + 2), 10);
  close();
  uitest::plugin_unload(plugin);

  // _autosave.ds: the flag, then one byte per band.
  std::string ds = dir + "\\SONORIUM\\_autosave.ds";
  HANDLE f = CreateFileA(ds.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE) << ds;
  unsigned char bytes[64] = {};
  DWORD got = 0;
  ReadFile(f, bytes, sizeof bytes, &got, nullptr);
  CloseHandle(f);
  ASSERT_EQ(got, 36u);
  EXPECT_EQ(bytes[0], 1);
  for (int k = 0; k < 32; ++k) EXPECT_EQ(bytes[4 + k], (k == 5 || k == 30) ? 0 : 1) << k;

  load(dir.c_str());
  open();
  EXPECT_TRUE(uitest::exstyle_of(item(IDC_EQ_BAND_LABEL_FIRST + 5)) & 0x10);
  EXPECT_TRUE(uitest::exstyle_of(item(IDC_EQ_BAND_LABEL_FIRST + 30)) & 0x10);
  EXPECT_FALSE(uitest::exstyle_of(item(IDC_EQ_BAND_LABEL_FIRST + 6)) & 0x10);
  EXPECT_FALSE(uitest::style_of(item(IDC_EQ_BAND_FIRST + 5)) & TBS_ENABLESELRANGE);
  EXPECT_TRUE(uitest::style_of(item(IDC_EQ_BAND_FIRST + 6)) & TBS_ENABLESELRANGE);
  EXPECT_EQ(uitest::check_of(item(IDC_EQ_ENABLE)), BST_CHECKED);
  EXPECT_EQ(SendMessageA(item(IDC_EQ_BAND_FIRST + 2), TBM_GETPOS, 0, 0), 10) << "the curve came back from _autosave.eq";
  uitest::save_png(window, "eq_window_after_restart");
  close();
}

}  // namespace
