#include "device/eax_panel.h"

#include <cmath>
#include <cstring>

#include "device/block.h"
#include "device/device.h"
#include "device/presets.h"
#include "resources/resource_ids.h"
#include "support/file.h"
#include "support/format_text.h"

const PanelTab panel_tabs[PANEL_TAB_COUNT] = {
    {"Settings", PANEL_PAGE_SETTINGS, NO_VOICE},     {"Listener", PANEL_PAGE_LISTENER, NO_VOICE},
    {"Left channel 1", PANEL_PAGE_CHANNEL, L1}, {"Right channel 1", PANEL_PAGE_CHANNEL, R1},
    {"Left channel 2", PANEL_PAGE_CHANNEL, L2}, {"Right channel 2", PANEL_PAGE_CHANNEL, R2},
    {"<< About >>", PANEL_PAGE_ABOUT, NO_VOICE},
};

const int panel_page_resources[PANEL_PAGE_COUNT] = {IDD_EAX_SETTINGS, IDD_EAX_LISTENER, IDD_EAX_CHANNEL,
                                                    IDD_EAX_ABOUT};

int panel_selected_tab = 0;

int panel_tab_clamp(int tab) { return tab >= 0 && tab < PANEL_TAB_COUNT ? tab : 0; }

void panel_tab_select(int tab) {
  panel_selected_tab = panel_tab_clamp(tab);
  current_voice_select(panel_tabs[panel_selected_tab].voice);
}

namespace {
const SliderRow *slider(int index) { return &slider_rows[index]; }
}  // namespace

const PanelRow listener_rows[LISTENER_ROW_COUNT] = {
    {IDC_LISTENER_SIZE_VALUE, slider(0)},
    {IDC_LISTENER_DIFFUSION_VALUE, slider(1)},
    {IDC_LISTENER_ROOM_ROLLOFF_VALUE, slider(10)},
    {IDC_LISTENER_AIR_ABSORPTION_HF_VALUE, slider(11)},
    {IDC_LISTENER_ROLLOFF_FACTOR_VALUE, slider(12)},
    {IDC_LISTENER_DISTANCE_FACTOR_VALUE, slider(13)},
    {IDC_LISTENER_REVERB_VALUE, slider(8)},
    {IDC_LISTENER_REVERB_DELAY_VALUE, slider(9)},
    {IDC_LISTENER_REFLECTIONS_VALUE, slider(6)},
    {IDC_LISTENER_REFLECTIONS_DELAY_VALUE, slider(7)},
    {IDC_LISTENER_DECAY_TIME_VALUE, slider(4)},
    {IDC_LISTENER_DECAY_HF_RATIO_VALUE, slider(5)},
    {IDC_LISTENER_ROOM_VALUE, slider(2)},
    {IDC_LISTENER_ROOM_HF_VALUE, slider(3)},
};

const PanelRow channel_rows[CHANNEL_ROW_COUNT] = {
    {IDC_VOICE_MIN_DISTANCE_VALUE, slider(26)},
    {IDC_VOICE_MAX_DISTANCE_VALUE, slider(27)},
    {IDC_VOICE_OUTSIDE_VOLUME_VALUE, slider(28)},
    {IDC_VOICE_ROOM_ROLLOFF_VALUE, slider(23)},
    {IDC_VOICE_AIR_ABSORPTION_VALUE, slider(24)},
    {IDC_VOICE_OUTSIDE_VOLUME_HF_VALUE, slider(25)},
    {IDC_VOICE_DIRECT_VALUE, slider(14)},
    {IDC_VOICE_DIRECT_HF_VALUE, slider(15)},
    {IDC_VOICE_ROOM_VALUE, slider(16)},
    {IDC_VOICE_ROOM_HF_VALUE, slider(17)},
    {IDC_VOICE_OBSTRUCTION_VALUE, slider(18)},
    {IDC_VOICE_OBSTRUCTION_LF_VALUE, slider(19)},
    {IDC_VOICE_OCCLUSION_VALUE, slider(20)},
    {IDC_VOICE_OCCLUSION_LF_VALUE, slider(21)},
    {IDC_VOICE_OCCLUSION_ROOM_VALUE, slider(22)},
};

