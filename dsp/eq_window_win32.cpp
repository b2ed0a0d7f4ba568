// The equalizer window: 33 upside-down sliders over eq_settings, the band
// labels that toggle highlights, the preamp label that toggles the preamp
// slider's mode, the enable check box, the quality caption and the Presets
// button. Every change redesigns the kernel at once.
#include <windows.h>
#include <commctrl.h>

#include "dsp/eq_preset.h"
#include "dsp/eq_window.h"
#include "resources/resource_ids.h"
#include "skin/skin.h"
#include "support/file.h"
#include "support/fpu_guard.h"
#include "ui/preset_menu.h"
#include "ui/tray.h"

namespace {

const char kQualityCaption[] = "High Quality (1024 taps)";

struct EqControls {
  HWND preamp;
  HWND bands[EQ_BANDS];
  HWND preamp_label;
  HWND band_labels[EQ_BANDS];
  HWND quality;
  HWND enable;
  HWND presets;
  HWND sort_list;
};
EqControls controls;

void set_selection(HWND slider, EqSelection bar) {
  SendMessageA(slider, TBM_SETSEL, TRUE, MAKELPARAM(bar.start, bar.end));
}

void set_style(HWND window, int which, LONG_PTR style) {
  if (GetWindowLongPtrA(window, which) == style) return;
  SetWindowLongPtrA(window, which, style);
  InvalidateRect(window, nullptr, TRUE);
}

// The band slider's selection bar follows its thumb while the band is
// highlighted; otherwise it has none.
void band_bar(int band) {
  HWND slider = controls.bands[band];
  if (eq_band_highlight[band]) {
    int position = int(SendMessageA(slider, TBM_GETPOS, 0, 0));
    set_selection(slider, eq_band_selection(position));
  } else {
    SendMessageA(slider, TBM_CLEARSEL, TRUE, 0);
  }
}

void band_highlight_apply(int band) {
  bool on = eq_band_highlight[band] != 0;
  HWND slider = controls.bands[band];
  HWND label = controls.band_labels[band];
  if (!on) SendMessageA(slider, TBM_CLEARSEL, TRUE, 0);
  set_style(slider, GWL_STYLE, LONG_PTR(eq_band_slider_style(uint32_t(GetWindowLongPtrA(slider, GWL_STYLE)), on)));
  set_style(label, GWL_EXSTYLE, LONG_PTR(eq_band_label_exstyle(uint32_t(GetWindowLongPtrA(label, GWL_EXSTYLE)), on)));
  band_bar(band);
  InvalidateRect(slider, nullptr, TRUE);
  InvalidateRect(label, nullptr, TRUE);
}

void band_sliders_set(void) {
  for (int band = 0; band < EQ_BANDS; ++band) {
    SendMessageA(controls.bands[band], TBM_SETPOS, TRUE, eq_slider_position(eq_settings.bands[band]));
    band_bar(band);
  }
}

void preamp_setup(void) {
  EqPreampView view = eq_preamp_setup();
  HWND slider = controls.preamp;
  if (!view.selection) SendMessageA(slider, TBM_CLEARSEL, TRUE, 0);
  SetWindowTextA(controls.preamp_label, view.label);
  set_style(slider, GWL_STYLE, LONG_PTR(eq_preamp_style(uint32_t(GetWindowLongPtrA(slider, GWL_STYLE)), eq_preamp_mode)));
  SendMessageA(slider, TBM_SETPOS, TRUE, view.position);
  if (view.selection) set_selection(slider, view.selected);
  InvalidateRect(slider, nullptr, TRUE);
}

void band_moved(int band) {
  int position = int(SendMessageA(controls.bands[band], TBM_GETPOS, 0, 0));
  eq_settings.bands[band] = eq_slider_value(position);
  band_bar(band);
  eq_design();
}

void preamp_moved(void) {
  int position = int(SendMessageA(controls.preamp, TBM_GETPOS, 0, 0));
  if (eq_preamp_mode == EQ_MODE_SCALE) {
    if (eq_scale_move(&eq_settings, &eq_scale_reference, position) != 0) band_sliders_set();
  } else {
    eq_settings.preamp = eq_slider_value(position);
    set_selection(controls.preamp, eq_preamp_selection(eq_settings.preamp));
  }
  eq_design();
}

// What the Presets button does with ".eq" files.
void preset_loaded(const char *path, void *) {
  eq_preset_read(path, &eq_settings);
  if (!controls.preamp) return;
  band_sliders_set();
  preamp_setup();
  eq_design();
}

bool preset_saving(const char *path, void *) {
  if (eq_preset_write(path, &eq_settings) == 0) return true;
  // The name was free before: a part-written file is nobody's preset.
  file_delete(path);
  return false;
}

const PresetHandler kPresets = {".eq", preset_loaded, preset_saving, nullptr};

void window_init(HWND dialog) {
  controls.preamp = GetDlgItem(dialog, IDC_EQ_PREAMP);
  controls.preamp_label = GetDlgItem(dialog, IDC_EQ_PREAMP_LABEL);
  for (int band = 0; band < EQ_BANDS; ++band) {
    controls.bands[band] = GetDlgItem(dialog, IDC_EQ_BAND_FIRST + band);
    controls.band_labels[band] = GetDlgItem(dialog, IDC_EQ_BAND_LABEL_FIRST + band);
  }
  controls.quality = GetDlgItem(dialog, IDC_EQ_QUALITY);
  controls.enable = GetDlgItem(dialog, IDC_EQ_ENABLE);
  controls.presets = GetDlgItem(dialog, IDC_EQ_PRESETS);
  controls.sort_list = GetDlgItem(dialog, IDC_EQ_PRESET_SORT);
  CheckDlgButton(dialog, IDC_EQ_ENABLE, eq_enabled.load() ? BST_CHECKED : BST_UNCHECKED);

  for (int band = 0; band < EQ_BANDS; ++band) {
    char label[EQ_LABEL_MAX];
    eq_band_label(band, label);
    SetWindowTextA(controls.band_labels[band], label);
  }
  SendMessageA(controls.preamp, TBM_SETRANGE, TRUE, MAKELPARAM(0, EQ_SLIDER_MAX));
  SendMessageA(controls.preamp, TBM_SETTICFREQ, 1, 0);
  for (HWND slider : controls.bands) SendMessageA(slider, TBM_SETRANGE, TRUE, MAKELPARAM(0, EQ_SLIDER_MAX));

  for (int band = 0; band < EQ_BANDS; ++band) SendMessageA(controls.bands[band], TBM_SETPOS, TRUE, eq_slider_position(eq_settings.bands[band]));
  for (int band = 0; band < EQ_BANDS; ++band) band_highlight_apply(band);
  preamp_setup();
  SetWindowTextA(controls.quality, kQualityCaption);
  eq_design();

  skin_sweep(0);
  skin_attach_tree(dialog, 1);
}

void window_destroyed(HWND dialog) {
  tray_dialog_closed(TRAY_DIALOG_EQUALIZER, dialog);
  controls = EqControls{};
}

bool is_click(WORD code) {
  // A quick second click on a label arrives as a double click; it toggles
  // as well, so fast clicking never drops a toggle.
  return code == STN_CLICKED || code == STN_DBLCLK;
}

void command(HWND dialog, WORD id, WORD code) {
  if (id >= IDC_EQ_BAND_LABEL_FIRST && id <= IDC_EQ_BAND_LABEL_LAST) {
    if (!is_click(code)) return;
    int band = id - IDC_EQ_BAND_LABEL_FIRST;
    eq_band_highlight_toggle(band);
    band_highlight_apply(band);
    return;
  }
  switch (id) {
    case IDC_EQ_PREAMP_LABEL:
      if (!is_click(code)) return;
      eq_preamp_mode_toggle();
      preamp_setup();
      return;
    case IDC_EQ_QUALITY:
      if (!is_click(code)) return;
      SetWindowTextA(controls.quality, kQualityCaption);
      eq_design();
      return;
    case IDC_EQ_ENABLE:
      if (code != BN_CLICKED) return;
      eq_enabled.store(IsDlgButtonChecked(dialog, IDC_EQ_ENABLE) == BST_CHECKED ? 1 : 0);
      return;
    case IDC_EQ_PRESETS:
      if (code != BN_CLICKED) return;
      preset_menu_run(dialog, controls.presets, controls.sort_list, &kPresets);
      return;
  }
}

void scrolled(HWND slider, WORD code) {
  // The end of a drag repeats the last position; nothing to do.
  if (code == TB_ENDTRACK) return;
  if (slider == controls.preamp) {
    preamp_moved();
    return;
  }
  for (int band = 0; band < EQ_BANDS; ++band)
    if (slider == controls.bands[band]) {
      band_moved(band);
      return;
    }
}

}  // namespace

INT_PTR CALLBACK eq_window_proc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam) {
  FpuGuard guard;
  switch (msg) {
    case WM_INITDIALOG:
      window_init(dialog);
      return TRUE;
    case WM_VSCROLL:
      if (lparam) scrolled(reinterpret_cast<HWND>(lparam), LOWORD(wparam));
      return TRUE;
    case WM_COMMAND:
      command(dialog, LOWORD(wparam), HIWORD(wparam));
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(dialog);
      return TRUE;
    case WM_DESTROY:
      window_destroyed(dialog);
      return FALSE;
  }
  return FALSE;
}

void eq_window_register(void) { tray_dialogs[TRAY_DIALOG_EQUALIZER].proc = eq_window_proc; }
