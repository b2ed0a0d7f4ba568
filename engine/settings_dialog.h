// The rules of the "DirectSound settings" dialog, apart from its windows:
// what a slider position means, what a row or label says, which controls are
// enabled, what Reset restores and what a commit makes live. The Win32 file
// (settings_dialog_win32.cpp) only moves values between these and controls.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/settings.h"
#include "platform/win32.h"

// The four pages, in tab order.
enum SettingsPage : int {
  SETTINGS_PAGE_DEVICE = 0,
  SETTINGS_PAGE_BUFFERING = 1,
  SETTINGS_PAGE_FADING = 2,
  SETTINGS_PAGE_GAPS = 3,
  SETTINGS_PAGE_COUNT = 4,
};
extern const char *const settings_page_titles[SETTINGS_PAGE_COUNT];

// Buffer length trackbar: 0..4000, logarithmic from 200 ms to 20000 ms.
enum : int { BUFFER_POSITION_MAX = 4000, BUFFER_PAGE = 200 };
int buffer_position_from_ms(int ms);
int buffer_ms_from_position(int position);
// "%d ms".
void buffer_text(char *out, int ms);

// Prebuffer trackbar: 0..65 % of the buffer length, position = ms.
int prebuffer_max(int buffer_ms);
int prebuffer_page(int buffer_ms);
// "%d ms (%d%%)": the prebuffer and its share of the buffer, rounded.
void prebuffer_text(char *out, int prebuffer_ms, int buffer_ms);

// The interpolation combo's items, by `interpolation`.
enum : int { INTERPOLATION_ITEM_COUNT = 2 };
extern const char *const interpolation_items[INTERPOLATION_ITEM_COUNT];

// The six fade events of the Fading page's list, in row order.
struct FadeRow {
  const char *text;
  int32_t bit;
  int32_t EngineSettings::*time;
};
enum : int { FADE_ROW_COUNT = 6 };
extern const FadeRow fade_rows[FADE_ROW_COUNT];
// Up-down ranges of the fade time, the inserted gap and the silence limits.
enum : int { FADE_TIME_MAX = 20000, INSERT_GAP_MAX = 120000, SILENCE_LIMIT_MAX = 9999 };
// The list's tab stops, in dialog units.
extern const int fade_list_tab_stops[5];
// A row: the event, a run of tabs that lines the times up, the time; or the
// event, one tab and " (disabled)" when its bit is clear. `out` holds 64.
void fade_row_text(char *out, const EngineSettings &s, int row);
// "Fade %s settings" for the group box.
void fade_group_text(char *out, int row);

// The gap page: mode names, descriptions, and which controls a mode enables.
enum : int { GAP_MODE_COUNT = 3 };
extern const char *const gap_mode_names[GAP_MODE_COUNT];
extern const char *const gap_mode_descriptions[GAP_MODE_COUNT];
// The inserted gap's edit, up-down and labels are enabled only in this mode.
inline bool insert_gap_controls_enabled(int gap_mode) { return gap_mode == GAP_INSERT; }

// Threshold trackbar: 0..2000, 0 dB at 0, about -90.3 dB at 2000.
enum : int { THRESHOLD_POSITION_MAX = 2000, THRESHOLD_PAGE = 200 };
int threshold_position_from_value(int threshold);
// The level in dB the label shows for a position (position 0 counts as 1).
double threshold_db(int position);
// 32767 x 10^(dB / 20), rounded: what a commit stores.
int threshold_value_from_position(int position);
// "%.2f dB".
void threshold_text(char *out, int position);

// Reset: the page's fields from the defaults; the Device page resets the
// device to the default one. Returns true when the Fading page was reset
// (its remembered list selection is then forgotten).
bool settings_reset_page(int page, EngineSettings *dialog, GUID *dialog_device, const EngineSettings &defaults);

// The commit of Apply and Ok: the dialog copy and device become the applied
// settings, the fields that act at once go live, the rest waits for the
// output thread's reconfigure after a full stop, which is requested here.
// The crossfade bit is kept apart from the six event bits as the check box
// sets it.
void settings_commit(const EngineSettings &dialog, const GUID &dialog_device);

#ifdef _WIN32
// The dialog procedure of the settings dialog, and its registration with the
// tray menu (command 95 and the host's Config open it); called by Init.
INT_PTR CALLBACK settings_dialog_proc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam);
void settings_dialog_register(void);
#endif
