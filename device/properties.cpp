#include "device/properties.h"

#include <cmath>
#include <cstring>
#include <mutex>

#include "device/device.h"
#include "platform/eax2.h"
#include "platform/os.h"
#include "support/format_text.h"

const uint32_t eax_listener_block_order[14] = {
    EAXL_ENVIRONMENT, EAXL_ENVIRONMENTSIZE, EAXL_ENVIRONMENTDIFFUSION, EAXL_ROOM, EAXL_ROOMHF,
    EAXL_DECAYTIME,   EAXL_DECAYHFRATIO,    EAXL_REFLECTIONS,          EAXL_REFLECTIONSDELAY,
    EAXL_REVERB,      EAXL_REVERBDELAY,     EAXL_ROOMROLLOFFFACTOR,    EAXL_AIRABSORPTIONHF,
    EAXL_FLAGS};
const uint32_t eax_voice_block_order[13] = {
    EAXB_DIRECT,           EAXB_DIRECTHF,           EAXB_ROOM,
    EAXB_ROOMHF,           EAXB_OBSTRUCTION,        EAXB_OBSTRUCTIONLFRATIO,
    EAXB_OCCLUSION,        EAXB_OCCLUSIONLFRATIO,   EAXB_OCCLUSIONROOMRATIO,
    EAXB_ROOMROLLOFFFACTOR, EAXB_AIRABSORPTIONFACTOR, EAXB_OUTSIDEVOLUMEHF,
    EAXB_FLAGS};

namespace {
std::recursive_mutex acoustic_mutex;
std::atomic<int> current_voice{NO_VOICE};

IKsPropertySet *listener_set() { return device_set.propertySets[0]; }

int voice_index() {
  int v = current_voice.load();
  return v >= 0 && v < VOICE_COUNT ? v : NO_VOICE;
}
IKsPropertySet *voice_set() {
  int v = voice_index();
  return v == NO_VOICE ? nullptr : device_set.propertySets[v];
}
IDirectSound3DBuffer *voice_3d() {
  int v = voice_index();
  return v == NO_VOICE ? nullptr : device_set.buffers3d[v];
}
IDirectSoundBuffer *voice_buffer() {
  int v = voice_index();
  return v == NO_VOICE ? nullptr : device_set.buffers[v];
}

void get4(IKsPropertySet *set, REFGUID guid, uint32_t id, void *value) {
  if (!set) return;
  uint32_t data = 0;
  ULONG returned = 0;
  if (SUCCEEDED(set->Get(guid, id, nullptr, 0, &data, 4, &returned))) std::memcpy(value, &data, 4);
}
void set4(IKsPropertySet *set, REFGUID guid, uint32_t id, const void *value) {
  if (!set) return;
  uint32_t data;
  std::memcpy(&data, value, 4);
  set->Set(guid, id, nullptr, 0, &data, 4);
}

void vector_out(const D3DVECTOR &v, float *xyz) {
  xyz[0] = v.x;
  xyz[1] = v.y;
  xyz[2] = v.z;
}

}  // namespace

void acoustic_lock(void) { acoustic_mutex.lock(); }
void acoustic_unlock(void) { acoustic_mutex.unlock(); }

void current_voice_select(int voice) {
  std::lock_guard<std::recursive_mutex> hold(acoustic_mutex);
  current_voice.store(voice >= 0 && voice < VOICE_COUNT ? voice : NO_VOICE);
}
int current_voice_get(void) { return voice_index(); }

void eax_listener_set(uint32_t id, const void *value) {
  std::lock_guard<std::recursive_mutex> hold(acoustic_mutex);
  set4(listener_set(), DSPROPSETID_EAX20_ListenerProperties, id, value);
}
void eax_listener_get(uint32_t id, void *value) {
  std::lock_guard<std::recursive_mutex> hold(acoustic_mutex);
  get4(listener_set(), DSPROPSETID_EAX20_ListenerProperties, id, value);
}
void eax_voice_set(uint32_t id, const void *value) {
  std::lock_guard<std::recursive_mutex> hold(acoustic_mutex);
  set4(voice_set(), DSPROPSETID_EAX20_BufferProperties, id, value);
}
void eax_voice_get(uint32_t id, void *value) {
  std::lock_guard<std::recursive_mutex> hold(acoustic_mutex);
  get4(voice_set(), DSPROPSETID_EAX20_BufferProperties, id, value);
}

