// sonorium_player: loads the output plug-in as the music player does, plays
// a playlist of audio files (or the built-in demo) through it, and plays
// what the software card renders of the room on the sound device or writes
// it to a WAV file.
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/module.h"
#include "engine/settings_export.h"
#include "host/audio_file.h"
#include "host/demo.h"
#include "host/host_os.h"
#include "host/install.h"
#include "host/live_output.h"
#include "host/options.h"
#include "host/player.h"
#include "host/terminal.h"
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

// The progress line on the terminal: the song, where it is and how long
// it is, redrawn in place.
struct Progress {
  bool enabled = false;
  bool shown = false;
  std::string line;
  static std::string clock_text(double seconds) {
    int s = int(seconds);
    char buf[32];
    if (s >= 3600)
      std::snprintf(buf, sizeof buf, "%d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
    else
      std::snprintf(buf, sizeof buf, "%d:%02d", s / 60, s % 60);
    return buf;
  }
  void show(const std::string &name, int song, int songs, double at, double length, bool paused) {
    if (!enabled) return;
    std::string title = name;
    size_t slash = title.find_last_of("/\\");
    if (slash != std::string::npos) title = title.substr(slash + 1);
    if (title.size() > 40) title = "..." + title.substr(title.size() - 37);
    std::string text = "  [" + std::to_string(song) + "/" + std::to_string(songs) + "] " + title + "  " +
                       clock_text(at) + " / " + clock_text(length) + (paused ? "  (paused)" : "");
    if (shown && text == line) return;
    // Pads over the rest of a longer line drawn before.
    size_t pad = line.size() > text.size() ? line.size() - text.size() : 0;
    std::fprintf(stderr, "\r%s%*s", text.c_str(), int(pad), "");
    std::fflush(stderr);
    line = text;
    shown = true;
  }
  void finish() {
    if (shown) std::fprintf(stderr, "\r%*s\r", int(line.size()), "");
    shown = false;
    line.clear();
  }
};

// Commits settings through the plug-in's exported commit, starting from what
// it has applied; false with a message.
bool commit_settings(SonoriumSettingsCommit commit, const std::vector<TimedAction> &sets, std::string *error) {
  if (!commit) {
    *error = "this plug-in takes no settings from its host (it exports no " SONORIUM_SETTINGS_COMMIT_SYMBOL ")";
    return false;
  }
  EngineSettings s;
  commit(nullptr, &s);
  for (const TimedAction &a : sets) s.*setting_fields[a.setting].field = int32_t(a.value);
  char message[160] = "the plug-in refused the settings";
  if (!settings_check(s, message, sizeof message) || commit(&s, nullptr) != 0) {
    *error = message;
    return false;
  }
  return true;
}

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
  // The card opens --out for writing before the first song is read, so an
  // --out that names a song would destroy it.
  if (!o.out.empty())
    for (const std::string &file : o.files)
      if (host_absolute(file) == host_absolute(o.out))
        return usage_error("--out " + o.out + " is one of the songs to play");
  if (o.clock == ClockMode::Simulated && !can_simulate)
    return usage_error("this build runs in real time only: the plug-in and the card keep separate clocks");
  // Live output keeps the simulated clock at the sound device's pace.
  const bool live = o.out.empty() && live_output_available();
  const bool simulated = live || (can_simulate && o.clock != ClockMode::Real);
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
  SonoriumSettingsCommit commit =
      reinterpret_cast<SonoriumSettingsCommit>(host_symbol(library, SONORIUM_SETTINGS_COMMIT_SYMBOL));
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
  LiveOutput *live_out = nullptr;
  auto give_up = [&](const std::string &message) {
    if (live_out) live_output_finish(live_out);
    if (!temp_settings.empty()) host_remove_temp_dir(temp_settings);
    host_free_library(library);
    return failure(message);
  };
  if (!o.out.empty() && !have_card)
    return give_up("--out needs the software card's dsound.dll beside the player; this is a real sound device");
  if (live) {
    std::string device = o.device.empty() ? "default" : o.device;
    live_out = live_output_open(device, &error);
    if (!live_out) return give_up(error);
  }
  if (have_card) {
    // Room first: the card's first configuration call resets its sink.
    card.setRoom(o.room);
    if (!o.out.empty() && card.setSinkWav(o.out.c_str()) != 0) return give_up(o.out + ": cannot create the file");
  }
  if (log) {
    if (!o.out.empty())
      std::fprintf(log, "rendering to %s (48000 Hz 16-bit stereo, room %s)\n", o.out.c_str(), o.room ? "on" : "off");
    else if (live)
      std::fprintf(log, "playing live on the sound device '%s' (48000 Hz 16-bit stereo, room %s)\n",
                   o.device.empty() ? "default" : o.device.c_str(), o.room ? "on" : "off");
    else if (have_card && can_simulate)
      std::fprintf(log, "no --out: the software card's mix is not kept\n");
    else if (!have_card)
      std::fprintf(log, "playing on the system's sound device\n");
    std::fprintf(log, "clock: %s\n",
                 live ? "the sound device's" : simulated ? "simulated (as fast as the machine allows)" : "real time");
  }
  if (simulated) {
    if (!card.setSimulatedTime || card.setSimulatedTime(1) != 0) return give_up("cannot switch to simulated time");
    host_clock_thread(1);
  }
  if (live_out && !live_output_start(live_out, &error)) {
    live_output_finish(live_out);
    live_out = nullptr;
    if (simulated) host_clock_thread(0);
    return give_up(error);
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
      list.push_back({file, [file](WavAudio *a, std::string *m) { return audio_read_file(file, a, m); }});
  }
  Progress progress;
  progress.enabled = !o.quiet && host_stderr_is_terminal();
  config.progress = [&progress](const std::string &name, int s, int n, double at, double length, bool paused) {
    progress.show(name, s, n, at, length, paused);
  };
  config.beforeLog = [&progress]() { progress.finish(); };
  config.setSetting = [commit](const TimedAction &a, std::string *e) { return commit_settings(commit, {a}, e); };
  const bool keys = live && terminal_keys_begin();
  if (keys) {
    config.input = terminal_key_action;
    if (log) std::fprintf(log, "keys: space pauses and resumes, left and right arrows seek 10 s, q stops\n");
  }

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
  PlayerReport report;
  bool settings_failed = false;
  if (!o.sets.empty()) {
    if (commit_settings(commit, o.sets, &error)) {
      if (log)
        for (const TimedAction &a : o.sets) std::fprintf(log, "%s\n", action_describe(a).c_str());
      // The values that wait for a full stop are taken over on the output
      // thread's next pass; playback has not started, so that is now.
      player.wait(50);
    } else {
      std::fprintf(stderr, "%s: --set: %s\n", PROGRAM, error.c_str());
      settings_failed = true;
    }
  }
  if (!settings_failed) report = player.play(list);
  progress.finish();
  if (keys) terminal_keys_end();
  // Let the stop fade finish and the room ring out, then quit.
  player.wait(uint32_t(o.tailSeconds * 1000.0));
  module->Quit();
  LiveStats live_stats;
  if (live_out) live_stats = live_output_finish(live_out);
  live_out = nullptr;
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
    if (live) {
      const LiveStats &l = live_stats;
      std::fprintf(log,
                   "sound device: %lld frames in %.2f s; period %d frames, buffer %d frames (%.0f ms), card taken "
                   "every %d ms, at most %.0f ms queued, %d underrun(s)\n",
                   (long long)l.frames, l.wallSeconds, l.periodFrames, l.bufferFrames, 1000.0 * l.bufferFrames / l.rate,
                   l.cardPeriodMs, 1000.0 * double(l.maxQueuedFrames) / l.rate, l.xruns);
    }
    std::fprintf(log, "rendered %.2f s of music in %.2f s (%.1f x real time)\n", clock_seconds, wall_seconds,
                 wall_seconds > 0 ? clock_seconds / wall_seconds : 0.0);
  }
  return report.failed > 0 || settings_failed ? 1 : 0;
}
