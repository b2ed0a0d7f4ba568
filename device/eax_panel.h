// The rules of the EAX panel apart from its windows: the seven tabs and the
// voice each selects, the slider rows of the listener and channel pages and
// what their positions and texts mean, the check boxes and radio buttons and
// the bits they toggle, which controls are enabled when, the volume row and
// its label, and the help texts of the tooltips. Every value comes from the
// device through the accessors (device/properties.h) and goes back to it at
// once; the panel keeps none of its own. eax_panel_win32.cpp only moves
// values between these and the controls.
#pragma once

#include <cstdint>

#include "device/properties.h"

// The tabs, in order.
enum : int {
  PANEL_TAB_SETTINGS = 0,
  PANEL_TAB_LISTENER = 1,
  PANEL_TAB_L1 = 2,
  PANEL_TAB_R1 = 3,
  PANEL_TAB_L2 = 4,
  PANEL_TAB_R2 = 5,
  PANEL_TAB_ABOUT = 6,
  PANEL_TAB_COUNT = 7,
};
// The four page windows of one opening; the channel page serves the four
// voice tabs.
enum : int {
  PANEL_PAGE_SETTINGS = 0,
  PANEL_PAGE_LISTENER = 1,
  PANEL_PAGE_CHANNEL = 2,
  PANEL_PAGE_ABOUT = 3,
  PANEL_PAGE_COUNT = 4,
};

struct PanelTab {
  const char *label;
  int page;   // PANEL_PAGE_*
  int voice;  // L1..R2, or NO_VOICE
};
extern const PanelTab panel_tabs[PANEL_TAB_COUNT];
// The dialog resource of each page, in PANEL_PAGE_* order.
extern const int panel_page_resources[PANEL_PAGE_COUNT];

// The tab shown last: kept while the panel is closed, so it reopens there.
// Starts at 0. Touched by the host's thread only.
extern int panel_selected_tab;
// A tab index held within 0..6 (anything else gives 0).
int panel_tab_clamp(int tab);
// Makes `tab` the remembered tab and points the current voice at its voice
// (none for Settings, Listener and About).
void panel_tab_select(int tab);

// One slider row: the read-only value box, the trackbar at valueId + 1 and
// the label at valueId + 2, driving one row of the slider table.
struct PanelRow {
  int valueId;
  const SliderRow *row;
};
enum : int { LISTENER_ROW_COUNT = 14, CHANNEL_ROW_COUNT = 15 };
extern const PanelRow listener_rows[LISTENER_ROW_COUNT];
extern const PanelRow channel_rows[CHANNEL_ROW_COUNT];
inline int panel_row_slider_id(const PanelRow &r) { return r.valueId + 1; }
inline int panel_row_label_id(const PanelRow &r) { return r.valueId + 2; }
// The row whose trackbar is `slider_id` on the listener (0) or channel (1)
// page, or null.
const PanelRow *panel_row_by_slider(int page_is_channel, int slider_id);

// The value a row's trackbar position stands for: the slider curve over the
// row's range, rounded for integer properties.
double panel_row_value(const SliderRow *row, int32_t position);
// Moves a row: computes the value of `position`, writes it to the device,
// reads it back and formats what the device holds for the value box
// (`text`, 32 bytes); a device that refuses the value shows the one it
// kept, and a silent one the value written. Returns the value shown.
double panel_row_moved(const SliderRow *row, int32_t position, char *text);
// Reads a row back: the device's value (or, when the device does not
// answer, the value the trackbar now shows at `position`), the position it
// puts the trackbar at, and the value box text. Returns the position.
int32_t panel_row_read(const SliderRow *row, int32_t position, char *text);

// The listener rows an Environment Size change makes the hardware rescale,
// given the listener flags: fills `out` and returns how many (0..5).
int panel_rows_rescaled(uint32_t flags, const PanelRow *out[5]);
// The Air Absorption HF row, after whose every change the view's fog follows.
extern const PanelRow *const panel_air_absorption_row;
// The Environment Size row.
extern const PanelRow *const panel_size_row;

