// The acoustic property model: thin accessors for every EAX 2.0 listener and
// voice property, the DS3D listener and voice values and the voice volume;
// the current voice they address; the panel's slider curve and table; the
// environment names. The device holds the values; nothing is cached here.
#pragma once

#include <atomic>
#include <cstdint>

// EAX 2.0 property identifiers (published values).
enum : uint32_t {
  EAXL_ROOM = 2,
  EAXL_ROOMHF = 3,
  EAXL_ROOMROLLOFFFACTOR = 4,
  EAXL_DECAYTIME = 5,
  EAXL_DECAYHFRATIO = 6,
  EAXL_REFLECTIONS = 7,
  EAXL_REFLECTIONSDELAY = 8,
  EAXL_REVERB = 9,
  EAXL_REVERBDELAY = 10,
  EAXL_ENVIRONMENT = 11,
  EAXL_ENVIRONMENTSIZE = 12,
  EAXL_ENVIRONMENTDIFFUSION = 13,
  EAXL_AIRABSORPTIONHF = 14,
  EAXL_FLAGS = 15,
};
enum : uint32_t {
  EAXB_DIRECT = 2,
  EAXB_DIRECTHF = 3,
  EAXB_ROOM = 4,
  EAXB_ROOMHF = 5,
  EAXB_ROOMROLLOFFFACTOR = 6,
  EAXB_OBSTRUCTION = 7,
  EAXB_OBSTRUCTIONLFRATIO = 8,
  EAXB_OCCLUSION = 9,
  EAXB_OCCLUSIONLFRATIO = 10,
  EAXB_OCCLUSIONROOMRATIO = 11,
  EAXB_OUTSIDEVOLUMEHF = 12,
  EAXB_AIRABSORPTIONFACTOR = 13,
  EAXB_FLAGS = 14,
};

// The ids in the order the property block stores them.
extern const uint32_t eax_listener_block_order[14];
extern const uint32_t eax_voice_block_order[13];

// Listener flag bits and the properties the hardware rescales with the
// environment size when they are set.
enum : uint32_t {
  EAXL_FLAG_SCALE_DECAYTIME = 0x01,
  EAXL_FLAG_SCALE_REFLECTIONS = 0x02,
  EAXL_FLAG_SCALE_REFLECTIONSDELAY = 0x04,
  EAXL_FLAG_SCALE_REVERB = 0x08,
  EAXL_FLAG_SCALE_REVERBDELAY = 0x10,
  EAXL_FLAG_DECAYHFLIMIT = 0x20,
};
enum : uint32_t { EAXB_FLAG_DIRECTHFAUTO = 0x01, EAXB_FLAG_ROOMAUTO = 0x02, EAXB_FLAG_ROOMHFAUTO = 0x04 };

// The acoustic lock. The current voice, the property block, the poses and
// the cone records are shared by the panel, the view thread and the engine's
// threads; every select-and-access sequence holds this lock, and every
// accessor takes it for its own call. It is recursive, so a holder may call
// accessors.
void acoustic_lock(void);
void acoustic_unlock(void);
struct AcousticGuard {
  AcousticGuard() { acoustic_lock(); }
  ~AcousticGuard() { acoustic_unlock(); }
  AcousticGuard(const AcousticGuard &) = delete;
  AcousticGuard &operator=(const AcousticGuard &) = delete;
};

// The current voice: 0..3 (L1, R1, L2, R2) or -1 for none. It is kept as an
// index and resolved against device_set at every access, so a device
// restart never leaves it naming released interfaces.
enum : int { NO_VOICE = -1 };
void current_voice_select(int voice);
int current_voice_get(void);

// While it lives, a scope holds the acoustic lock and restores the current
// voice it found when it ends.
struct CurrentVoiceScope {
  CurrentVoiceScope() : saved(NO_VOICE) {
    acoustic_lock();
    saved = current_voice_get();
  }
  ~CurrentVoiceScope() {
    current_voice_select(saved);
    acoustic_unlock();
  }
  CurrentVoiceScope(const CurrentVoiceScope &) = delete;
  CurrentVoiceScope &operator=(const CurrentVoiceScope &) = delete;
  int saved;
};

// Accessors. Each takes a pointer to a 4-byte value (or a group of them);
// setters apply at once, getters write only when the device answers. A
// missing interface makes them do nothing and leaves the value unchanged.

// EAX listener properties, always through voice 0's property set.
void eax_listener_set(uint32_t id, const void *value);
void eax_listener_get(uint32_t id, void *value);
// EAX voice properties of the current voice.
void eax_voice_set(uint32_t id, const void *value);
void eax_voice_get(uint32_t id, void *value);

