// Early reflections: a few taps of a predelay line, the first at the
// Reflections Delay. Late reverberation: from the predelay line at
// Reflections Delay + Reverb Delay through allpass diffusers (Environment
// Diffusion) into an eight-line feedback delay network with an orthogonal
// (Hadamard) mixing matrix; each line's loss is set for the Decay Time and
// its one-pole damping for the Decay HF Ratio, so the network decays by
// 60 dB in the Decay Time at low frequencies and in Decay Time x ratio at
// 5 kHz. Two orthogonal output combinations make left and right uncorrelated.
#include "card/reverb.h"

#include <cmath>
#include <cstring>

#include "card/card_private.h"
#include "card/room.h"

namespace {

constexpr uint32_t PREDELAY_MASK = REVERB_PREDELAY_SIZE - 1;
constexpr uint32_t LINE_MASK = REVERB_LINE_SIZE - 1;
constexpr uint32_t DIFFUSER_MASK = REVERB_DIFFUSER_SIZE - 1;

// Mutually prime line lengths (frames) for a room of the default size.
constexpr uint32_t LINE_BASE[REVERB_LINES] = {631, 797, 929, 1151, 1327, 1493, 1759, 1979};
constexpr uint32_t DIFFUSER_LENGTH[REVERB_DIFFUSERS] = {113, 167, 241, 337};
// Early taps after the first, in ms at the default size, with their levels
// and a side each (+1 right, -1 left, 0 centre).
constexpr float TAP_MS[REVERB_TAPS] = {0.0f, 1.7f, 3.1f, 4.9f, 6.6f, 8.9f};
constexpr float TAP_LEVEL[REVERB_TAPS] = {1.0f, 0.82f, 0.7f, 0.58f, 0.5f, 0.42f};
constexpr float TAP_SIDE[REVERB_TAPS] = {0.0f, -1.0f, 1.0f, -1.0f, 1.0f, 0.0f};
constexpr float INV_SQRT_LINES = 0.35355339f;  // 1 / sqrt(8)
constexpr float DEFAULT_SIZE = 7.5f;
// Below this (in 16-bit units) a decaying tail is taken as gone.
constexpr float QUIET = 1e-4f;

float clampf(float v, float lo, float hi) { return v < lo ? lo : v > hi ? hi : v; }

uint32_t frames_of(double seconds) {
  double f = seconds * double(CARD_RATE);
  return f <= 0.0 ? 0u : uint32_t(f + 0.5);
}

void clear_state(Reverb *r) {
  std::memset(r->predelay, 0, sizeof r->predelay);
  std::memset(r->lines, 0, sizeof r->lines);
  std::memset(r->diffusers, 0, sizeof r->diffusers);
  std::memset(r->lineZ, 0, sizeof r->lineZ);
}

}  // namespace

void reverb_reset(Reverb *r) {
  std::memset(r, 0, sizeof *r);
  r->idle = true;
}

void reverb_configure(Reverb *r, const EAXLISTENERPROPERTIES &l) {
  if (r->configured && std::memcmp(&r->applied, &l, sizeof l) == 0) return;
  r->applied = l;

  float reflections = clampf(l.flReflectionsDelay, 0.0f, EAXLISTENER_MAXREFLECTIONSDELAY);
  float reverbDelay = clampf(l.flReverbDelay, 0.0f, EAXLISTENER_MAXREVERBDELAY);
  float size = clampf(l.flEnvironmentSize, EAXLISTENER_MINENVIRONMENTSIZE, EAXLISTENER_MAXENVIRONMENTSIZE);

  // Early taps spread with the size of the room.
  float spread = clampf(size / DEFAULT_SIZE, 0.25f, 2.0f);
  float energy = 0.0f;
  for (uint32_t t = 0; t < REVERB_TAPS; ++t) energy += TAP_LEVEL[t] * TAP_LEVEL[t];
  float norm = 1.0f / std::sqrt(energy);
  for (uint32_t t = 0; t < REVERB_TAPS; ++t) {
    r->tapDelay[t] = frames_of(double(reflections) + double(TAP_MS[t] * spread) / 1000.0);
    float a = (TAP_SIDE[t] + 1.0f) * 0.39269908f;  // 0 .. pi/2
    float g = TAP_LEVEL[t] * norm;
    r->tapLeft[t] = g * std::cos(a);
    r->tapRight[t] = g * std::sin(a);
  }
  r->lateDelay = frames_of(double(reflections) + double(reverbDelay));

  // Larger rooms: longer lines, sparser modes.
  float lineScale = clampf(std::sqrt(size / DEFAULT_SIZE), 0.6f, 2.0f);
  float decay = clampf(l.flDecayTime, EAXLISTENER_MINDECAYTIME, EAXLISTENER_MAXDECAYTIME);
  float ratio = eax_effective_decay_hf_ratio(&l);
  // A one-pole damping filter can only take high frequencies away, so HF
  // decays longer than the LF decay are rendered as equal to it.
  if (!(ratio < 1.0f)) ratio = 1.0f;
  if (ratio < EAXLISTENER_MINDECAYHFRATIO) ratio = EAXLISTENER_MINDECAYHFRATIO;
  float decayHf = decay * ratio;
  for (uint32_t j = 0; j < REVERB_LINES; ++j) {
    uint32_t len = uint32_t(float(LINE_BASE[j]) * lineScale + 0.5f);
    if (len >= REVERB_LINE_SIZE) len = REVERB_LINE_SIZE - 1;
    r->lineLength[j] = len;
    double lf = std::pow(10.0, -3.0 * double(len) / (double(decay) * CARD_RATE));
    double hf = std::pow(10.0, -3.0 * double(len) / (double(decayHf) * CARD_RATE));
    float a = room_one_pole_coefficient(float(hf / lf));
    r->lineA[j] = a;
    r->lineB[j] = float(lf) * (1.0f - a);
  }
  r->diffusion = 0.7f * clampf(l.flEnvironmentDiffusion, 0.0f, 1.0f);
  r->earlyTarget = room_gain_of_mb(float(l.lReflections));
  r->lateTarget = room_gain_of_mb(float(l.lReverb));
  if (!r->configured || r->idle) {
    r->early = r->earlyTarget;
    r->late = r->lateTarget;
  }
  r->configured = true;
}