void ds3d_listener_set_distance_factor(const float *value) {
  std::lock_guard<std::recursive_mutex> hold(acoustic_mutex);
  if (IDirectSound3DListener *l = device_set.listener) l->SetDistanceFactor(*value, DS3D_IMMEDIATE);
}
void ds3d_listener_set_rolloff_factor(const float *value) {
  std::lock_guard<std::recursive_mutex> hold(acoustic_mutex);
  if (IDirectSound3DListener *l = device_set.listener) l->SetRolloffFactor(*value, DS3D_IMMEDIATE);
}
void ds3d_listener_set_position(const float *xyz) {
  std::lock_guard<std::recursive_mutex> hold(acoustic_mutex);
  if (IDirectSound3DListener *l = device_set.listener) l->SetPosition(xyz[0], xyz[1], xyz[2], DS3D_IMMEDIATE);
}
void ds3d_listener_set_orientation(const float *ft) {
  std::lock_guard<std::recursive_mutex> hold(acoustic_mutex);
  if (IDirectSound3DListener *l = device_set.listener)
    l->SetOrientation(ft[0], ft[1], ft[2], ft[3], ft[4], ft[5], DS3D_IMMEDIATE);
}
void ds3d_listener_get_distance_factor(float *value) {
  std::lock_guard<std::recursive_mutex> hold(acoustic_mutex);
  D3DVALUE v;
  if (IDirectSound3DListener *l = device_set.listener)
    if (SUCCEEDED(l->GetDistanceFactor(&v))) *value = v;
}
void ds3d_listener_get_doppler_factor(float *value) {
  std::lock_guard<std::recursive_mutex> hold(acoustic_mutex);
  D3DVALUE v;
  if (IDirectSound3DListener *l = device_set.listener)
    if (SUCCEEDED(l->GetDopplerFactor(&v))) *value = v;
}
void ds3d_listener_get_rolloff_factor(float *value) {
  std::lock_guard<std::recursive_mutex> hold(acoustic_mutex);
  D3DVALUE v;
  if (IDirectSound3DListener *l = device_set.listener)
    if (SUCCEEDED(l->GetRolloffFactor(&v))) *value = v;
}
void ds3d_listener_get_velocity(float *xyz) {
  std::lock_guard<std::recursive_mutex> hold(acoustic_mutex);
  D3DVECTOR v;
  if (IDirectSound3DListener *l = device_set.listener)
    if (SUCCEEDED(l->GetVelocity(&v))) vector_out(v, xyz);
}

void ds3d_voice_set_cone_outside_volume(const int32_t *value) {
  std::lock_guard<std::recursive_mutex> hold(acoustic_mutex);
  if (IDirectSound3DBuffer *b = voice_3d()) b->SetConeOutsideVolume(*value, DS3D_IMMEDIATE);
}
void ds3d_voice_set_max_distance(const float *value) {
  std::lock_guard<std::recursive_mutex> hold(acoustic_mutex);
  if (IDirectSound3DBuffer *b = voice_3d()) b->SetMaxDistance(*value, DS3D_IMMEDIATE);
}
void ds3d_voice_set_min_distance(const float *value) {
  std::lock_guard<std::recursive_mutex> hold(acoustic_mutex);
  if (IDirectSound3DBuffer *b = voice_3d()) b->SetMinDistance(*value, DS3D_IMMEDIATE);
}
void ds3d_voice_set_mode(const uint32_t *value) {
  std::lock_guard<std::recursive_mutex> hold(acoustic_mutex);
  if (IDirectSound3DBuffer *b = voice_3d()) b->SetMode(*value, DS3D_IMMEDIATE);
}
void ds3d_voice_set_cone_angles(const uint32_t *io) {
  std::lock_guard<std::recursive_mutex> hold(acoustic_mutex);
  if (IDirectSound3DBuffer *b = voice_3d()) b->SetConeAngles(io[0], io[1], DS3D_IMMEDIATE);
}
void ds3d_voice_set_cone_orientation(const float *xyz) {
  std::lock_guard<std::recursive_mutex> hold(acoustic_mutex);
  if (IDirectSound3DBuffer *b = voice_3d()) b->SetConeOrientation(xyz[0], xyz[1], xyz[2], DS3D_IMMEDIATE);
}
void ds3d_voice_set_position(const float *xyz) {
  std::lock_guard<std::recursive_mutex> hold(acoustic_mutex);
  if (IDirectSound3DBuffer *b = voice_3d()) b->SetPosition(xyz[0], xyz[1], xyz[2], DS3D_IMMEDIATE);
}
void ds3d_voice_get_cone_outside_volume(int32_t *value) {
  std::lock_guard<std::recursive_mutex> hold(acoustic_mutex);
  LONG v;
  if (IDirectSound3DBuffer *b = voice_3d())
    if (SUCCEEDED(b->GetConeOutsideVolume(&v))) *value = int32_t(v);
}
void ds3d_voice_get_max_distance(float *value) {
  std::lock_guard<std::recursive_mutex> hold(acoustic_mutex);
  D3DVALUE v;
  if (IDirectSound3DBuffer *b = voice_3d())
    if (SUCCEEDED(b->GetMaxDistance(&v))) *value = v;
}
void ds3d_voice_get_min_distance(float *value) {
  std::lock_guard<std::recursive_mutex> hold(acoustic_mutex);
  D3DVALUE v;
  if (IDirectSound3DBuffer *b = voice_3d())
    if (SUCCEEDED(b->GetMinDistance(&v))) *value = v;
}
void ds3d_voice_get_mode(uint32_t *value) {
  std::lock_guard<std::recursive_mutex> hold(acoustic_mutex);
  DWORD v;
  if (IDirectSound3DBuffer *b = voice_3d())
    if (SUCCEEDED(b->GetMode(&v))) *value = uint32_t(v);
}
void ds3d_voice_get_velocity(float *xyz) {
  std::lock_guard<std::recursive_mutex> hold(acoustic_mutex);
  D3DVECTOR v;
  if (IDirectSound3DBuffer *b = voice_3d())
    if (SUCCEEDED(b->GetVelocity(&v))) vector_out(v, xyz);
}