// DS3D listener.
void ds3d_listener_set_distance_factor(const float *value);
void ds3d_listener_set_rolloff_factor(const float *value);
void ds3d_listener_set_position(const float *xyz);
void ds3d_listener_set_orientation(const float *front_top);  // 6 floats
void ds3d_listener_get_distance_factor(float *value);
void ds3d_listener_get_doppler_factor(float *value);
void ds3d_listener_get_rolloff_factor(float *value);
void ds3d_listener_get_velocity(float *xyz);

// DS3D values of the current voice.
void ds3d_voice_set_cone_outside_volume(const int32_t *value);
void ds3d_voice_set_max_distance(const float *value);
void ds3d_voice_set_min_distance(const float *value);
void ds3d_voice_set_mode(const uint32_t *value);
void ds3d_voice_set_cone_angles(const uint32_t *inside_outside);  // whole degrees
void ds3d_voice_set_cone_orientation(const float *xyz);
void ds3d_voice_set_position(const float *xyz);
void ds3d_voice_get_cone_outside_volume(int32_t *value);
void ds3d_voice_get_max_distance(float *value);
void ds3d_voice_get_min_distance(float *value);
void ds3d_voice_get_mode(uint32_t *value);
void ds3d_voice_get_velocity(float *xyz);

// Buffer volume of the current voice, mB.
void voice_volume_set(const int32_t *value);
void voice_volume_get(int32_t *value);

// Slider curve: position p of 0..n to a value in [min, max] with the shape
// code (2 linear, 4 square, a negative code mirrors the curve). Integer rows
// round the result.
double slider_to_value(int32_t p, int32_t n, double min, double max, int32_t shape);
// The inverse, rounded to a position and held within 0..n.
int32_t slider_from_value(double value, int32_t n, double min, double max, int32_t shape);

// What a slider row drives.
enum SliderTarget : uint8_t {
  TARGET_EAX_LISTENER,
  TARGET_EAX_VOICE,
  TARGET_LISTENER_ROLLOFF,
  TARGET_LISTENER_DISTANCE_FACTOR,
  TARGET_VOICE_MIN_DISTANCE,
  TARGET_VOICE_MAX_DISTANCE,
  TARGET_VOICE_CONE_OUTSIDE_VOLUME,
  TARGET_VOICE_VOLUME,
};
enum : int8_t { SHOWN_INTEGER = -1, SHOWN_NONE = -2 };

struct SliderRow {
  const char *name;
  uint8_t voicePage;  // 0 listener page, 1 voice page
  SliderTarget target;
  uint32_t id;  // EAX property id for the EAX targets
  float min;
  float max;
  int32_t n;
  int32_t shape;
  int8_t decimals;  // SHOWN_INTEGER, SHOWN_NONE, or the decimals shown
  bool isInteger;   // the property is a 32-bit integer
};
enum : int { SLIDER_ROW_COUNT = 30 };
extern const SliderRow slider_rows[SLIDER_ROW_COUNT];
// The row of a name, or null.
const SliderRow *slider_row_find(const char *name);

// Reads or writes the row's property through the accessors; the value is
// left unchanged when the device does not answer.
void slider_row_read(const SliderRow *row, double *value);
void slider_row_write(const SliderRow *row, double value);
// The edit-box text of a value: "%i" for integers, "%.Nf" with the row's
// decimals, and the Max Distance row scaled to "k" and "t".
void slider_value_text(const SliderRow *row, double value, char *out);
// The Max Distance text alone: 999.0, 2.50k, 2.5t.
void max_distance_text(double value, char *out);

// The listener rows the hardware rescales after an Environment Size change,
// given the listener flags: a mask of bits 0x01..0x10 as in the flags.
uint32_t rows_rescaled_by_size(uint32_t flags);
// Row names for the scale bits, in bit order (Decay Time .. Reverb Delay).
extern const char *const scale_bit_rows[5];

// The 26 environment names, one run of zero-terminated strings ended by an
// empty string; and the name of index i (null beyond 25).
extern const char environment_names[];
enum : int { ENVIRONMENT_COUNT = 26 };
const char *environment_name(int index);

// The view's fog density: the listener's air absorption HF / -120. Written
// by the panel and the autosave load, read by the view thread.
extern std::atomic<float> fog_density;
// Reads the air absorption HF back from the device and stores the density.
void fog_density_refresh(void);

// Quit's reverb ramp: 100 times, the listener decay time is lowered by
// 0.5 s (from its value rounded to hundredths) and 10 ms pass, so the tail
// dies away before the device is released. The ramp never asks for less
// than the EAX minimum of 0.1 s. Does nothing unless the device is ready.
void reverb_ramp_down(void);