// Check boxes and the bit of the listener or voice Flags each toggles.
struct PanelFlagBox {
  int id;
  uint32_t bit;
};
enum : int { LISTENER_FLAG_BOX_COUNT = 6, VOICE_FLAG_BOX_COUNT = 3 };
extern const PanelFlagBox listener_flag_boxes[LISTENER_FLAG_BOX_COUNT];
extern const PanelFlagBox voice_flag_boxes[VOICE_FLAG_BOX_COUNT];
// Reads the listener (or current voice) Flags from the device, toggles the
// box's bit and writes them back; the state the box shows afterwards is read
// back from the device, so a box that was out of date still flips the bit
// the device had. Returns the Flags read back (0 when nothing answers).
uint32_t panel_listener_flag_toggle(uint32_t bit);
uint32_t panel_voice_flag_toggle(uint32_t bit);
// The Flags as the device has them now; `fallback` when it does not answer.
uint32_t panel_listener_flags(uint32_t fallback);
uint32_t panel_voice_flags(uint32_t fallback);

// The 3D mode radio buttons: "Normal" 0, "HR" 1, "Disabled" 2.
enum : int { PANEL_MODE_COUNT = 3 };
extern const int panel_mode_buttons[PANEL_MODE_COUNT];  // by mode
// The mode of a radio button id, or -1.
int panel_mode_of_button(int id);

// The volume row of the channel page: trackbar 0..10000 with the level
// curve, no value box; the push-like check box beside it is its label.
enum : int { PANEL_VOLUME_MAX = 10000 };
extern const SliderRow *const panel_volume_row;
// "Volume %d%%" with position / 100 (0..100), into `text` (32 bytes).
void panel_volume_text(int32_t position, char *text);
// The level in mB of a volume trackbar position.
int32_t panel_volume_mb(int32_t position);
// The position a level in mB puts the volume trackbar at.
int32_t panel_volume_position(int32_t mb);

// Which controls are enabled. The listener page enables its DS3D controls
// (1208..1226) with the voices and its EAX controls (1200..1207,
// 1227..1262) with the device; the position and orientation fields
// (1208..1220) stay disabled and empty. The channel page enables 1300..1330
// with the voices and 1331..1370 with the device; the pose fields
// (1300..1312), the cone angle fields (1324..1327) and the volume label 1316
// stay disabled. Other ids (group boxes, the pages' other controls) are
// left as they are.
enum PanelEnable { PANEL_LEAVE, PANEL_ENABLE, PANEL_DISABLE };
PanelEnable panel_listener_enable(int id, bool device_ready, bool voices_ready);
PanelEnable panel_channel_enable(int id, bool device_ready, bool voices_ready);
// The ids that stay empty whatever the device says.
bool panel_listener_kept_empty(int id);
bool panel_channel_kept_empty(int id);

// Tooltips: how long a tip stays up and how wide it may grow.
enum : int { PANEL_TIP_AUTOPOP_MS = 30000, PANEL_TIP_MAX_WIDTH = 315 };
// The controls that carry a help text, in the order the pages attach them.
enum : int { PANEL_HELP_COUNT = 38 };
extern const int panel_help_ids[PANEL_HELP_COUNT];
// The help text of a control id, or null when it has none.
const char *panel_help_text(int id);

// The panel's ".env" presets, as the shared Presets button calls them.
// Load: a file that holds a whole property block replaces the acoustic
// state (block_apply), the cones are rebuilt and the fog density follows
// the new air absorption; anything else changes nothing. True when applied.
// The caller refreshes its pages and hands the poses to the device.
bool panel_preset_load(const char *path);
// Save: captures the state and writes its 572 bytes as a new file at
// `path`; a part-written file is removed again. True when written.
bool panel_preset_save(const char *path);

#ifdef _WIN32
#include "platform/win32.h"

// The panel's dialog procedure (resource 110); the tray menu creates the
// panel with it (command 96 and the icon's double click).
INT_PTR CALLBACK eax_panel_proc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam);
// Registers the procedure with the tray menu; called by Init.
void eax_panel_register(void);
// The panel while it exists, else null.
HWND eax_panel_window(void);
// Has the panel re-read both pages from the device, on its own thread: for
// whoever changed the state beneath it (a device restart on the output
// thread, say). Only posts a message; safe from any thread; does nothing
// while the panel is closed.
void eax_panel_post_refresh(void);
#endif