void voice_volume_set(const int32_t *value) {
  std::lock_guard<std::recursive_mutex> hold(acoustic_mutex);
  if (IDirectSoundBuffer *b = voice_buffer()) b->SetVolume(*value);
}
void voice_volume_get(int32_t *value) {
  std::lock_guard<std::recursive_mutex> hold(acoustic_mutex);
  LONG v;
  if (IDirectSoundBuffer *b = voice_buffer())
    if (SUCCEEDED(b->GetVolume(&v))) *value = int32_t(v);
}

// The shape code's exponent: log2 of its magnitude. Codes of magnitude 1 or
// 0 would flatten the curve to a step; they are treated as linear.
static double shape_exponent(int32_t shape) {
  int32_t m = shape < 0 ? -shape : shape;
  return m > 1 ? std::log2(double(m)) : 1.0;
}

double slider_to_value(int32_t p, int32_t n, double min, double max, int32_t shape) {
  double t = n > 0 ? double(p) / double(n) : 0.0;
  if (t < 0) t = 0;
  if (t > 1) t = 1;
  if (shape < 0) t = 1 - t;
  if (t > 0) t = std::pow(t, shape_exponent(shape));
  return shape > 0 ? min + (max - min) * t : max - (max - min) * t;
}

int32_t slider_from_value(double value, int32_t n, double min, double max, int32_t shape) {
  if (!(max > min) || n <= 0) return 0;
  double t = (value - min) / (max - min);
  // A value outside the row's range (the device's own default, say) puts the
  // slider at the nearer end instead of computing a root of a negative.
  if (!(t >= 0)) t = 0;
  if (t > 1) t = 1;
  if (shape < 0) t = 1 - t;
  if (t > 0) t = std::pow(t, 1.0 / shape_exponent(shape));
  if (shape < 0) t = 1 - t;
  return int32_t(std::lround(t * n));
}

