#include "host/options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/settings_export.h"
#include "host/audio_file.h"
#include "host/live_output.h"

namespace {

// A decimal number of seconds, at least 0 and at most a day.
bool parse_seconds(const std::string &text, double *out) {
  if (text.empty() || std::strchr("+-", text[0])) return false;
  char *end = nullptr;
  errno = 0;
  double v = std::strtod(text.c_str(), &end);
  if (errno != 0 || *end != 0 || !std::isfinite(v) || v < 0.0 || v > 86400.0) return false;
  // strtod also takes "inf", "nan" and hexadecimal forms; keep to decimals.
  for (char c : text)
    if (!(c == '.' || (c >= '0' && c <= '9'))) return false;
  *out = v;
  return true;
}

bool parse_int(const std::string &text, long lo, long hi, long *out) {
  if (text.empty()) return false;
  char *end = nullptr;
  errno = 0;
  long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != 0 || v < lo || v > hi) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  *out = v;
  return true;
}

int64_t to_ms(double seconds) { return int64_t(std::llround(seconds * 1000.0)); }

std::string setting_value_text(const SettingField &f, int32_t v) {
  char buf[32];
  if (f.hex)
    std::snprintf(buf, sizeof buf, "0x%X", unsigned(v));
  else
    std::snprintf(buf, sizeof buf, "%d", int(v));
  return buf;
}

// A decimal or 0x-hexadecimal integer without sign, spaces or suffix.
bool parse_setting_number(const std::string &text, long long *out) {
  bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  std::string digits = hex ? text.substr(2) : text;
  if (digits.empty() || digits.size() > 12) return false;
  for (char c : digits)
    if (!(c >= '0' && c <= '9') && !(hex && std::strchr("abcdefABCDEF", c))) return false;
  *out = std::strtoll(digits.c_str(), nullptr, hex ? 16 : 10);
  return true;
}

}  // namespace

bool setting_parse(const std::string &text, int *index, int32_t *value, std::string *error) {
  size_t eq = text.find('=');
  if (eq == std::string::npos) {
    *error = "setting '" + text + "' is not NAME=VALUE (e.g. fadeFlags=0x7C)";
    return false;
  }
  std::string name = text.substr(0, eq);
  const SettingField *f = setting_field_find(name.c_str());
  if (!f) {
    *error = "unknown setting '" + name + "' (sonorium_player --help lists them)";
    return false;
  }
  long long v;
  if (!parse_setting_number(text.substr(eq + 1), &v) || v < f->min || v > f->max) {
    *error = "setting '" + text + "': " + name + " is " + setting_value_text(*f, f->min) + " to " +
             setting_value_text(*f, f->max);
    return false;
  }
  *index = int(f - setting_fields);
  *value = int32_t(v);
  return true;
}

