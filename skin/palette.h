// The palette: 364 colours (COLORREF layout, red in the low byte) in one
// block, grouped by the control parts that use them, and the table of 26
// pointers (SkinLook) that leads the skinned procedures to the colour groups
// and drawing records of the current look. The colours are adjusted once at
// start (brightness, contrast, gamma and a slight cool shift).
#pragma once

#include <cstdint>

typedef uint32_t SkinColor;

#define SKIN_RGB(r, g, b) (SkinColor(uint8_t(r)) | (SkinColor(uint8_t(g)) << 8) | (SkinColor(uint8_t(b)) << 16))
#define SKIN_RED(c) (int((c) & 0xFF))
#define SKIN_GREEN(c) (int(((c) >> 8) & 0xFF))
#define SKIN_BLUE(c) (int(((c) >> 16) & 0xFF))

#define SKIN_PALETTE_COLORS 364
#define SKIN_BAND_STOPS 5

// A vertical (or, for vertical controls, horizontal) gradient with evenly
// spaced stops, drawn with GradientFill.
struct SkinBand {
  SkinColor stop[SKIN_BAND_STOPS];
};

// Band numbers. 40 and 10 are the dialog backgrounds.
enum SkinBandId {
  BAND_BUTTON, BAND_BUTTON_HOVER, BAND_BUTTON_PRESSED, BAND_BUTTON_DISABLED,
  BAND_DEFBUTTON, BAND_DEFBUTTON_HOVER, BAND_DEFBUTTON_PRESSED, BAND_DEFBUTTON_DISABLED,
  BAND_PUSHLIKE_CHECKED, BAND_PUSHLIKE_CHECKED_HOVER,
  BAND_DIALOG_ALT,  // 10
  BAND_THUMB, BAND_THUMB_HOVER, BAND_THUMB_PRESSED, BAND_THUMB_DISABLED, BAND_THUMB_FOCUS,
  BAND_CHANNEL, BAND_CHANNEL_DISABLED, BAND_SELECTION, BAND_SELECTION_DISABLED,
  BAND_PROGRESS_TRACK, BAND_PROGRESS_BAR, BAND_PROGRESS_BAR_DISABLED,
  BAND_TAB, BAND_TAB_HOVER, BAND_TAB_SELECTED, BAND_TAB_DISABLED, BAND_TAB_PAGE,
  BAND_COMBO, BAND_COMBO_HOVER, BAND_COMBO_PRESSED, BAND_COMBO_DISABLED,
  BAND_UPDOWN, BAND_UPDOWN_HOVER, BAND_UPDOWN_PRESSED, BAND_UPDOWN_DISABLED,
  BAND_CHECKBOX, BAND_CHECKBOX_HOVER, BAND_CHECKBOX_CHECKED, BAND_CHECKBOX_DISABLED,
  BAND_DIALOG,  // 40
  BAND_CHECKBOX_CHECKED_HOVER,
  BAND_LIST_SELECTION, BAND_LIST_SELECTION_UNFOCUSED,
  BAND_STATUS, BAND_TOOLTIP, BAND_TRACKBAR_BACKGROUND, BAND_STATIC_SUNKEN,
  BAND_COUNT
};

struct SkinTextColors {
  SkinColor normal, disabled, highlight, on_accent, dark, dark_disabled, shadow;
};
struct SkinBorderColors {
  SkinColor outer, inner_light, inner_dark, focus, hover, disabled, field, field_focus;
};
struct SkinAccentColors {
  SkinColor accent, light, dark, dim;
};
struct SkinButtonColors {
  SkinColor border, border_hover, border_pressed, border_disabled, border_default, sheen, text, text_disabled;
};
struct SkinCheckColors {
  SkinColor box_border, box_border_hover, box_border_checked, box_border_disabled, mark, mark_disabled, dot,
      dot_disabled;
};
struct SkinGroupColors {
  SkinColor line, line_light, title, title_disabled;
};
struct SkinStaticColors {
  SkinColor text, text_disabled, highlight, frame_black, frame_gray, frame_white, etched_dark, etched_light;
};
struct SkinEditColors {
  SkinColor field, field_disabled, text, text_disabled, selection, selection_text, border, border_focus,
      border_hover;
};
struct SkinComboColors {
  SkinColor field, field_hover, field_disabled, text, text_disabled, border, border_hover, border_focus, arrow,
      arrow_disabled, separator;
};
struct SkinListColors {
  SkinColor background, background_disabled, text, text_disabled, selection_text, focus, border,
      border_focus;
};
struct SkinTabColors {
  SkinColor page, border, text, text_selected, text_disabled, accent_line, hover_line;
};
struct SkinUpDownColors {
  SkinColor border, arrow, arrow_hover, arrow_disabled, separator;
};
struct SkinProgressColors {
  SkinColor border, text, text_on_bar, bar_edge;
};
struct SkinTooltipColors {
  SkinColor border, text;
};
struct SkinTrackbarColors {
  SkinColor channel_border, channel_border_disabled, thumb_border, thumb_border_hover, thumb_border_focus,
      thumb_border_disabled, tic, selection_border, border;
};
struct SkinStatusColors {
  SkinColor text, separator, grip;
};
struct SkinHotkeyColors {
  SkinColor field, text, border, border_focus;
};
struct SkinIpColors {
  SkinColor field, dot, border;
};
struct SkinDialogColors {
  SkinColor edge_dark, edge_light;
};
struct SkinGlyphColors {
  SkinColor key, normal, hover, disabled;
};
struct SkinFocusColors {
  SkinColor outline, outline_dim, glow;
};
struct SkinShadowColors {
  SkinColor near_, far_, inset;
};