const SliderRow slider_rows[SLIDER_ROW_COUNT] = {
    {"Environment Size", 0, TARGET_EAX_LISTENER, EAXL_ENVIRONMENTSIZE, 1, 100, 9900, 2, 2, false},
    {"Environment Diffusion", 0, TARGET_EAX_LISTENER, EAXL_ENVIRONMENTDIFFUSION, 0, 1, 1000, 2, 3, false},
    {"Room", 0, TARGET_EAX_LISTENER, EAXL_ROOM, -10000, 0, 10000, 2, SHOWN_INTEGER, true},
    {"Room HF", 0, TARGET_EAX_LISTENER, EAXL_ROOMHF, -10000, 0, 10000, 2, SHOWN_INTEGER, true},
    {"Decay Time", 0, TARGET_EAX_LISTENER, EAXL_DECAYTIME, 0.1f, 20, 1900, 2, 2, false},
    {"Decay HF Ratio", 0, TARGET_EAX_LISTENER, EAXL_DECAYHFRATIO, 0.1f, 2, 1900, 2, 3, false},
    {"Reflections", 0, TARGET_EAX_LISTENER, EAXL_REFLECTIONS, -10000, 1000, 11000, 2, SHOWN_INTEGER, true},
    {"Reflections Delay", 0, TARGET_EAX_LISTENER, EAXL_REFLECTIONSDELAY, 0, 0.3f, 300, 2, 3, false},
    {"Reverb", 0, TARGET_EAX_LISTENER, EAXL_REVERB, -10000, 2000, 12000, 2, SHOWN_INTEGER, true},
    {"Reverb Delay", 0, TARGET_EAX_LISTENER, EAXL_REVERBDELAY, 0, 0.1f, 100, 2, 3, false},
    {"Room Rolloff", 0, TARGET_EAX_LISTENER, EAXL_ROOMROLLOFFFACTOR, 0, 10, 10000, 2, 3, false},
    {"Air Absorption HF", 0, TARGET_EAX_LISTENER, EAXL_AIRABSORPTIONHF, -100, 0, 10000, 2, 2, false},
    {"Rolloff Factor", 0, TARGET_LISTENER_ROLLOFF, 0, 0, 10, 10000, 2, 3, false},
    {"Distance Factor", 0, TARGET_LISTENER_DISTANCE_FACTOR, 0, 0, 100, 2000, 4, 2, false},
    {"Direct", 1, TARGET_EAX_VOICE, EAXB_DIRECT, -10000, 1000, 11000, 2, SHOWN_INTEGER, true},
    {"Direct HF", 1, TARGET_EAX_VOICE, EAXB_DIRECTHF, -10000, 0, 10000, 2, SHOWN_INTEGER, true},
    {"Voice Room", 1, TARGET_EAX_VOICE, EAXB_ROOM, -10000, 1000, 11000, 2, SHOWN_INTEGER, true},
    {"Voice Room HF", 1, TARGET_EAX_VOICE, EAXB_ROOMHF, -10000, 0, 10000, 2, SHOWN_INTEGER, true},
    {"Obstruction", 1, TARGET_EAX_VOICE, EAXB_OBSTRUCTION, -10000, 0, 10000, 2, SHOWN_INTEGER, true},
    {"Obstruction LF Ratio", 1, TARGET_EAX_VOICE, EAXB_OBSTRUCTIONLFRATIO, 0, 1, 1000, 2, 3, false},
    {"Occlusion", 1, TARGET_EAX_VOICE, EAXB_OCCLUSION, -10000, 0, 10000, 2, SHOWN_INTEGER, true},
    {"Occlusion LF Ratio", 1, TARGET_EAX_VOICE, EAXB_OCCLUSIONLFRATIO, 0, 1, 1000, 2, 3, false},
    {"Occlusion Room Ratio", 1, TARGET_EAX_VOICE, EAXB_OCCLUSIONROOMRATIO, 0, 10, 1000, 2, 2, false},
    {"Room Rolloff Factor", 1, TARGET_EAX_VOICE, EAXB_ROOMROLLOFFFACTOR, 0, 10, 1000, 2, 2, false},
    {"Air Absorption Factor", 1, TARGET_EAX_VOICE, EAXB_AIRABSORPTIONFACTOR, 0, 10, 1000, 2, 2, false},
    {"Outside Volume HF", 1, TARGET_EAX_VOICE, EAXB_OUTSIDEVOLUMEHF, -10000, 0, 10000, 2, SHOWN_INTEGER, true},
    {"Min Distance", 1, TARGET_VOICE_MIN_DISTANCE, 0, 0, 10000, 2000, 6, 1, false},
    {"Max Distance", 1, TARGET_VOICE_MAX_DISTANCE, 0, 0, 1000000000.0f, 10000, 1000, 1, false},
    {"Cone Outside Volume", 1, TARGET_VOICE_CONE_OUTSIDE_VOLUME, 0, -10000, 0, 10000, -10, SHOWN_INTEGER, true},
    {"Volume", 1, TARGET_VOICE_VOLUME, 0, -10000, 0, 10000, -10, SHOWN_NONE, true},
};

const SliderRow *slider_row_find(const char *name) {
  for (const SliderRow &r : slider_rows)
    if (std::strcmp(r.name, name) == 0) return &r;
  return nullptr;
}

void slider_row_read(const SliderRow *row, double *value) {
  int32_t i = 0;
  float f = 0;
  // Seed with the current value so a silent device leaves it unchanged.
  if (row->isInteger)
    i = int32_t(std::lround(*value));
  else
    f = float(*value);
  switch (row->target) {
    case TARGET_EAX_LISTENER: eax_listener_get(row->id, row->isInteger ? static_cast<void *>(&i) : &f); break;
    case TARGET_EAX_VOICE: eax_voice_get(row->id, row->isInteger ? static_cast<void *>(&i) : &f); break;
    case TARGET_LISTENER_ROLLOFF: ds3d_listener_get_rolloff_factor(&f); break;
    case TARGET_LISTENER_DISTANCE_FACTOR: ds3d_listener_get_distance_factor(&f); break;
    case TARGET_VOICE_MIN_DISTANCE: ds3d_voice_get_min_distance(&f); break;
    case TARGET_VOICE_MAX_DISTANCE: ds3d_voice_get_max_distance(&f); break;
    case TARGET_VOICE_CONE_OUTSIDE_VOLUME: ds3d_voice_get_cone_outside_volume(&i); break;
    case TARGET_VOICE_VOLUME: voice_volume_get(&i); break;
  }
  *value = row->isInteger ? double(i) : double(f);
}

