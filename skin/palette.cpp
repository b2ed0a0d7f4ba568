#include "skin/palette.h"

#include <cmath>
#include <cstring>

namespace {

constexpr SkinColor rgb(int r, int g, int b) { return SKIN_RGB(r, g, b); }

constexpr int lerp(int a, int b, int num, int den) { return a + (b - a) * num / den; }
constexpr SkinColor mix(SkinColor a, SkinColor b, int num, int den) {
  return SKIN_RGB(lerp(SKIN_RED(a), SKIN_RED(b), num, den), lerp(SKIN_GREEN(a), SKIN_GREEN(b), num, den),
                  lerp(SKIN_BLUE(a), SKIN_BLUE(b), num, den));
}
// A straight gradient from top to bottom.
constexpr SkinBand band(SkinColor top, SkinColor bottom) {
  return {{top, mix(top, bottom, 1, 4), mix(top, bottom, 2, 4), mix(top, bottom, 3, 4), bottom}};
}
// A raised face: a brighter first quarter gives the top a soft sheen.
constexpr SkinBand face(SkinColor sheen, SkinColor top, SkinColor bottom) {
  return {{sheen, top, mix(top, bottom, 1, 2), mix(top, bottom, 3, 4), bottom}};
}
constexpr SkinBand flat(SkinColor c) { return {{c, c, c, c, c}}; }

const SkinPalette design = {
    {
        face(rgb(120, 124, 131), rgb(98, 102, 108), rgb(74, 77, 83)),    // BAND_BUTTON
        face(rgb(156, 161, 169), rgb(130, 135, 143), rgb(100, 104, 111)),  // BAND_BUTTON_HOVER
        band(rgb(50, 52, 57), rgb(66, 68, 73)),                          // BAND_BUTTON_PRESSED
        flat(rgb(68, 70, 74)),                                           // BAND_BUTTON_DISABLED
        face(rgb(114, 128, 146), rgb(92, 104, 120), rgb(68, 78, 92)),    // BAND_DEFBUTTON
        face(rgb(150, 165, 184), rgb(122, 136, 155), rgb(94, 107, 124)),  // BAND_DEFBUTTON_HOVER
        band(rgb(46, 54, 66), rgb(62, 70, 84)),                          // BAND_DEFBUTTON_PRESSED
        flat(rgb(68, 70, 74)),                                           // BAND_DEFBUTTON_DISABLED
        face(rgb(104, 164, 222), rgb(74, 136, 196), rgb(52, 108, 166)),  // BAND_PUSHLIKE_CHECKED
        face(rgb(124, 182, 236), rgb(90, 152, 212), rgb(64, 122, 180)),  // BAND_PUSHLIKE_CHECKED_HOVER
        band(rgb(72, 75, 80), rgb(58, 60, 65)),                          // BAND_DIALOG_ALT (10)
        face(rgb(214, 217, 222), rgb(186, 190, 196), rgb(140, 144, 151)),  // BAND_THUMB
        face(rgb(236, 238, 242), rgb(208, 212, 218), rgb(162, 166, 173)),  // BAND_THUMB_HOVER
        band(rgb(136, 140, 147), rgb(170, 174, 180)),                      // BAND_THUMB_PRESSED
        flat(rgb(94, 96, 100)),                                            // BAND_THUMB_DISABLED
        face(rgb(208, 222, 238), rgb(176, 196, 220), rgb(124, 146, 174)),  // BAND_THUMB_FOCUS
        band(rgb(20, 21, 24), rgb(44, 45, 49)),                            // BAND_CHANNEL
        band(rgb(42, 43, 47), rgb(50, 51, 55)),                            // BAND_CHANNEL_DISABLED
        face(rgb(120, 184, 240), rgb(82, 150, 214), rgb(56, 118, 182)),    // BAND_SELECTION
        flat(rgb(78, 90, 104)),                                            // BAND_SELECTION_DISABLED
        band(rgb(22, 23, 26), rgb(44, 45, 49)),                            // BAND_PROGRESS_TRACK
        face(rgb(124, 188, 242), rgb(86, 154, 218), rgb(58, 120, 184)),    // BAND_PROGRESS_BAR
        flat(rgb(82, 90, 100)),                                            // BAND_PROGRESS_BAR_DISABLED
        band(rgb(84, 87, 93), rgb(64, 67, 72)),                            // BAND_TAB
        band(rgb(104, 108, 114), rgb(78, 81, 87)),                         // BAND_TAB_HOVER
        band(rgb(88, 92, 98), rgb(70, 73, 78)),                            // BAND_TAB_SELECTED
        flat(rgb(60, 62, 66)),                                             // BAND_TAB_DISABLED
        band(rgb(70, 73, 78), rgb(56, 58, 63)),                            // BAND_TAB_PAGE
        face(rgb(108, 112, 119), rgb(88, 92, 98), rgb(68, 71, 77)),        // BAND_COMBO
        face(rgb(128, 132, 139), rgb(106, 110, 117), rgb(82, 86, 92)),     // BAND_COMBO_HOVER
        band(rgb(50, 52, 57), rgb(66, 68, 73)),                            // BAND_COMBO_PRESSED
        flat(rgb(66, 68, 72)),                                             // BAND_COMBO_DISABLED
        face(rgb(118, 122, 129), rgb(96, 100, 106), rgb(72, 75, 81)),      // BAND_UPDOWN
        face(rgb(140, 144, 151), rgb(116, 120, 127), rgb(88, 92, 98)),     // BAND_UPDOWN_HOVER
        band(rgb(48, 50, 55), rgb(64, 66, 71)),                            // BAND_UPDOWN_PRESSED
        flat(rgb(66, 68, 72)),                                             // BAND_UPDOWN_DISABLED
        band(rgb(26, 27, 30), rgb(46, 47, 51)),                            // BAND_CHECKBOX
        band(rgb(36, 38, 42), rgb(60, 62, 67)),                            // BAND_CHECKBOX_HOVER
        face(rgb(112, 178, 236), rgb(80, 148, 212), rgb(54, 114, 178)),    // BAND_CHECKBOX_CHECKED
        flat(rgb(52, 54, 58)),                                             // BAND_CHECKBOX_DISABLED
        band(rgb(64, 67, 72), rgb(46, 48, 53)),                            // BAND_DIALOG (40)
        face(rgb(134, 196, 246), rgb(98, 164, 226), rgb(68, 130, 194)),    // BAND_CHECKBOX_CHECKED_HOVER
        band(rgb(86, 152, 214), rgb(62, 124, 188)),                        // BAND_LIST_SELECTION
        band(rgb(92, 96, 104), rgb(76, 80, 88)),                           // BAND_LIST_SELECTION_UNFOCUSED
        band(rgb(66, 69, 74), rgb(48, 50, 55)),                            // BAND_STATUS
        band(rgb(82, 86, 92), rgb(62, 65, 70)),                            // BAND_TOOLTIP
        band(rgb(62, 65, 70), rgb(50, 52, 57)),                            // BAND_TRACKBAR_BACKGROUND
        band(rgb(34, 35, 39), rgb(42, 44, 48)),                            // BAND_STATIC_SUNKEN
    },
    // text: normal, disabled, highlight, on_accent, dark, dark_disabled, shadow
    {rgb(218, 220, 224), rgb(120, 123, 128), rgb(118, 190, 248), rgb(250, 252, 255), rgb(16, 16, 16),
     rgb(128, 128, 128), rgb(18, 19, 22)},
    // border: outer, inner_light, inner_dark, focus, hover, disabled, field, field_focus
    {rgb(24, 25, 28), rgb(112, 116, 122), rgb(34, 35, 38), rgb(88, 160, 228), rgb(140, 146, 154),
     rgb(60, 62, 66), rgb(28, 29, 32), rgb(88, 160, 228)},
    // accent: accent, light, dark, dim
    {rgb(78, 150, 216), rgb(122, 188, 242), rgb(46, 100, 156), rgb(70, 96, 124)},
    // button: border, border_hover, border_pressed, border_disabled, border_default, sheen, text,
    // text_disabled
    {rgb(26, 27, 30), rgb(112, 118, 126), rgb(18, 19, 22), rgb(54, 56, 60), rgb(84, 156, 222), rgb(150, 154, 160),
     rgb(236, 238, 242), rgb(124, 127, 132)},
    // check: box_border, box_border_hover, box_border_checked, box_border_disabled, mark,
    // mark_disabled, dot, dot_disabled
    {rgb(18, 19, 22), rgb(120, 172, 222), rgb(38, 90, 146), rgb(92, 94, 98), rgb(252, 253, 255),
     rgb(132, 134, 138), rgb(252, 253, 255), rgb(132, 134, 138)},
    // group: line, line_light, title, title_disabled
    {rgb(28, 29, 32), rgb(88, 91, 97), rgb(214, 216, 220), rgb(120, 123, 128)},
    // statics: text, text_disabled, highlight, frame_black, frame_gray, frame_white, etched_dark,
    // etched_light
    {rgb(210, 212, 216), rgb(120, 123, 128), rgb(112, 188, 250), rgb(18, 19, 22), rgb(104, 107, 112),
     rgb(204, 206, 210), rgb(28, 29, 32), rgb(88, 91, 97)},
    // edit: field, field_disabled, text, text_disabled, selection, selection_text, border,
    // border_focus, border_hover
    {rgb(246, 247, 249), rgb(74, 76, 80), rgb(16, 16, 16), rgb(150, 150, 150), rgb(78, 150, 216),
     rgb(255, 255, 255), rgb(22, 23, 26), rgb(88, 160, 228), rgb(126, 132, 140)},
    // combo: field, field_hover, field_disabled, text, text_disabled, border, border_hover,
    // border_focus, arrow, arrow_disabled, separator
    {rgb(84, 88, 94), rgb(100, 104, 110), rgb(66, 68, 72), rgb(232, 234, 238), rgb(124, 127, 132),
     rgb(24, 25, 28), rgb(36, 38, 42), rgb(88, 160, 228), rgb(214, 216, 220), rgb(112, 114, 118),
     rgb(50, 52, 56)},
    // list: background, background_disabled, text, text_disabled, selection_text, focus, border,
    // border_focus
    {rgb(38, 40, 44), rgb(52, 54, 58), rgb(220, 222, 226), rgb(120, 123, 128), rgb(255, 255, 255),
     rgb(170, 208, 244), rgb(22, 23, 26), rgb(88, 160, 228)},
    // tab: page, border, text, text_selected, text_disabled, accent_line, hover_line
    {rgb(64, 67, 72), rgb(26, 27, 30), rgb(196, 198, 202), rgb(244, 246, 250), rgb(120, 123, 128),
     rgb(84, 156, 222), rgb(130, 136, 144)},
    // updown: border, arrow, arrow_hover, arrow_disabled, separator
    {rgb(24, 25, 28), rgb(214, 216, 220), rgb(255, 255, 255), rgb(112, 114, 118), rgb(34, 35, 38)},
    // progress: border, text, text_on_bar, bar_edge
    {rgb(22, 23, 26), rgb(228, 230, 234), rgb(255, 255, 255), rgb(140, 198, 244)},
    // tooltip: border, text
    {rgb(18, 19, 22), rgb(232, 234, 238)},
    // trackbar: channel_border, channel_border_disabled, thumb_border, thumb_border_hover,
    // thumb_border_focus, thumb_border_disabled, tic, selection_border, border
    {rgb(16, 17, 20), rgb(48, 50, 54), rgb(30, 31, 34), rgb(40, 42, 46), rgb(84, 156, 222), rgb(58, 60, 64),
     rgb(126, 130, 136), rgb(36, 86, 140), rgb(24, 25, 28)},
    // status: text, separator, grip
    {rgb(204, 206, 210), rgb(30, 31, 34), rgb(104, 108, 114)},
    // hotkey: field, text, border, border_focus
    {rgb(246, 247, 249), rgb(16, 16, 16), rgb(22, 23, 26), rgb(88, 160, 228)},
    // ip: field, dot, border
    {rgb(246, 247, 249), rgb(16, 16, 16), rgb(22, 23, 26)},
    // dialog: edge_dark, edge_light
    {rgb(22, 23, 26), rgb(86, 89, 95)},
    // glyph: key, normal, hover, disabled
    {rgb(255, 0, 255), rgb(214, 216, 220), rgb(255, 255, 255), rgb(112, 114, 118)},
    // focus: outline, outline_dim, glow
    {rgb(92, 164, 232), rgb(70, 110, 150), rgb(58, 88, 120)},
    // shadow: near, far, inset
    {rgb(16, 17, 20), rgb(30, 31, 34), rgb(20, 21, 24)},
};

static_assert(sizeof(SkinPalette) == SKIN_PALETTE_COLORS * sizeof(SkinColor), "the palette holds 364 colours");
static_assert(sizeof(SkinLook) == 26 * sizeof(void *), "the look is a table of 26 pointers");
static_assert(BAND_DIALOG == 40 && BAND_DIALOG_ALT == 10, "dialog backgrounds are bands 40 and 10");

const SkinMetrics metrics = {4, 13, 6, 4, 3, 2, 4, 3};
const SkinEffects effects = {1, 1, 1};

SkinPalette palette = design;
SkinLook look;
bool installed = false;

int channel(double x, double shift, double gamma) {
  // Channels beyond the 0..256 range (contrast pushes dark colours below
  // zero) are held at the range before the power, which has no real value
  // for a negative base.
  double base = x / 256.0;
  if (!(base > 0.0)) base = 0.0;
  double v = std::round(256.0 * (std::pow(base, 1.0 / gamma) + shift));
  if (v < 0.0) return 0;
  if (v > 255.0) return 255;
  return int(v);
}

}  // namespace