// The block of all colours, in this order.
struct SkinPalette {
  SkinBand bands[BAND_COUNT];
  SkinTextColors text;
  SkinBorderColors border;
  SkinAccentColors accent;
  SkinButtonColors button;
  SkinCheckColors check;
  SkinGroupColors group;
  SkinStaticColors statics;
  SkinEditColors edit;
  SkinComboColors combo;
  SkinListColors list;
  SkinTabColors tab;
  SkinUpDownColors updown;
  SkinProgressColors progress;
  SkinTooltipColors tooltip;
  SkinTrackbarColors trackbar;
  SkinStatusColors status;
  SkinHotkeyColors hotkey;
  SkinIpColors ip;
  SkinDialogColors dialog;
  SkinGlyphColors glyph;
  SkinFocusColors focus;
  SkinShadowColors shadow;
};

// Sizes of the drawn parts, in pixels.
struct SkinMetrics {
  int button_radius;     // rounded corners of push buttons and thumbs
  int check_box;         // edge of a check box or radio circle
  int check_gap;         // between the box and its text
  int channel_thickness; // trackbar channel across the track
  int tic_length;
  int tab_raise;         // how much higher the selected tab stands
  int arrow_size;        // glyph arrows (combo, up-down)
  int focus_inset;       // focus outline inside a button
};

// Which drawing effects the look uses.
struct SkinEffects {
  int text_shadow;       // draw a 1-pixel shadow under text on buttons
  int pressed_offset;    // pixels pressed content moves right and down
  int disabled_flat;     // disabled controls without gradients
};

// The pointer table: 26 entries.
struct SkinLook {
  const SkinBand *bands;
  const SkinTextColors *text;
  const SkinBorderColors *border;
  const SkinAccentColors *accent;
  const SkinButtonColors *button;
  const SkinCheckColors *check;
  const SkinGroupColors *group;
  const SkinStaticColors *statics;
  const SkinEditColors *edit;
  const SkinComboColors *combo;
  const SkinListColors *list;
  const SkinTabColors *tab;
  const SkinUpDownColors *updown;
  const SkinProgressColors *progress;
  const SkinTooltipColors *tooltip;
  const SkinTrackbarColors *trackbar;
  const SkinStatusColors *status;
  const SkinHotkeyColors *hotkey;
  const SkinIpColors *ip;
  const SkinDialogColors *dialog;
  const SkinGlyphColors *glyph;
  const SkinFocusColors *focus;
  const SkinShadowColors *shadow;
  const SkinMetrics *metrics;
  const SkinEffects *effects;
  const SkinColor *colors;  // the whole block, SKIN_PALETTE_COLORS entries
};

// The adjustment applied once at start.
struct SkinAdjustment {
  double brightness, contrast, offset, saturation, gamma;
  double shift_red, shift_green, shift_blue;
};
extern const SkinAdjustment skin_adjustment;

// One colour through the adjustment.
SkinColor skin_adjust_color(SkinColor color, const SkinAdjustment &a);

// Restores the designed colours and adjusts every one of them once.
void skin_palette_reset_and_adjust(void);
// The palette as adjusted (the designed values before the first adjust).
const SkinPalette &skin_palette(void);
// The designed colours, unadjusted.
const SkinPalette &skin_palette_design(void);

// Installs (remove = 0) or removes the pointer table; the skinned
// procedures draw only while it is installed.
void skin_look_install(int remove);
// The installed pointer table, or null.
const SkinLook *skin_look(void);
