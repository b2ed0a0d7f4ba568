// sonorium_player: loads the output plug-in as the music player does, plays
// a playlist of WAV files (or the built-in demo) through it, and writes
// what the software card renders of the room to a WAV file.
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/module.h"
#include "host/demo.h"
#include "host/host_os.h"
#include "host/install.h"
#include "host/options.h"
#include "host/player.h"
#include "platform/os.h"

namespace {

const char *const PROGRAM = "sonorium_player";
const int OUT_VER = 0x10;

Player *current_player = nullptr;
std::string plugin_directory;

// The main window's answers: the plug-in folder, and whether a close is a
// full stop; everything else as a window without an answer (0).
intptr_t answer_ipc(LPARAM code) {
  if (code == IPC_GETPLUGINDIRECTORY) return reinterpret_cast<intptr_t>(plugin_directory.c_str());
  if (code == IPC_ISFULLSTOP) return current_player ? current_player->is_full_stop() : 1;
  return 0;
}

int usage_error(const std::string &message) {
  std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", PROGRAM, message.c_str(), PROGRAM);
  return 2;
}

int failure(const std::string &message) {
  std::fprintf(stderr, "%s: %s\n", PROGRAM, message.c_str());
  return 1;
}

int write_demo(const PlayerOptions &o) {
  if (!host_make_dir(o.writeDemo)) return failure(o.writeDemo + ": cannot create the folder");
  std::vector<DemoSong> songs = demo_songs(o.demoSeconds);
  for (size_t i = 0; i < songs.size(); ++i) {
    const WavAudio &a = songs[i].audio;
    std::string path = o.writeDemo + host_separator() + "song" + std::to_string(i + 1) + ".wav";
    std::string error;
    if (!write_whole_file(path, wav_build(a.rate, a.channels, a.bits, a.pcm), &error)) return failure(error);
    if (!o.quiet) std::printf("wrote %s (%d Hz, %d-bit, %.2f s)\n", path.c_str(), a.rate, a.bits, a.seconds());
  }
  return 0;
}

// The progress bar on the terminal: one line per song, redrawn in place.
struct Progress {
  bool enabled = false;
  int shownSong = 0;
  int shownTenths = -1;
  void show(int song, int songs, double at, double length) {
    if (!enabled || length < 5.0) return;
    int tenths = int(at * 10);
    if (song == shownSong && tenths == shownTenths) return;
    shownSong = song;
    shownTenths = tenths;
    const int width = 30;
    int fill = length > 0 ? int(width * (at / length)) : 0;
    if (fill > width) fill = width;
    std::fprintf(stderr, "\r  song %d/%d [%s%s] %6.1f / %.1f s", song, songs, std::string(size_t(fill), '#').c_str(),
                 std::string(size_t(width - fill), '.').c_str(), at, length);
    std::fflush(stderr);
  }
  void finish() {
    if (shownSong) std::fprintf(stderr, "\r%*s\r", 72, "");
    shownSong = 0;
  }
};

}  // namespace