const PanelRow *const panel_air_absorption_row = &listener_rows[3];
const PanelRow *const panel_size_row = &listener_rows[0];
const SliderRow *const panel_volume_row = &slider_rows[29];

const PanelRow *panel_row_by_slider(int page_is_channel, int slider_id) {
  const PanelRow *rows = page_is_channel ? channel_rows : listener_rows;
  int count = page_is_channel ? CHANNEL_ROW_COUNT : LISTENER_ROW_COUNT;
  for (int i = 0; i < count; ++i)
    if (panel_row_slider_id(rows[i]) == slider_id) return &rows[i];
  return nullptr;
}

double panel_row_value(const SliderRow *row, int32_t position) {
  double v = slider_to_value(position, row->n, row->min, row->max, row->shape);
  return row->isInteger ? double(std::lround(v)) : v;
}

double panel_row_moved(const SliderRow *row, int32_t position, char *text) {
  double value = panel_row_value(row, position);
  slider_row_write(row, value);
  // The box shows what the device took: a value it refuses or clamps (a
  // distance factor of 0, say) must not read as if it had been set.
  slider_row_read(row, &value);
  slider_value_text(row, value, text);
  return value;
}

int32_t panel_row_read(const SliderRow *row, int32_t position, char *text) {
  double value = panel_row_value(row, position);
  slider_row_read(row, &value);
  slider_value_text(row, value, text);
  return slider_from_value(value, row->n, row->min, row->max, row->shape);
}

int panel_rows_rescaled(uint32_t flags, const PanelRow *out[5]) {
  uint32_t mask = rows_rescaled_by_size(flags);
  int count = 0;
  for (int bit = 0; bit < 5; ++bit) {
    if (!(mask & (1u << bit))) continue;
    for (const PanelRow &r : listener_rows)
      if (std::strcmp(r.row->name, scale_bit_rows[bit]) == 0) out[count++] = &r;
  }
  return count;
}

const PanelFlagBox listener_flag_boxes[LISTENER_FLAG_BOX_COUNT] = {
    {IDC_LISTENER_SCALE_DECAY_TIME, EAXL_FLAG_SCALE_DECAYTIME},
    {IDC_LISTENER_SCALE_REFLECTIONS, EAXL_FLAG_SCALE_REFLECTIONS},
    {IDC_LISTENER_SCALE_REFLECTIONS_DELAY, EAXL_FLAG_SCALE_REFLECTIONSDELAY},
    {IDC_LISTENER_SCALE_REVERB, EAXL_FLAG_SCALE_REVERB},
    {IDC_LISTENER_SCALE_REVERB_DELAY, EAXL_FLAG_SCALE_REVERBDELAY},
    {IDC_LISTENER_DECAY_HF_LIMIT, EAXL_FLAG_DECAYHFLIMIT},
};
const PanelFlagBox voice_flag_boxes[VOICE_FLAG_BOX_COUNT] = {
    {IDC_VOICE_AUTO_DIRECT_HF, EAXB_FLAG_DIRECTHFAUTO},
    {IDC_VOICE_AUTO_ROOM, EAXB_FLAG_ROOMAUTO},
    {IDC_VOICE_AUTO_ROOM_HF, EAXB_FLAG_ROOMHFAUTO},
};

uint32_t panel_listener_flags(uint32_t fallback) {
  uint32_t flags = fallback;
  eax_listener_get(EAXL_FLAGS, &flags);
  return flags;
}

uint32_t panel_voice_flags(uint32_t fallback) {
  uint32_t flags = fallback;
  eax_voice_get(EAXB_FLAGS, &flags);
  return flags;
}

uint32_t panel_listener_flag_toggle(uint32_t bit) {
  AcousticGuard hold;
  uint32_t flags = 0;
  eax_listener_get(EAXL_FLAGS, &flags);
  flags ^= bit;
  eax_listener_set(EAXL_FLAGS, &flags);
  return panel_listener_flags(0);
}