const SkinAdjustment skin_adjustment = {1.0, 1.1, 0.0, 1.0, 0.98, -0.02, -0.01, 0.02};

SkinColor skin_adjust_color(SkinColor color, const SkinAdjustment &a) {
  double r = SKIN_RED(color), g = SKIN_GREEN(color), b = SKIN_BLUE(color);
  double y = 0.299 * r + 0.587 * g + 0.114 * b;
  double cb = (-0.1687 * r - 0.3313 * g + 0.5 * b) * a.saturation;
  double cr = (0.5 * r - 0.4187 * g - 0.0813 * b) * a.saturation;
  double y2 = (y * a.brightness - 128.0) * a.contrast + 128.0 * a.offset + 128.0;
  double r2 = y2 + 1.402 * cr;
  double g2 = y2 - 0.34414 * cb - 0.71414 * cr;
  double b2 = y2 + 1.772 * cb;
  return SKIN_RGB(channel(r2, a.shift_red, a.gamma), channel(g2, a.shift_green, a.gamma),
                  channel(b2, a.shift_blue, a.gamma));
}

void skin_palette_reset_and_adjust(void) {
  palette = design;
  SkinColor *c = reinterpret_cast<SkinColor *>(&palette);
  for (int i = 0; i < SKIN_PALETTE_COLORS; ++i) c[i] = skin_adjust_color(c[i], skin_adjustment);
}

