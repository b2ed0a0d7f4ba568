// The player's command line: files to play, where the rendered room goes,
// the settings folder and presets, the clock, and the list of timed actions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Set commits one engine setting; SeekBy, TogglePause come from the keyboard.
enum class ActionKind { Seek, Pause, Resume, Stop, Volume, Set, SeekBy, TogglePause };

// "TIME:ACTION": at TIME seconds after playback started (the clock runs on
// through pauses), do ACTION. seek=SECONDS moves within the song playing
// then; volume=0..255.
struct TimedAction {
  int64_t atMs = 0;
  ActionKind kind = ActionKind::Stop;
  int64_t value = 0;  // seek: position in ms; volume: 0..255; seek by: ms (signed)
  int setting = -1;   // set: index into setting_fields, `value` the new value
};

// "NAME=VALUE" of an engine setting by its field name, VALUE decimal or 0x
// hexadecimal, checked against the setting's range; false with a message.
bool setting_parse(const std::string &text, int *index, int32_t *value, std::string *error);

// Parses one "TIME:ACTION"; false with a message saying what is wrong.
bool action_parse(const std::string &text, TimedAction *out, std::string *error);
// The text form of an action, for the player's log ("seek to 60.0 s").
std::string action_describe(const TimedAction &action);

// What the main window answers to IPC_ISFULLSTOP. classic: nonzero when the
// user stops playback, 0 at a change of song. new: 1 while a song that
// reached its end is closed before the next, 2 at the end of the playlist,
// 0 for the user's stop.
enum class FullStopMode { Classic, New };

enum class ClockMode { Default, Simulated, Real };

struct PlayerOptions {
  std::vector<std::string> files;
  bool demo = false;
  double demoSeconds = 0.0;  // 0: the demo's own length
  std::string writeDemo;     // folder to write the demo songs into as WAV files
  std::string out;           // rendered room as a WAV file
  std::string device;        // the ALSA device to play live on; empty: "default"
  std::vector<TimedAction> sets;  // --set NAME=VALUE, committed before the first song
  std::string plugin;        // path of the plug-in; empty: look for it
  std::string settings;      // folder the host reports as its plug-in folder
  std::string env, eq;       // presets copied into the settings folder before Init
  std::vector<TimedAction> actions;  // in time order
  FullStopMode fullStop = FullStopMode::Classic;
  ClockMode clock = ClockMode::Default;
  int room = 1;
  int volume = 255;
  double tailSeconds = 1.5;  // how long the room is heard after the playlist
  bool quiet = false;
  bool help = false;
};

// Parses argv[1..]; false with a message for a usage error.
bool options_parse(int argc, const char *const *argv, PlayerOptions *out, std::string *error);

// The --help text. simulated_clock tells whether this build can run on the
// simulated clock.
std::string options_usage(const char *program, bool simulated_clock);
