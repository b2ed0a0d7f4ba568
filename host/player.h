// The playlist loop of the player: per song the main thread calls SetVolume,
// SetPan, Open and SetVolume(-666), a decoder thread writes blocks while
// CanWrite has room for them, ends with Write(NULL, 0) and polls IsPlaying
// until the song has played, and the main thread closes it and opens the
// next. Timed actions (seek, pause, resume, stop, volume) run at their
// times on the main thread, seeks through the decoder thread's Flush.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "engine/module.h"
#include "host/options.h"
#include "host/wav.h"

struct PlaylistEntry {
  std::string name;
  // Fills the audio; a message says why it failed or what is cut short.
  std::function<WavResult(WavAudio *, std::string *)> load;
};

// Why the current stream is being closed, as the main window reports it.
enum class CloseReason { UserStop, NextSong, EndOfPlaylist };

// The IPC_ISFULLSTOP answer for a close reason under the chosen convention.
intptr_t full_stop_answer(FullStopMode mode, CloseReason reason);

struct PlayerReport {
  int played = 0;   // songs that were opened and played (to the end or a stop)
  int failed = 0;   // songs that could not be read or opened
  bool stopped = false;  // a stop action ended the playlist
  double musicSeconds = 0.0;  // audio handed to the plug-in
};

struct PlayerConfig {
  FullStopMode fullStop = FullStopMode::Classic;
  int volume = 255;
  std::vector<TimedAction> actions;
  int blockFrames = 576;  // the usual decoder block
  FILE *log = nullptr;    // progress of the playlist; null: silent
  FILE *errors = stderr;  // failures and warnings
  std::function<void()> pump;  // serves the main window while waiting
  // Called about every 10 ms while a song plays: its name and number (from
  // 1), the count of songs, the position heard and the song's length in
  // seconds, and whether playback is paused.
  std::function<void(const std::string &name, int song, int songs, double at, double length, bool paused)> progress;
  // Polled about every 10 ms while a song plays: an action to do now (the
  // keyboard's), or false.
  std::function<bool(TimedAction *)> input;
  // Called before a line goes to `log` or `errors` (clears a progress line).
  std::function<void()> beforeLog;
  // Commits one engine setting (a Set action); false with a message.
  std::function<bool(const TimedAction &, std::string *)> setSetting;
};

class Player {
 public:
  Player(Out_Module *module, PlayerConfig config);
  ~Player();
  Player(const Player &) = delete;
  Player &operator=(const Player &) = delete;

  // Plays the list; returns when it ended or was stopped.
  PlayerReport play(const std::vector<PlaylistEntry> &list);
  // What the main window answers to IPC_ISFULLSTOP now (any thread).
  intptr_t is_full_stop() const;
  // Waits ms on the clock while serving the main window.
  void wait(uint32_t ms);

  // Shared with the decoder thread.
  struct Decoder {
    Out_Module *module = nullptr;
    const WavAudio *audio = nullptr;
    int blockBytes = 0;
    std::atomic<int64_t> seekMs{-1};
    std::atomic<int> stop{0};
    std::atomic<int> done{0};
    std::atomic<int64_t> position{0};  // bytes decoded so far
    std::atomic<int64_t> written{0};   // bytes handed to Write
  };

 private:
  void run_due_actions(Decoder *decoder, int64_t now_ms);
  void run_action(Decoder *decoder, const TimedAction &a, int64_t now_ms);
  // fprintf to `to` (nothing when null), after clearing a progress line.
  void say(FILE *to, const char *format, ...) __attribute__((format(printf, 3, 4)));

  Out_Module *module_;
  PlayerConfig config_;
  std::atomic<int> reason_{int(CloseReason::UserStop)};
  size_t nextAction_ = 0;
  int64_t startMs_ = 0;
  bool paused_ = false;
  bool stopRequested_ = false;
};
