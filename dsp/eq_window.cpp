#include "dsp/eq_window.h"

#include "support/format_text.h"

int32_t eq_preamp_mode = EQ_MODE_PREAMP;
int32_t eq_scale_reference = 50;

namespace {
// numerator / denominator rounded to nearest, ties to even (both positive).
int32_t divide_nearest_even(int64_t numerator, int64_t denominator) {
  int64_t q = numerator / denominator;
  int64_t twice_rest = 2 * (numerator % denominator);
  if (twice_rest > denominator || (twice_rest == denominator && (q & 1))) ++q;
  return int32_t(q);
}
}  // namespace

void eq_band_label(int band, char *out) {
  out[0] = 0;
  if (band < 0 || band >= EQ_BANDS) return;
  // f = bins * 46.875 Hz = bins * 375 / 8 Hz, kept exact as a fraction.
  const int64_t eighths = int64_t(eq_band_bins[band]) * 375;
  TextArgs a;
  text_args_clear(&a);
  if (eighths < 1000 * 8) {
    text_args_dword(&a, uint32_t(divide_nearest_even(eighths, 8)));
    format_text(out, "%d", a.bytes);
  } else if (eighths >= 10000 * 8) {
    text_args_dword(&a, uint32_t(divide_nearest_even(eighths, 8000)));
    format_text(out, "%dk", a.bytes);
  } else {
    // bins * 3 / 64 kHz is exact in a single.
    text_args_single(&a, float(eq_band_bins[band]) * 3.0f / 64.0f);
    format_text(out, "%.1fk", a.bytes);
  }
}

EqSelection eq_band_selection(int position) { return EqSelection{position, EQ_SLIDER_MAX}; }

EqSelection eq_preamp_selection(int32_t preamp) {
  // 100 * (1 - 50 / preamp) = 100 - 5000 / preamp; nothing at or below 1x.
  if (preamp <= 50) return EqSelection{0, 0};
  int32_t end = EQ_SLIDER_MAX - divide_nearest_even(5000, preamp);
  if (end < 0) end = 0;
  if (end > EQ_SLIDER_MAX) end = EQ_SLIDER_MAX;
  return EqSelection{0, end};
}

int32_t eq_scale_value(int position) {
  // An arithmetic shift rounds toward minus infinity, so the top gives -13
  // and the slider is not symmetric around its centre.
  int32_t scaled = (int32_t(position) - 50) * 20;
  int32_t shifted = scaled >= 0 ? scaled >> 4 : -((-scaled + 15) >> 4);
  return shifted + 50;
}

int32_t eq_scale_move(EqSettings *settings, int32_t *reference, int position) {
  int32_t value = eq_scale_value(position);
  int32_t delta = *reference - value;
  *reference = value;
  for (int32_t &band : settings->bands) {
    int64_t moved = int64_t(band) + delta;
    band = moved < 0 ? 0 : moved > EQ_SLIDER_MAX ? EQ_SLIDER_MAX : int32_t(moved);
  }
  return delta;
}

EqPreampView eq_preamp_view(int32_t mode, int32_t preamp) {
  EqPreampView view;
  if (mode == EQ_MODE_SCALE) {
    view.label = "scale";
    view.styleBits = EQ_STYLE_SCALE_MODE;
    view.position = 50;
    view.selection = false;
    view.selected = EqSelection{0, 0};
  } else {
    view.label = "preamp";
    view.styleBits = EQ_STYLE_PREAMP_MODE;
    view.position = eq_slider_position(preamp);
    view.selection = true;
    view.selected = eq_preamp_selection(preamp);
  }
  return view;
}

EqPreampView eq_preamp_setup(void) {
  eq_scale_reference = 50;
  return eq_preamp_view(eq_preamp_mode, eq_settings.preamp);
}

uint32_t eq_preamp_style(uint32_t style, int32_t mode) {
  return (style & ~EQ_STYLE_MODE_MASK) | (mode == EQ_MODE_SCALE ? EQ_STYLE_SCALE_MODE : EQ_STYLE_PREAMP_MODE);
}

uint32_t eq_band_slider_style(uint32_t style, bool highlighted) {
  return highlighted ? style | EQ_STYLE_SELECTION : style & ~EQ_STYLE_SELECTION;
}

uint32_t eq_band_label_exstyle(uint32_t exstyle, bool highlighted) {
  return highlighted ? exstyle & ~EQ_EXSTYLE_LABEL_MARK : exstyle | EQ_EXSTYLE_LABEL_MARK;
}

int32_t eq_preamp_mode_toggle(void) {
  eq_preamp_mode = eq_preamp_mode == EQ_MODE_SCALE ? EQ_MODE_PREAMP : EQ_MODE_SCALE;
  return eq_preamp_mode;
}

bool eq_band_highlight_toggle(int band) {
  if (band < 0 || band >= EQ_BANDS) return false;
  eq_band_highlight[band] = eq_band_highlight[band] ? 0 : 1;
  return eq_band_highlight[band] != 0;
}