void reverb_process(Reverb *r, const float *input, float *mix, uint32_t n) {
  if (!n) return;
  bool silent = true;
  for (uint32_t i = 0; i < n; ++i)
    if (input[i] != 0.0f) {
      silent = false;
      break;
    }
  if (silent) {
    if (r->idle) {
      r->early = r->earlyTarget;
      r->late = r->lateTarget;
      return;
    }
    r->silentFrames += n;
  } else {
    r->silentFrames = 0;
    r->idle = false;
  }

  const float earlyStep = (r->earlyTarget - r->early) / float(n);
  const float lateStep = (r->lateTarget - r->late) / float(n);
  const float g = r->diffusion;
  float z[REVERB_LINES];
  for (uint32_t j = 0; j < REVERB_LINES; ++j) z[j] = r->lineZ[j];
  uint32_t pos = r->pos, dpos = r->diffuserPos;
  float loudest = 0.0f;

  for (uint32_t i = 0; i < n; ++i) {
    const float early = r->early + earlyStep * float(i + 1);
    const float late = r->late + lateStep * float(i + 1);
    r->predelay[pos & PREDELAY_MASK] = input[i];

    float el = 0.0f, er = 0.0f;
    for (uint32_t t = 0; t < REVERB_TAPS; ++t) {
      float v = r->predelay[(pos - r->tapDelay[t]) & PREDELAY_MASK];
      el += v * r->tapLeft[t];
      er += v * r->tapRight[t];
    }

    // Schroeder allpasses smear the late input into a dense onset.
    float x = r->predelay[(pos - r->lateDelay) & PREDELAY_MASK];
    for (uint32_t k = 0; k < REVERB_DIFFUSERS; ++k) {
      float *buf = r->diffusers[k];
      float delayed = buf[(dpos - DIFFUSER_LENGTH[k]) & DIFFUSER_MASK];
      float w = x + g * delayed;
      buf[dpos & DIFFUSER_MASK] = w;
      x = delayed - g * w;
    }

    for (uint32_t j = 0; j < REVERB_LINES; ++j) {
      float o = r->lines[j][(pos - r->lineLength[j]) & LINE_MASK];
      z[j] = r->lineB[j] * o + r->lineA[j] * z[j];
    }
    // Fast 8-point Hadamard transform.
    float a0 = z[0] + z[1], a1 = z[0] - z[1], a2 = z[2] + z[3], a3 = z[2] - z[3];
    float a4 = z[4] + z[5], a5 = z[4] - z[5], a6 = z[6] + z[7], a7 = z[6] - z[7];
    float b0 = a0 + a2, b1 = a1 + a3, b2 = a0 - a2, b3 = a1 - a3;
    float b4 = a4 + a6, b5 = a5 + a7, b6 = a4 - a6, b7 = a5 - a7;
    float in = x * INV_SQRT_LINES;
    r->lines[0][pos & LINE_MASK] = (b0 + b4) * INV_SQRT_LINES + in;
    r->lines[1][pos & LINE_MASK] = (b1 + b5) * INV_SQRT_LINES - in;
    r->lines[2][pos & LINE_MASK] = (b2 + b6) * INV_SQRT_LINES + in;
    r->lines[3][pos & LINE_MASK] = (b3 + b7) * INV_SQRT_LINES - in;
    r->lines[4][pos & LINE_MASK] = (b0 - b4) * INV_SQRT_LINES + in;
    r->lines[5][pos & LINE_MASK] = (b1 - b5) * INV_SQRT_LINES - in;
    r->lines[6][pos & LINE_MASK] = (b2 - b6) * INV_SQRT_LINES + in;
    r->lines[7][pos & LINE_MASK] = (b3 - b7) * INV_SQRT_LINES - in;

    float ll = (z[0] - z[1]) + (z[2] - z[3]) + (z[4] - z[5]) + (z[6] - z[7]);
    float lr = (z[0] + z[1]) - (z[2] + z[3]) + (z[4] + z[5]) - (z[6] + z[7]);
    float outL = early * el + late * ll;
    float outR = early * er + late * lr;
    mix[i * 2] += outL;
    mix[i * 2 + 1] += outR;
    float m = std::fabs(outL) + std::fabs(outR) + std::fabs(z[0]) + std::fabs(x);
    if (m > loudest) loudest = m;
    ++pos;
    ++dpos;
  }
  for (uint32_t j = 0; j < REVERB_LINES; ++j) r->lineZ[j] = z[j];
  r->pos = pos;
  r->diffuserPos = dpos;
  r->early = r->earlyTarget;
  r->late = r->lateTarget;

  // Once the input has been silent longer than the predelay line and the
  // tail has died away, the state is cleared and the reverb rests.
  if (silent && r->silentFrames > REVERB_PREDELAY_SIZE && loudest < QUIET) {
    bool quiet = true;
    for (uint32_t j = 0; j < REVERB_LINES && quiet; ++j)
      for (uint32_t k = 0; k < REVERB_LINE_SIZE; ++k)
        if (std::fabs(r->lines[j][k]) >= QUIET) {
          quiet = false;
          break;
        }
    if (quiet) {
      clear_state(r);
      r->idle = true;
    }
  }
}
