// What the card's room does to one voice: DS3D positioning relative to the
// listener (distance rolloff, cone, pan) and the EAX 2.0 buffer and listener
// levels, reduced to the few numbers the mixer applies per chunk — the gains
// of a direct path and of a send into the device's reverb, each with a
// one-pole HF filter referenced at 5 kHz.
#pragma once

#include <cstdint>

#include "platform/dsound.h"
#include "platform/eax2.h"

struct Ds3dBufferState;
struct Ds3dListenerState;

// The EAX HF reference frequency.
constexpr float ROOM_HF_REFERENCE_HZ = 5000.0f;
// Speed of sound for distance-dependent room effects, metres per second.
constexpr float ROOM_SPEED_OF_SOUND = 343.3f;

// Everything one voice contributes for the next chunk.
struct VoiceRoomParams {
  float left;        // direct path gain into the left output
  float right;       // direct path gain into the right output
  float directHf;    // direct path gain at 5 kHz relative to its low frequencies (0..1)
  float send;        // gain of the send into the reverb
  float sendHf;      // send gain at 5 kHz relative to its low frequencies (0..1)
};

// What a voice is for the room: the parts of a buffer it depends on.
struct VoiceRoomInput {
  float baseGain;                  // buffer volume x primary volume, linear
  bool is3d;                       // DSBCAPS_CTRL3D
  bool muteAtMax;                  // DSBCAPS_MUTE3DATMAXDISTANCE
  float pan;                       // -1..1 for a 2D buffer (its DSBPAN / 10000)
  const Ds3dBufferState *ds3d;     // 3D buffers only
  const EAXBUFFERPROPERTIES *eax;  // 3D buffers only
};

// Per-voice state the mixer keeps between chunks: the gains it ramps from
// and the filter memories.
struct VoiceRoomState {
  bool primed;  // false until the first chunk rendered with the room
  float left, right, send;
  float directZ;  // direct path filter memory
  float sendZ;    // send filter memory
};

// Linear gain of a level in mB; -10000 and below is silence.
float room_gain_of_mb(float mB);
// The feedback coefficient of a one-pole low-pass y = (1 - a) x + a y[-1]
// whose gain at 5 kHz (48 kHz rate) is `hfGain` (clamped to 0.0001..1) and
// at DC is 1.
float room_one_pole_coefficient(float hfGain);

// Direct path and reverb send of one voice for the current state.
VoiceRoomParams room_voice_params(const VoiceRoomInput &in, const Ds3dListenerState &listener,
                                  const EAXLISTENERPROPERTIES &room);
