// A short smoke run of the shipped 32-bit out_sonorium.dll, loaded as the
// player loads it, on the software card's drop-in dsound.dll: the plug-in
// enables itself on the card's EAX 2.0 device, plays a short song to its
// end, and at Quit stores its state in SONORIUM\ of the plug-in folder.
// Small enough to run inside an emulated machine.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "engine/module.h"
#include "tests/ui_test_fixture.h"

namespace {

typedef int (*CardLiveDevices)(void);
typedef void (*CardSetSinkMemory)(uint32_t max_frames);
typedef uint32_t (*CardMemoryFrames)(void);
typedef const int16_t *(*CardMemorySamples)(void);

template <class T>
T card_function(HMODULE card, const char *name) {
  return reinterpret_cast<T>(reinterpret_cast<void (*)(void)>(GetProcAddress(card, name)));
}

// Size of a file in bytes, -1 when it cannot be opened.
long long file_size(const std::string &path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string join(const std::string &dir, const char *name) {
  if (!dir.empty() && dir.back() != '\\' && dir.back() != '/') return dir + "\\" + name;
  return dir + name;
}

// WINDOW CHECKS: each of the plug-in's windows opened once on the running
// plug-in (the About box, the tray's windows). A check opens its window,
// finds it, looks at it and closes it again, leaving no window behind; it
// reports with EXPECT_* and runs before Quit. Add one entry per window, as
// {"About", check_about}.
struct WindowCheck {
  const char *name;
  void (*check)(uitest::Plugin &plugin);
};

const char kNotifyClass[] = "Sonorium notifywindow";

// The modal About box: opened by the host's About, closed by its own
// button from a second thread, as a user would.
void check_about(uitest::Plugin &plugin) {
  std::atomic<bool> seen{false};
  std::thread closer([&seen] {
    for (int ms = 0; ms < 10000; ms += 20) {
      HWND about = uitest::find_window("#32770", "About Sonorium plugin");
      if (about && IsWindowVisible(about)) {
        seen = true;
        PostMessageA(about, WM_COMMAND, 800, 0);
        return;
      }
      Sleep(20);
    }
  });
  plugin.module->About(nullptr);
  closer.join();
  EXPECT_TRUE(seen.load()) << "no About box appeared";
}

// A tray command opens a modeless window of this title; WM_CLOSE ends it.
void check_tray_dialog(WPARAM command, const char *title) {
  HWND notify = uitest::find_window(kNotifyClass, kNotifyClass);
  ASSERT_NE(notify, nullptr) << "no notify window";
  SendMessageA(notify, WM_COMMAND, command, 0);
  HWND window = nullptr;
  uitest::pump_until([&] { return (window = uitest::find_window("#32770", title)) && IsWindowVisible(window); },
                     5000);
  ASSERT_NE(window, nullptr) << "command " << command << " opened no \"" << title << "\"";
  EXPECT_TRUE(uitest::is_visible(window));
  SendMessageA(window, WM_CLOSE, 0, 0);
  uitest::pump_until([&] { return !IsWindow(window); }, 5000);
  EXPECT_FALSE(IsWindow(window)) << title << " did not close";
}

void check_settings(uitest::Plugin &) { check_tray_dialog(95, "DirectSound settings"); }
void check_equalizer(uitest::Plugin &) { check_tray_dialog(94, "SSE2/3 32-Band FIR Equalizer"); }
void check_eax_panel(uitest::Plugin &) { check_tray_dialog(96, "Sonorium output plug-in v1.06"); }

// The view window lives on its own thread: command 97 shows it, again hides it.
void check_view(uitest::Plugin &) {
  HWND notify = uitest::find_window(kNotifyClass, kNotifyClass);
  HWND view = uitest::find_window("DS3D positioning", "DS3D positioning");
  ASSERT_NE(notify, nullptr);
  ASSERT_NE(view, nullptr) << "no view window";
  EXPECT_FALSE(IsWindowVisible(view));
  SendMessageA(notify, WM_COMMAND, 97, 0);
  EXPECT_TRUE(uitest::pump_until([&] { return IsWindowVisible(view) != FALSE; }, 5000)) << "97 did not show the view";
  SendMessageA(notify, WM_COMMAND, 97, 0);
  EXPECT_TRUE(uitest::pump_until([&] { return !IsWindowVisible(view); }, 5000)) << "97 again did not hide it";
}

std::vector<WindowCheck> window_checks() {
  return {{"About", check_about},
          {"Settings", check_settings},
          {"Equalizer", check_equalizer},
          {"EAX panel", check_eax_panel},
          {"View", check_view}};
}

// A song through the plug-in as the player's decoder thread hands it over:
// blocks of 576 frames whenever CanWrite has room, Write(NULL, 0) at the
// end, then IsPlaying (and CanWrite) polled until the song has played.
// Returns false with a test failure when the plug-in stops taking audio.
bool play_song(Out_Module *m, int seconds) {
  const int rate = 44100, frames_per_block = 576;
  std::vector<int16_t> block(frames_per_block * 2);
  const int total_blocks = seconds * rate / frames_per_block;
  int phase = 0;
  DWORD start = GetTickCount();
  for (int b = 0; b < total_blocks;) {
    int bytes = int(block.size() * sizeof(int16_t));
    if (m->CanWrite() < bytes) {
      if (GetTickCount() - start > DWORD(seconds * 1000 + 60000)) {
        ADD_FAILURE() << "CanWrite stayed below one block; " << b << " of " << total_blocks << " written";
        return false;
      }
      Sleep(10);
      continue;
    }
    // A 440 Hz tone, left and right a little apart.
    for (int i = 0; i < frames_per_block; ++i, ++phase) {
      double x = std::sin(2.0 * 3.14159265358979 * 440.0 * phase / rate);
      block[2 * i] = int16_t(8000 * x);
      block[2 * i + 1] = int16_t(6000 * x);
    }
    EXPECT_EQ(m->Write(reinterpret_cast<char *>(block.data()), bytes), 0);
    ++b;
  }
  m->Write(nullptr, 0);
  DWORD wait_start = GetTickCount();
  while (m->IsPlaying()) {
    if (GetTickCount() - wait_start > 60000) {
      ADD_FAILURE() << "IsPlaying still 1 a minute after the last block";
      return false;
    }
    m->CanWrite();
    Sleep(10);
  }
  return true;
}

TEST(SmokeOnCard, PlaysASongAndStoresItsStateAtQuit) {
  // The card first, as the plug-in will bind to it: its memory sink keeps
  // what the room rendered.
  HMODULE card = LoadLibraryA("dsound.dll");
  ASSERT_NE(card, nullptr);
  auto live_devices = card_function<CardLiveDevices>(card, "card_live_devices");
  auto sink_memory = card_function<CardSetSinkMemory>(card, "card_set_sink_memory");
  auto memory_frames = card_function<CardMemoryFrames>(card, "card_memory_frames");
  auto memory_samples = card_function<CardMemorySamples>(card, "card_memory_samples");
  ASSERT_TRUE(live_devices && sink_memory && memory_frames && memory_samples)
      << "the dsound.dll beside the program is not the software card";
  const uint32_t kept_frames = 48000 * 30;
  sink_memory(kept_frames);

  uitest::Plugin plugin;
  ASSERT_TRUE(uitest::plugin_load(plugin));
  const std::string settings = join(plugin.plugin_dir, "SONORIUM");
  Out_Module *m = plugin.module;
  ASSERT_NE(m, nullptr);
  EXPECT_STREQ(m->description, OUT_MODULE_DESCRIPTION);
  EXPECT_EQ(live_devices(), 1) << "Init keeps the EAX 2.0 device open";

  int latency = m->Open(44100, 2, 16, -1, -1);
  ASSERT_GT(latency, 0) << "the plug-in stayed disabled on the card's EAX 2.0 device";
  EXPECT_TRUE(play_song(m, 2));
  EXPECT_GE(m->GetWrittenTime(), 1900);
  EXPECT_GE(m->GetOutputTime(), 1000) << "the play position hardly moved";
  m->Close();

  // The song reached the card: the room rendered audible frames.
  uint32_t frames = memory_frames();
  EXPECT_GT(frames, 48000u) << "under a second of the song was rendered";
  const int16_t *samples = memory_samples();
  int peak = 0;
  for (uint32_t i = 0; samples && i < 2 * frames; ++i) peak = std::max(peak, std::abs(int(samples[i])));
  EXPECT_GT(peak, 500) << "the rendered song is silent";

  // The first pass of the output thread made the settings folder.
  EXPECT_NE(GetFileAttributesA(settings.c_str()), INVALID_FILE_ATTRIBUTES) << settings;

  for (const WindowCheck &w : window_checks()) {
    SCOPED_TRACE(w.name);
    w.check(plugin);
  }

  // Quit, and nothing before it, writes the state of the room, the
  // equalizer curve and the equalizer flags.
  EXPECT_EQ(file_size(join(settings, "_autosave.env")), -1) << "written before Quit";
  uitest::plugin_unload(plugin);
  EXPECT_EQ(live_devices(), 0) << "Quit left a device open";
  EXPECT_EQ(file_size(join(settings, "_autosave.env")), 572);
  EXPECT_EQ(file_size(join(settings, "_autosave.eq")), 136);
  EXPECT_EQ(file_size(join(settings, "_autosave.ds")), 36);
}

}  // namespace