uint32_t panel_voice_flag_toggle(uint32_t bit) {
  // The voice is the current one for the whole read-toggle-write.
  AcousticGuard hold;
  uint32_t flags = 0;
  eax_voice_get(EAXB_FLAGS, &flags);
  flags ^= bit;
  eax_voice_set(EAXB_FLAGS, &flags);
  return panel_voice_flags(0);
}

const int panel_mode_buttons[PANEL_MODE_COUNT] = {IDC_VOICE_MODE_NORMAL, IDC_VOICE_MODE_HR,
                                                  IDC_VOICE_MODE_DISABLED};

int panel_mode_of_button(int id) {
  for (int mode = 0; mode < PANEL_MODE_COUNT; ++mode)
    if (panel_mode_buttons[mode] == id) return mode;
  return -1;
}

void panel_volume_text(int32_t position, char *text) {
  if (position < 0) position = 0;
  if (position > PANEL_VOLUME_MAX) position = PANEL_VOLUME_MAX;
  TextArgs a;
  text_args_clear(&a);
  text_args_dword(&a, uint32_t(position / 100));
  format_text(text, "Volume %d%%", a.bytes);
}

int32_t panel_volume_mb(int32_t position) { return int32_t(panel_row_value(panel_volume_row, position)); }

int32_t panel_volume_position(int32_t mb) {
  const SliderRow *r = panel_volume_row;
  return slider_from_value(mb, r->n, r->min, r->max, r->shape);
}

namespace {
bool within(int id, int first, int last) { return id >= first && id <= last; }
}  // namespace

bool panel_listener_kept_empty(int id) { return within(id, IDC_LISTENER_POSE_FIRST, IDC_LISTENER_POSE_LAST); }

bool panel_channel_kept_empty(int id) {
  return within(id, IDC_VOICE_POSE_FIRST, IDC_VOICE_POSE_LAST) || within(id, IDC_VOICE_CONE_FIRST, IDC_VOICE_CONE_LAST);
}

PanelEnable panel_listener_enable(int id, bool device_ready, bool voices_ready) {
  if (panel_listener_kept_empty(id)) return PANEL_DISABLE;
  if (within(id, IDC_LISTENER_DS3D_FIRST, IDC_LISTENER_DS3D_LAST)) return voices_ready ? PANEL_ENABLE : PANEL_DISABLE;
  if (within(id, IDC_LISTENER_ENVIRONMENT, IDC_LISTENER_DIFFUSION_LABEL) ||
      within(id, IDC_LISTENER_REVERB_VALUE, IDC_LISTENER_AIR_ABSORPTION_HF_LABEL))
    return device_ready ? PANEL_ENABLE : PANEL_DISABLE;
  return PANEL_LEAVE;
}

PanelEnable panel_channel_enable(int id, bool device_ready, bool voices_ready) {
  if (panel_channel_kept_empty(id) || id == IDC_VOICE_VOLUME_LABEL) return PANEL_DISABLE;
  if (within(id, IDC_VOICE_DS3D_FIRST, IDC_VOICE_DS3D_LAST)) return voices_ready ? PANEL_ENABLE : PANEL_DISABLE;
  if (within(id, IDC_VOICE_EAX_FIRST, IDC_VOICE_EAX_LAST)) return device_ready ? PANEL_ENABLE : PANEL_DISABLE;
  return PANEL_LEAVE;
}

bool panel_preset_load(const char *path) {
  if (!block_file_load(path)) return false;
  fog_density_refresh();
  return true;
}

bool panel_preset_save(const char *path) {
  PropertyBlock block;
  {
    AcousticGuard hold;
    block_capture();
    block = property_block;
  }
  // Whole or not at all: a preset that is being replaced keeps its old
  // content when the new one cannot be written.
  return file_save(path, &block, PROPERTY_BLOCK_BYTES) == FILE_SAVED;
}