const SkinPalette &skin_palette(void) { return palette; }
const SkinPalette &skin_palette_design(void) { return design; }

void skin_look_install(int remove) {
  if (remove) {
    installed = false;
    std::memset(&look, 0, sizeof look);
    return;
  }
  look.bands = palette.bands;
  look.text = &palette.text;
  look.border = &palette.border;
  look.accent = &palette.accent;
  look.button = &palette.button;
  look.check = &palette.check;
  look.group = &palette.group;
  look.statics = &palette.statics;
  look.edit = &palette.edit;
  look.combo = &palette.combo;
  look.list = &palette.list;
  look.tab = &palette.tab;
  look.updown = &palette.updown;
  look.progress = &palette.progress;
  look.tooltip = &palette.tooltip;
  look.trackbar = &palette.trackbar;
  look.status = &palette.status;
  look.hotkey = &palette.hotkey;
  look.ip = &palette.ip;
  look.dialog = &palette.dialog;
  look.glyph = &palette.glyph;
  look.focus = &palette.focus;
  look.shadow = &palette.shadow;
  look.metrics = &metrics;
  look.effects = &effects;
  look.colors = reinterpret_cast<const SkinColor *>(&palette);
  installed = true;
}

const SkinLook *skin_look(void) { return installed ? &look : nullptr; }
