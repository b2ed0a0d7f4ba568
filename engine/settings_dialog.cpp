#include "engine/settings_dialog.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "engine/engine.h"
#include "support/format_text.h"

const char *const settings_page_titles[SETTINGS_PAGE_COUNT] = {"Device", "Buffering", "Fading", "Gap control"};

const char *const interpolation_items[INTERPOLATION_ITEM_COUNT] = {
    "No interpolation",
    "SSE2 Kaiser windowed Sinc interpolation",
};

const FadeRow fade_rows[FADE_ROW_COUNT] = {
    {"on start", FADE_ON_START, &EngineSettings::fadeStartMs},
    {"on first start", FADE_ON_FIRST_START, &EngineSettings::fadeFirstStartMs},
    {"on end of song", FADE_ON_END, &EngineSettings::fadeEndMs},
    {"on stop", FADE_ON_STOP, &EngineSettings::fadeStopMs},
    {"on pause", FADE_ON_PAUSE, &EngineSettings::fadePauseMs},
    {"on seek", FADE_ON_SEEK, &EngineSettings::fadeSeekMs},
};

const int fade_list_tab_stops[5] = {112, 116, 120, 124, 128};

const char *const gap_mode_names[GAP_MODE_COUNT] = {"No gap control", "Remove gaps", "Insert gaps"};
const char *const gap_mode_descriptions[GAP_MODE_COUNT] = {
    "Songs played separately (default by winamp)",
    "Songs played continuously without breakings",
    "Songs played separately by inserting a specified duration",
};

namespace {

// The threshold slider's scale: positions per dB, negative.
const double kThresholdScale = -22.1462;

int round_half_up(double v) { return int(std::floor(v + 0.5)); }

void format_int(char *out, const char *format, int value) {
  TextArgs args;
  text_args_clear(&args);
  text_args_dword(&args, uint32_t(value));
  format_text(out, format, args.bytes);
}

}  // namespace

int buffer_position_from_ms(int ms) {
  if (ms < 200) ms = 200;
  int position = round_half_up(2000.0 * std::log10(ms / 200.0));
  return position > BUFFER_POSITION_MAX ? BUFFER_POSITION_MAX : position;
}

int buffer_ms_from_position(int position) {
  if (position < 0) position = 0;
  if (position > BUFFER_POSITION_MAX) position = BUFFER_POSITION_MAX;
  return round_half_up(200.0 * std::pow(10.0, position / 2000.0));
}

void buffer_text(char *out, int ms) { format_int(out, "%i ms", ms); }

int prebuffer_max(int buffer_ms) { return round_half_up(buffer_ms * 0.65); }

int prebuffer_page(int buffer_ms) { return prebuffer_max(buffer_ms) / 10; }

void prebuffer_text(char *out, int prebuffer_ms, int buffer_ms) {
  int percent = buffer_ms > 0 ? round_half_up(prebuffer_ms * 100.0 / buffer_ms) : 0;
  TextArgs args;
  text_args_clear(&args);
  text_args_dword(&args, uint32_t(prebuffer_ms));
  text_args_dword(&args, uint32_t(percent));
  format_text(out, "%i ms (%i%%)", args.bytes);
}

void fade_row_text(char *out, const EngineSettings &s, int row) {
  const FadeRow &r = fade_rows[row];
  TextArgs args;
  text_args_clear(&args);
  text_args_pointer(&args, r.text);
  if ((s.fadeFlags & r.bit) == 0) {
    format_text(out, "%s\t (disabled)", args.bytes);
    return;
  }
  int ms = s.*r.time;
  // Five tabs, one fewer for each power of ten the time reaches, so the
  // numbers end in one column.
  char tabs[6] = "\t\t\t\t\t";
  int n = 5;
  for (int limit : {10, 100, 1000, 10000})
    if (ms >= limit) --n;
  tabs[n] = 0;
  text_args_pointer(&args, tabs);
  text_args_dword(&args, uint32_t(ms));
  format_text(out, "%s%s%i ms", args.bytes);
}

void fade_group_text(char *out, int row) {
  TextArgs args;
  text_args_clear(&args);
  text_args_pointer(&args, fade_rows[row].text);
  format_text(out, "Fade %s settings", args.bytes);
}

int threshold_position_from_value(int threshold) {
  if (threshold < 1) threshold = 1;
  int position = round_half_up(20.0 * std::log10(threshold / 32767.0) * kThresholdScale);
  if (position < 0) position = 0;
  return position > THRESHOLD_POSITION_MAX ? THRESHOLD_POSITION_MAX : position;
}

double threshold_db(int position) { return (position == 0 ? 1 : position) / kThresholdScale; }

int threshold_value_from_position(int position) {
  return round_half_up(32767.0 * std::pow(10.0, threshold_db(position) / 20.0));
}

void threshold_text(char *out, int position) {
  TextArgs args;
  text_args_clear(&args);
  text_args_double(&args, threshold_db(position));
  format_text(out, "%Q.2f dB", args.bytes);
}

bool settings_reset_page(int page, EngineSettings *dialog, GUID *dialog_device, const EngineSettings &defaults) {
  const EngineSettings &d = defaults;
  EngineSettings &s = *dialog;
  switch (page) {
    case SETTINGS_PAGE_DEVICE:
      *dialog_device = GUID{};
      return false;
    case SETTINGS_PAGE_BUFFERING:
      s.bufferLengthMs = d.bufferLengthMs;
      s.prebufferMs = d.prebufferMs;
      s.interpolation = d.interpolation;
      s.cpuUsageControl = d.cpuUsageControl;
      return false;
    case SETTINGS_PAGE_FADING:
      s.fadeFlags = d.fadeFlags;
      for (const FadeRow &r : fade_rows) s.*r.time = d.*r.time;
      return true;
    case SETTINGS_PAGE_GAPS:
      s.gapMode = d.gapMode;
      s.insertGapMs = d.insertGapMs;
      s.silenceFlags = d.silenceFlags;
      s.silenceThreshold = d.silenceThreshold;
      s.silenceLimitFlags = d.silenceLimitFlags;
      s.leadingLimitMs = d.leadingLimitMs;
      s.trailingLimitMs = d.trailingLimitMs;
      return false;
  }
  return false;
}

void settings_commit(const EngineSettings &dialog, const GUID &dialog_device) {
  EngineSettings s = dialog;
  s.fadeFlags = (dialog.fadeFlags & 0x3F) | (dialog.fadeFlags & FADE_CROSSFADE);
  applied_settings = s;
  appliedDeviceGuid = dialog_device;
  // What acts on the current stream at once.
  EngineSettings &live = live_settings;
  live.insertGapMs = s.insertGapMs;
  live.silenceThreshold = s.silenceThreshold;
  live.silenceLimitFlags = s.silenceLimitFlags;
  live.leadingLimitMs = s.leadingLimitMs;
  live.trailingLimitMs = s.trailingLimitMs;
  for (const FadeRow &r : fade_rows) live.*r.time = s.*r.time;
  live.prebufferMs = s.prebufferMs;
  live.cpuUsageControl = s.cpuUsageControl;
  // Buffer length, gap mode, silence flags, fade flags, interpolation and the
  // device wait until the output thread finds playback fully stopped.
  engine_reconfigure_request = 1;
}
