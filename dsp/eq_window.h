// The rules of the equalizer window apart from its windows: what a slider
// position means, the preamp slider's two modes, the selection bars, the
// band highlights and the frequency labels. eq_window_win32.cpp only moves
// values between the controls and these functions.
//
// All 33 sliders run 0..100 upside down: position = 100 - value, so the top
// (position 0) is value 100, "2x", and the bottom value 0.
#pragma once

#include <cstdint>

#include "dsp/eq_design.h"

// Preamp slider modes.
enum : int32_t {
  EQ_MODE_PREAMP = 0,  // the slider sets the preamp
  EQ_MODE_SCALE = 1,   // the slider shifts all bands together
};

// Process-wide window state, touched by the host's thread only.
// The preamp slider's mode, default EQ_MODE_PREAMP.
extern int32_t eq_preamp_mode;
// The last value of the scale computation; 50 whenever the preamp slider
// is set up again.
extern int32_t eq_scale_reference;

constexpr int EQ_SLIDER_MAX = 100;
constexpr int EQ_LABEL_MAX = 16;

// Trackbar style bits the window changes.
constexpr uint32_t EQ_STYLE_MODE_MASK = 0x38;    // TBS_BOTH | TBS_NOTICKS | TBS_ENABLESELRANGE
constexpr uint32_t EQ_STYLE_PREAMP_MODE = 0x30;  // TBS_NOTICKS | TBS_ENABLESELRANGE
constexpr uint32_t EQ_STYLE_SCALE_MODE = 0x18;   // TBS_NOTICKS | TBS_BOTH
constexpr uint32_t EQ_STYLE_SELECTION = 0x20;    // TBS_ENABLESELRANGE
// Extended style bit of a band label whose band is not highlighted; the
// skinned static draws it marked.
constexpr uint32_t EQ_EXSTYLE_LABEL_MARK = 0x10;

// The frequency under band `band` (0..31) from its edge bin (46.875 Hz a
// bin): "47" .. "750" below 1 kHz, "1.0k" .. "9.6k" below 10 kHz, "11k" ..
// "24k" above. out holds EQ_LABEL_MAX bytes.
void eq_band_label(int band, char *out);

inline int eq_slider_position(int value) { return EQ_SLIDER_MAX - value; }
inline int eq_slider_value(int position) { return EQ_SLIDER_MAX - position; }

// A trackbar selection bar, in slider positions; start == end == 0 with
// `clear` means no selection.
struct EqSelection {
  int start;
  int end;
};
// A band slider's bar: from the thumb down to the bottom (position 100).
EqSelection eq_band_selection(int position);
// The preamp slider's bar in "preamp" mode: from the top down to
// round(100 * (1 - 50 / preamp)), at least 0 (no bar at 1x and below), at
// most 100.
EqSelection eq_preamp_selection(int32_t preamp);

// "scale" mode: the value of slider position p, ((p - 50) * 20 >> 4) + 50
// with an arithmetic shift (-13 at the top, 50 in the centre, 112 at the
// bottom).
int32_t eq_scale_value(int position);
// Moves the scale slider to `position`: delta = reference - value, the
// reference becomes the value, and every band becomes clamp(band + delta,
// 0, 100) one by one (what falls outside is lost). Returns the delta.
int32_t eq_scale_move(EqSettings *settings, int32_t *reference, int position);

// How the preamp slider is set up on opening, after a mode toggle and after
// a preset was loaded.
struct EqPreampView {
  const char *label;      // "preamp" or "scale"
  uint32_t styleBits;     // within EQ_STYLE_MODE_MASK
  int position;           // 50 in "scale" mode, 100 - preamp otherwise
  bool selection;         // false: the selection is cleared ("scale")
  EqSelection selected;   // the bar in "preamp" mode
};
EqPreampView eq_preamp_view(int32_t mode, int32_t preamp);
// The set-up itself: the view for eq_preamp_mode and eq_settings.preamp,
// and the scale reference back to 50, so the next scale move starts from
// the centre without shifting the bands.
EqPreampView eq_preamp_setup(void);
// The slider's style with the mode's bits.
uint32_t eq_preamp_style(uint32_t style, int32_t mode);

// A band slider's style and its label's extended style for a highlight
// flag: highlighted sliders have the selection-range bit and plain labels;
// the others lose the bit and their labels get EQ_EXSTYLE_LABEL_MARK.
uint32_t eq_band_slider_style(uint32_t style, bool highlighted);
uint32_t eq_band_label_exstyle(uint32_t exstyle, bool highlighted);

// Toggles the preamp slider's mode; returns the new mode.
int32_t eq_preamp_mode_toggle(void);
// Toggles band's highlight flag; returns the new flag.
bool eq_band_highlight_toggle(int band);

#ifdef _WIN32
#include "platform/win32.h"
// The dialog procedure of the equalizer window (dialog 130).
INT_PTR CALLBACK eq_window_proc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam);
// Hands the procedure to the tray menu's equalizer command.
void eq_window_register(void);
#endif