bool action_parse(const std::string &text, TimedAction *out, std::string *error) {
  size_t colon = text.find(':');
  if (colon == std::string::npos) {
    *error = "action '" + text + "' is not TIME:ACTION (e.g. 12:pause)";
    return false;
  }
  double at;
  if (!parse_seconds(text.substr(0, colon), &at)) {
    *error = "action '" + text + "': time must be seconds, e.g. 12 or 12.5";
    return false;
  }
  std::string what = text.substr(colon + 1);
  if (what.compare(0, 4, "set ") == 0 || what.compare(0, 4, "set:") == 0) {
    TimedAction a;
    a.atMs = to_ms(at);
    a.kind = ActionKind::Set;
    int32_t v;
    if (!setting_parse(what.substr(4), &a.setting, &v, error)) {
      *error = "action '" + text + "': " + *error;
      return false;
    }
    a.value = v;
    *out = a;
    return true;
  }
  if (what == "set") {
    *error = "action '" + text + "': set needs NAME=VALUE; quote the action so that it stays one argument (--at '" +
             text.substr(0, colon) + ":set gapMode=2')";
    return false;
  }
  std::string arg;
  size_t eq = what.find('=');
  if (eq != std::string::npos) {
    arg = what.substr(eq + 1);
    what = what.substr(0, eq);
  }
  TimedAction a;
  a.atMs = to_ms(at);
  bool wants_arg = what == "seek" || what == "volume";
  if (wants_arg && eq == std::string::npos) {
    *error = "action '" + text + "': " + what + " needs a value (" + what + "=...)";
    return false;
  }
  if (!wants_arg && eq != std::string::npos) {
    *error = "action '" + text + "': " + what + " takes no value";
    return false;
  }
  if (what == "seek") {
    double to;
    if (!parse_seconds(arg, &to)) {
      *error = "action '" + text + "': seek=SECONDS, e.g. seek=60";
      return false;
    }
    a.kind = ActionKind::Seek;
    a.value = to_ms(to);
  } else if (what == "volume") {
    long v;
    if (!parse_int(arg, 0, 255, &v)) {
      *error = "action '" + text + "': volume is 0 to 255";
      return false;
    }
    a.kind = ActionKind::Volume;
    a.value = v;
  } else if (what == "pause") {
    a.kind = ActionKind::Pause;
  } else if (what == "resume") {
    a.kind = ActionKind::Resume;
  } else if (what == "stop") {
    a.kind = ActionKind::Stop;
  } else {
    *error = "action '" + text + "': unknown action '" + what +
             "' (seek=S, pause, resume, stop, volume=V, set NAME=VALUE)";
    return false;
  }
  *out = a;
  return true;
}

std::string action_describe(const TimedAction &a) {
  char buf[64];
  switch (a.kind) {
    case ActionKind::Seek: std::snprintf(buf, sizeof buf, "seek to %.1f s", double(a.value) / 1000.0); break;
    case ActionKind::Pause: std::snprintf(buf, sizeof buf, "pause"); break;
    case ActionKind::Resume: std::snprintf(buf, sizeof buf, "resume"); break;
    case ActionKind::Stop: std::snprintf(buf, sizeof buf, "stop"); break;
    case ActionKind::Volume: std::snprintf(buf, sizeof buf, "volume %d", int(a.value)); break;
    case ActionKind::SeekBy: std::snprintf(buf, sizeof buf, "seek by %+.1f s", double(a.value) / 1000.0); break;
    case ActionKind::TogglePause: std::snprintf(buf, sizeof buf, "pause or resume"); break;
    case ActionKind::Set:
      if (a.setting < 0 || a.setting >= SETTING_FIELD_COUNT) return "set nothing";
      return std::string("set ") + setting_fields[a.setting].name + "=" +
             setting_value_text(setting_fields[a.setting], int32_t(a.value));
  }
  return buf;
}