int main(int argc, char **argv) {
  PlayerOptions o;
  std::string error;
  if (!options_parse(argc, argv, &o, &error)) return usage_error(error);
  const bool can_simulate = host_simulated_clock_available();
  if (o.help) {
    std::fputs(options_usage(PROGRAM, can_simulate).c_str(), stdout);
    return 0;
  }
  if (!o.writeDemo.empty()) return write_demo(o);
  if (o.clock == ClockMode::Simulated && !can_simulate)
    return usage_error("this build runs in real time only: the plug-in and the card keep separate clocks");
  const bool simulated = can_simulate && o.clock != ClockMode::Real;
  FILE *log = o.quiet ? nullptr : stdout;

  // The plug-in.
  std::string path = host_absolute(o.plugin.empty() ? host_default_plugin() : o.plugin);
  void *library = host_load_library(path, &error);
  if (!library) return failure("cannot load the plug-in " + path + ": " + error);
  typedef Out_Module *(SONORIUM_CDECL * GetModule)(void);
  GetModule get_module = reinterpret_cast<GetModule>(host_symbol(library, "winampGetOutModule"));
  if (!get_module) {
    host_free_library(library);
    return failure(path + " exports no winampGetOutModule");
  }
  Out_Module *module = get_module();
  if (!module || module->version != OUT_VER) {
    host_free_library(library);
    return failure(path + ": not an output module of version 0x10");
  }
  if (log) std::fprintf(log, "loaded %s: %s\n", path.c_str(), module->description);

  // The settings folder the main window reports, with the presets in it.
  std::string temp_settings;
  if (!o.settings.empty()) {
    if (!host_make_dir(o.settings)) {
      host_free_library(library);
      return failure(o.settings + ": cannot create the settings folder");
    }
    plugin_directory = host_absolute(o.settings);
  } else if (!o.env.empty() || !o.eq.empty()) {
    temp_settings = host_make_temp_dir(&error);
    if (temp_settings.empty()) {
      host_free_library(library);
      return failure(error);
    }
    plugin_directory = temp_settings;
    if (log) std::fprintf(log, "settings: a temporary folder (%s), so the stored settings stay as they are\n",
                          temp_settings.c_str());
  } else {
    plugin_directory = host_folder_of(path);
  }
  if (!install_presets(plugin_directory, o.env, o.eq, &error)) {
    if (!temp_settings.empty()) host_remove_temp_dir(temp_settings);
    host_free_library(library);
    return failure(error);
  }
  if (log) {
    std::fprintf(log, "settings folder: %s\n", settings_file(plugin_directory, "").c_str());
    if (!o.env.empty()) std::fprintf(log, "environment preset: %s\n", o.env.c_str());
    if (!o.eq.empty()) std::fprintf(log, "equalizer preset: %s (equalizer on)\n", o.eq.c_str());
  }

  // The card: where the room goes, and whether it renders the room at all.
  HostCardApi card;
  bool have_card = host_card_api(&card);
  auto give_up = [&](const std::string &message) {
    if (!temp_settings.empty()) host_remove_temp_dir(temp_settings);
    host_free_library(library);
    return failure(message);
  };
  if (!o.out.empty() && !have_card)
    return give_up("--out needs the software card's dsound.dll beside the player; this is a real sound device");
  if (have_card) {
    // Room first: the card's first configuration call resets its sink.
    card.setRoom(o.room);
    if (!o.out.empty() && card.setSinkWav(o.out.c_str()) != 0) return give_up(o.out + ": cannot create the file");
  }
  if (log) {
    if (!o.out.empty())
      std::fprintf(log, "rendering to %s (48000 Hz 16-bit stereo, room %s)\n", o.out.c_str(), o.room ? "on" : "off");
    else if (have_card && can_simulate)
      std::fprintf(log, "no --out: the software card's mix is not kept\n");
    else if (!have_card)
      std::fprintf(log, "playing on the system's sound device\n");
    std::fprintf(log, "clock: %s\n", simulated ? "simulated (as fast as the machine allows)" : "real time");
  }
  if (simulated) {
    if (!card.setSimulatedTime || card.setSimulatedTime(1) != 0) return give_up("cannot switch to simulated time");
    host_clock_thread(1);
  }

  // The playlist.
  std::vector<PlaylistEntry> list;
  std::shared_ptr<std::vector<DemoSong>> demo;
  PlayerConfig config;
  config.fullStop = o.fullStop;
  config.volume = o.volume;
  config.actions = o.actions;
  config.log = log;
  config.pump = host_pump_messages;
  if (o.demo) {
    demo = std::make_shared<std::vector<DemoSong>>(demo_songs(o.demoSeconds));
    for (size_t i = 0; i < demo->size(); ++i) {
      list.push_back({(*demo)[i].name, [demo, i](WavAudio *a, std::string *) {
                        *a = (*demo)[i].audio;
                        return WavResult::Ok;
                      }});
    }
    if (o.actions.empty()) config.actions = demo_actions(o.demoSeconds);
  } else {
    for (const std::string &file : o.files)
      list.push_back({file, [file](WavAudio *a, std::string *m) { return wav_read_file(file, a, m); }});
  }
  Progress progress;
  progress.enabled = !o.quiet && host_stderr_is_terminal();
  config.progress = [&progress](int s, int n, double at, double length) { progress.show(s, n, at, length); };

  auto wall_start = std::chrono::steady_clock::now();
  uint32_t clock_start = os_tick_count();
  Player player(module, config);
  current_player = &player;
  HWND main_window = host_create_main_window(answer_ipc);
  module->hMainWindow = main_window;
  module->hDllInstance = reinterpret_cast<HINSTANCE>(library);
  module->Init();
  // The output thread reads the settings folder on its first pass.
  player.wait(100);
  PlayerReport report = player.play(list);
  progress.finish();
  // Let the stop fade finish and the room ring out, then quit.
  player.wait(uint32_t(o.tailSeconds * 1000.0));
  module->Quit();
  double clock_seconds = double(os_tick_count() - clock_start) / 1000.0;
  double wall_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
  current_player = nullptr;
  module->hMainWindow = nullptr;
  host_destroy_main_window(main_window);
  if (simulated) host_clock_thread(0);
  if (!temp_settings.empty()) host_remove_temp_dir(temp_settings);
  host_free_library(library);

  if (report.played == 0 && report.failed > 0)
    std::fprintf(stderr, "%s: nothing played (%d file(s) failed)\n", PROGRAM, report.failed);
  else if (report.failed > 0)
    std::fprintf(stderr, "%s: %d file(s) failed, %d played\n", PROGRAM, report.failed, report.played);
  if (log) {
    std::fprintf(log, "played %d song(s), %.2f s of music%s\n", report.played, report.musicSeconds,
                 report.stopped ? ", stopped" : "");
    if (!o.out.empty()) std::fprintf(log, "wrote %s\n", o.out.c_str());
    std::fprintf(log, "rendered %.2f s of music in %.2f s (%.1f x real time)\n", clock_seconds, wall_seconds,
                 wall_seconds > 0 ? clock_seconds / wall_seconds : 0.0);
  }
  return report.failed > 0 ? 1 : 0;
}
