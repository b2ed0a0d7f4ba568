// PropertyBlock: the whole acoustic state in 572 bytes, shared by the
// autosave file, the .env presets and the device restart. Little-endian,
// every field 4 bytes, no padding; it begins with "env4".
#pragma once

#include <cstddef>
#include <cstdint>

struct EaxVoiceFields {
  int32_t direct;
  int32_t directHF;
  int32_t room;
  int32_t roomHF;
  int32_t obstruction;
  float obstructionLFRatio;
  int32_t occlusion;
  float occlusionLFRatio;
  float occlusionRoomRatio;
  float roomRolloffFactor;
  float airAbsorptionFactor;
  int32_t outsideVolumeHF;
  uint32_t flags;
};

struct Ds3dVoiceFields {
  float insideConeAngle;   // degrees
  float outsideConeAngle;  // degrees
  float angles[3];         // the voice's pose, radians
  int32_t coneOutsideVolume;
  float maxDistance;
  float minDistance;
  uint32_t mode;  // 0 normal, 1 head-relative, 2 disabled
  float position[3];
  float velocity[3];
};

struct PropertyBlock {
  char magic[4];  // "env4"
  int32_t volume[4];
  // EAX listener, Environment first so that the explicit values that follow
  // override what the environment loads.
  uint32_t environment;
  float environmentSize;
  float environmentDiffusion;
  int32_t room;
  int32_t roomHF;
  float decayTime;
  float decayHFRatio;
  int32_t reflections;
  float reflectionsDelay;
  int32_t reverb;
  float reverbDelay;
  float roomRolloffFactor;
  float airAbsorptionHF;
  uint32_t listenerFlags;
  EaxVoiceFields eaxVoice[4];
  // DS3D listener.
  float distanceFactor;
  float dopplerFactor;
  float listenerAngles[3];
  float listenerPosition[3];
  float rolloffFactor;
  float listenerVelocity[3];
  Ds3dVoiceFields ds3dVoice[4];
};

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "PropertyBlock is stored as it lies in memory: a little-endian target is required"
#endif
static_assert(sizeof(PropertyBlock) == 572, "PropertyBlock is 572 bytes");
static_assert(offsetof(PropertyBlock, environment) == 20, "listener EAX starts at 20");
static_assert(offsetof(PropertyBlock, eaxVoice) == 76, "voice EAX starts at 76");
static_assert(sizeof(EaxVoiceFields) == 52, "52 bytes of EAX per voice");
static_assert(offsetof(PropertyBlock, distanceFactor) == 284, "DS3D listener starts at 284");
static_assert(offsetof(PropertyBlock, listenerAngles) == 292, "listener pose at 292");
static_assert(offsetof(PropertyBlock, rolloffFactor) == 316, "rolloff at 316");
static_assert(offsetof(PropertyBlock, ds3dVoice) == 332, "DS3D voices start at 332");
static_assert(sizeof(Ds3dVoiceFields) == 60, "60 bytes of DS3D per voice");

enum : int { PROPERTY_BLOCK_BYTES = 572 };
extern const char PROPERTY_BLOCK_MAGIC[4];

// The one process-wide block. Use it under the acoustic lock
// (device/properties.h).
extern PropertyBlock property_block;

// Reads the whole state from the device and the view's poses and cone
// records into property_block. Returns 572.
int block_capture(void);
// Applies property_block to the device in block order and copies its poses
// and cone angles into the view's records; positions and orientations
// reach the device through apply_poses. The magic is not examined. Returns
// 572.
int block_apply(void);

// True when bytes, count long, hold a whole block with its magic: the test
// a stored file passes before it replaces the acoustic state.
bool block_is_valid(const void *bytes, long count);