bool options_parse(int argc, const char *const *argv, PlayerOptions *out, std::string *error) {
  PlayerOptions o;
  bool files_only = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (files_only || arg.empty() || arg[0] != '-' || arg == "-") {
      o.files.push_back(arg);
      continue;
    }
    if (arg == "--") {
      files_only = true;
      continue;
    }
    std::string name = arg, value;
    bool has_value = false;
    size_t eq = arg.find('=');
    if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      has_value = true;
    }
    auto flag = [&]() {
      if (has_value) *error = name + " takes no value";
      return !has_value;
    };
    auto take = [&]() {
      if (has_value) return true;
      if (i + 1 >= argc) {
        *error = name + " needs a value";
        return false;
      }
      value = argv[++i];
      return true;
    };
    if (name == "-h" || name == "--help") {
      if (!flag()) return false;
      o.help = true;
    } else if (name == "-q" || name == "--quiet") {
      if (!flag()) return false;
      o.quiet = true;
    } else if (name == "--demo") {
      if (!flag()) return false;
      o.demo = true;
    } else if (name == "--demo-seconds") {
      if (!take()) return false;
      if (!parse_seconds(value, &o.demoSeconds) || o.demoSeconds < 3.0 || o.demoSeconds > 3600.0) {
        *error = "--demo-seconds is 3 to 3600";
        return false;
      }
    } else if (name == "--write-demo") {
      if (!take()) return false;
      o.writeDemo = value;
    } else if (name == "-o" || name == "--out") {
      if (!take()) return false;
      o.out = value;
    } else if (name == "--device") {
      if (!take()) return false;
      if (value.empty()) {
        *error = "--device needs an ALSA device name";
        return false;
      }
      o.device = value;
    } else if (name == "--set") {
      if (!take()) return false;
      TimedAction a;
      a.kind = ActionKind::Set;
      int32_t v;
      if (!setting_parse(value, &a.setting, &v, error)) {
        *error = "--set: " + *error;
        return false;
      }
      a.value = v;
      o.sets.push_back(a);
    } else if (name == "--plugin") {
      if (!take()) return false;
      o.plugin = value;
    } else if (name == "--settings") {
      if (!take()) return false;
      o.settings = value;
    } else if (name == "--env") {
      if (!take()) return false;
      o.env = value;
    } else if (name == "--eq") {
      if (!take()) return false;
      o.eq = value;
    } else if (name == "--at") {
      if (!take()) return false;
      TimedAction a;
      if (!action_parse(value, &a, error)) return false;
      o.actions.push_back(a);
    } else if (name == "--isfullstop") {
      if (!take()) return false;
      if (value == "classic") {
        o.fullStop = FullStopMode::Classic;
      } else if (value == "new") {
        o.fullStop = FullStopMode::New;
      } else {
        *error = "--isfullstop is classic or new";
        return false;
      }
    } else if (name == "--clock") {
      if (!take()) return false;
      if (value == "simulated") {
        o.clock = ClockMode::Simulated;
      } else if (value == "real") {
        o.clock = ClockMode::Real;
      } else {
        *error = "--clock is simulated or real";
        return false;
      }
    } else if (name == "--realtime") {
      if (!flag()) return false;
      o.clock = ClockMode::Real;
    } else if (name == "--room") {
      if (!take()) return false;
      if (value != "on" && value != "off") {
        *error = "--room is on or off";
        return false;
      }
      o.room = value == "on" ? 1 : 0;
    } else if (name == "--volume") {
      if (!take()) return false;
      long v;
      if (!parse_int(value, 0, 255, &v)) {
        *error = "--volume is 0 to 255";
        return false;
      }
      o.volume = int(v);
    } else if (name == "--tail") {
      if (!take()) return false;
      if (!parse_seconds(value, &o.tailSeconds) || o.tailSeconds > 60.0) {
        *error = "--tail is 0 to 60 seconds";
        return false;
      }
    } else {
      *error = "unknown option " + name;
      return false;
    }
  }
  if (o.help) {
    *out = o;
    return true;
  }
  if (!o.writeDemo.empty()) {
    if (o.demo || !o.files.empty()) {
      *error = "--write-demo writes the demo songs and plays nothing; give it alone";
      return false;
    }
  } else if (o.demo && !o.files.empty()) {
    *error = "--demo plays the built-in piece; give either --demo or files";
    return false;
  } else if (!o.demo && o.files.empty()) {
    *error = "nothing to play: give audio files or --demo";
    return false;
  }
  if (!o.device.empty() && !o.out.empty()) {
    *error = "--device plays live and --out renders to a file; give one of them";
    return false;
  }
  // The settings given together must also fit each other (the prebuffer
  // within the buffer), counted from the defaults.
  if (!o.sets.empty()) {
    EngineSettings s = engine_settings_defaults;
    for (const TimedAction &a : o.sets) s.*setting_fields[a.setting].field = int32_t(a.value);
    char message[160];
    if (!settings_check(s, message, sizeof message)) {
      *error = std::string("--set: ") + message;
      return false;
    }
  }
  // Actions at the same time keep the order they were given in.
  std::stable_sort(o.actions.begin(), o.actions.end(),
                   [](const TimedAction &a, const TimedAction &b) { return a.atMs < b.atMs; });
  *out = o;
  return true;
}