void slider_row_write(const SliderRow *row, double value) {
  int32_t i = int32_t(std::lround(value));
  float f = float(value);
  switch (row->target) {
    case TARGET_EAX_LISTENER: eax_listener_set(row->id, row->isInteger ? static_cast<void *>(&i) : &f); break;
    case TARGET_EAX_VOICE: eax_voice_set(row->id, row->isInteger ? static_cast<void *>(&i) : &f); break;
    case TARGET_LISTENER_ROLLOFF: ds3d_listener_set_rolloff_factor(&f); break;
    case TARGET_LISTENER_DISTANCE_FACTOR: ds3d_listener_set_distance_factor(&f); break;
    case TARGET_VOICE_MIN_DISTANCE: ds3d_voice_set_min_distance(&f); break;
    case TARGET_VOICE_MAX_DISTANCE: ds3d_voice_set_max_distance(&f); break;
    case TARGET_VOICE_CONE_OUTSIDE_VOLUME: ds3d_voice_set_cone_outside_volume(&i); break;
    case TARGET_VOICE_VOLUME: voice_volume_set(&i); break;
  }
}

void max_distance_text(double value, char *out) {
  TextArgs a;
  text_args_clear(&a);
  if (value < 1000) {
    text_args_single(&a, float(value));
    format_text(out, "%.1f", a.bytes);
  } else if (value / 1000 < 1000) {
    text_args_single(&a, float(value / 1000));
    format_text(out, "%.2fk", a.bytes);
  } else {
    text_args_single(&a, float(value / 1000000));
    format_text(out, "%.1ft", a.bytes);
  }
}

void slider_value_text(const SliderRow *row, double value, char *out) {
  if (row->decimals == SHOWN_NONE) {
    out[0] = 0;
    return;
  }
  if (row->target == TARGET_VOICE_MAX_DISTANCE) {
    max_distance_text(value, out);
    return;
  }
  TextArgs a;
  text_args_clear(&a);
  if (row->decimals == SHOWN_INTEGER) {
    text_args_dword(&a, uint32_t(int32_t(std::lround(value))));
    format_text(out, "%i", a.bytes);
    return;
  }
  char fmt[] = "%.2f";
  fmt[2] = char('0' + row->decimals);
  text_args_single(&a, float(value));
  format_text(out, fmt, a.bytes);
}

const char *const scale_bit_rows[5] = {"Decay Time", "Reflections", "Reflections Delay", "Reverb", "Reverb Delay"};

uint32_t rows_rescaled_by_size(uint32_t flags) { return flags & 0x1F; }

const char environment_names[] =
    "Generic\0Padded Cell\0Room\0Bathroom\0Livingroom\0Stone Room\0Auditorium\0Concert Hall\0"
    "Cave\0Arena\0Hangar\0Carpeted Hallway\0Hallway\0Stone Corridor\0Alley\0Forest\0City\0"
    "Mountains\0Quarry\0Plain\0Parkinglot\0Sewer Pipe\0Under Water\0Drugged\0Dizzy\0Psychotic\0";

const char *environment_name(int index) {
  if (index < 0) return nullptr;
  const char *p = environment_names;
  for (int i = 0; *p; ++i) {
    if (i == index) return p;
    p += std::strlen(p) + 1;
  }
  return nullptr;
}

std::atomic<float> fog_density{0.0f};

void fog_density_refresh(void) {
  float a = fog_density.load() * -120.0f;
  eax_listener_get(EAXL_AIRABSORPTIONHF, &a);
  fog_density.store(a / -120.0f);
}

void reverb_ramp_down(void) {
  if (!device_ready()) return;
  float decay = 0.1f;
  for (int step = 0; step < 100; ++step) {
    eax_listener_get(EAXL_DECAYTIME, &decay);
    float next = float((std::lround(double(decay) * 100.0) - 50) / 100.0);
    if (next < 0.1f) next = 0.1f;
    eax_listener_set(EAXL_DECAYTIME, &next);
    decay = next;
    os_sleep(10);
  }
}