std::string options_usage(const char *program, bool simulated_clock) {
  std::string u = std::string("usage: ") + program + " [options] FILE...\n       " + program +
                  " --demo [options]\n       " + program + " --write-demo DIR [--demo-seconds S]\n\n";
  u += "Loads the Sonorium output plug-in as the music player does and plays the\n"
       "files one after the other, gaplessly, into the virtual room. It reads\n";
  u += audio_file_formats();
  u +=
      "\nFiles that cannot be read are reported and skipped.\n\n";
  if (live_output_available())
    u +=
        "Without --out the room plays live on the sound device (ALSA's \"default\",\n"
        "which reaches PulseAudio and PipeWire), in real time. On a terminal: space\n"
        "pauses and resumes, the left and right arrows seek 10 s, q stops.\n\n";
  u +=
      "Options:\n"
      "  -o, --out FILE.wav    write the rendered room to FILE.wav (the software card)\n";
  if (live_output_available())
    u += "  --device NAME         play live on this ALSA device (default: default)\n";
  u +=
      "  --demo                play a built-in synthesized piece of three songs, with\n"
      "                        a seek and a closing stop (unless --at is given)\n"
      "  --demo-seconds S      length of the demo piece (3 to 3600 s)\n"
      "  --write-demo DIR      write the demo songs into DIR as WAV files and exit\n"
      "  --env FILE.env        start with this environment preset\n"
      "  --eq FILE.eq          start with this equalizer preset, equalizer on\n"
      "  --settings DIR        report DIR as the plug-in folder: settings and presets\n"
      "                        live in DIR/SONORIUM. Default: the plug-in's folder;\n"
      "                        with --env or --eq and no --settings a temporary\n"
      "                        folder, so the stored settings are not overwritten\n"
      "  --set NAME=VALUE      an engine setting (below) before the first song, as\n"
      "                        the settings dialog's Apply commits it (repeatable)\n"
      "  --at TIME:ACTION      at TIME seconds after the start: seek=S, pause, resume,\n"
      "                        stop, volume=0..255 or set NAME=VALUE (repeatable)\n"
      "  --volume V            volume 0..255 at the start (default 255)\n"
      "  --room on|off         the card renders the room (default) or a plain mix\n"
      "  --isfullstop MODE     what IPC_ISFULLSTOP answers: classic (nonzero for the\n"
      "                        user's stop, the default) or new (1 at a change of\n"
      "                        song, 2 at the end of the playlist, 0 for a stop)\n"
      "  --tail S              seconds the room is heard after the playlist (1.5)\n"
      "  --plugin PATH         the plug-in to load (default: beside the player)\n";
  if (simulated_clock)
    u +=
        "  --clock MODE          with --out: simulated (the default: as fast as the\n"
        "                        machine allows) or real; --realtime is --clock real.\n"
        "                        Live, the sound device keeps the time\n";
  else
    u +=
        "  --clock real          this build runs in real time only (the plug-in and the\n"
        "                        card each keep their own clock on Windows)\n";
  u +=
      "  -q, --quiet           print only errors and warnings\n"
      "  -h, --help            this text\n\n"
      "Engine settings (--set, --at TIME:set), with their defaults and ranges. Those\n"
      "marked * act after a full stop, so set during playback they wait for the\n"
      "end of the playlist or a stop:\n";
  for (const SettingField &f : setting_fields) {
    const int32_t EngineSettings::*m = f.field;
    bool later = m == &EngineSettings::bufferLengthMs || m == &EngineSettings::gapMode ||
                 m == &EngineSettings::silenceFlags || m == &EngineSettings::fadeFlags ||
                 m == &EngineSettings::interpolation;
    char line[200];
    std::snprintf(line, sizeof line, "  %-18s%-7s %s to %s%s\n", f.name,
                  setting_value_text(f, engine_settings_defaults.*m).c_str(), setting_value_text(f, f.min).c_str(),
                  setting_value_text(f, f.max).c_str(), later ? " *" : "");
    u += line;
    u += std::string("      ") + f.help + "\n";
  }
  u +=
      "\nExit status: 0 when everything played, 1 when a file, the plug-in or the\n"
      "sound device failed, 2 for a usage error.\n";
  return u;
}
