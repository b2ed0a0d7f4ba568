// The mixer: renders every playing buffer of a device to 48 kHz 16-bit
// stereo on the clock into the chosen sink. With the room on, each voice is
// placed relative to the listener (distance, cone, pan) with its EAX direct
// path and a send into the device's reverb; with it off, each buffer is
// mixed at its volume with a plain pan and the distance rolloff. With the
// room on, the limiter then keeps the mix's peaks below full scale.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__SSE__) || defined(__SSE2__) || defined(_M_X64) || defined(_M_IX86)
#include <xmmintrin.h>
#define CARD_HAVE_MXCSR 1
#endif

#include "card/card_private.h"
#include "card/limiter.h"
#include "card/reverb.h"
#include "card/room.h"
#include "platform/clock.h"

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

enum class SinkKind { Null, Wav, Memory };

struct Sink {
  SinkKind kind = SinkKind::Null;
  FILE *file = nullptr;
  uint32_t dataBytes = 0;
  std::vector<int16_t> memory;
  uint32_t memoryMax = 0;
};

Sink &sink() {
  static Sink s;
  return s;
}

void put32(uint8_t *p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

void wav_header(FILE *f, uint32_t dataBytes) {
  uint8_t h[44];
  std::memcpy(h, "RIFF", 4);
  put32(h + 4, 36 + dataBytes);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  put32(h + 16, 16);
  put32(h + 20, 1 | (2u << 16));  // PCM, 2 channels
  put32(h + 24, CARD_RATE);
  put32(h + 28, CARD_RATE * 4);
  put32(h + 32, 4 | (16u << 16));  // block align 4, 16 bits
  std::memcpy(h + 36, "data", 4);
  put32(h + 40, dataBytes);
  std::fseek(f, 0, SEEK_SET);
  std::fwrite(h, 1, sizeof h, f);
  std::fseek(f, 0, SEEK_END);
  std::fflush(f);
}

void sink_close() {
  Sink &s = sink();
  if (s.file) {
    wav_header(s.file, s.dataBytes);
    std::fclose(s.file);
    s.file = nullptr;
  }
  s.kind = SinkKind::Null;
}

void sink_write(const int16_t *lr, uint32_t frames) {
  Sink &s = sink();
  if (s.kind == SinkKind::Wav && s.file) {
    s.dataBytes += uint32_t(std::fwrite(lr, 4, frames, s.file) * 4);
  } else if (s.kind == SinkKind::Memory) {
    uint32_t have = uint32_t(s.memory.size() / 2);
    uint32_t take = have < s.memoryMax ? s.memoryMax - have : 0;
    if (take > frames) take = frames;
    s.memory.insert(s.memory.end(), lr, lr + take * 2);
  }
}

float gain_of(LONG mB) { return mB <= DSBVOLUME_MIN ? 0.0f : std::pow(10.0f, float(mB) / 2000.0f); }

float dot(const D3DVECTOR &a, const D3DVECTOR &b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Left and right gains of a buffer: constant-power pan from the direction of
// the source seen from the listener, and the DS3D distance rolloff.
void buffer_gains(const CardBuffer *b, float *left, float *right) {
  const CardDevice *d = b->device;
  float g = gain_of(b->volume) * (d->primary ? gain_of(d->primary->volume) : 1.0f);
  float pan = 0.0f;
  if (b->flags & DSBCAPS_CTRL3D) {
    if (b->ds3d.mode != DS3DMODE_DISABLE) {
      const Ds3dListenerState &l = d->listener;
      D3DVECTOR rel = b->ds3d.position;
      if (b->ds3d.mode == DS3DMODE_NORMAL) rel = D3DVECTOR{rel.x - l.position.x, rel.y - l.position.y, rel.z - l.position.z};
      // Right ear = top x front (left-handed axes).
      D3DVECTOR right_ear = {l.top.y * l.front.z - l.top.z * l.front.y, l.top.z * l.front.x - l.top.x * l.front.z,
                             l.top.x * l.front.y - l.top.y * l.front.x};
      float dist = std::sqrt(dot(rel, rel));
      float earLen = std::sqrt(dot(right_ear, right_ear));
      if (dist > 1e-6f && earLen > 1e-6f) pan = dot(rel, right_ear) / (dist * earLen);
      float minD = b->ds3d.minDistance, maxD = b->ds3d.maxDistance;
      float dc = dist < minD ? minD : (dist > maxD ? maxD : dist);
      if (minD > 0.0f) g *= minD / (minD + l.rolloffFactor * (dc - minD));
      if ((b->flags & DSBCAPS_MUTE3DATMAXDISTANCE) && dist > maxD) g = 0.0f;
    }
  } else if (b->flags & DSBCAPS_CTRLPAN) {
    pan = float(b->pan) / 10000.0f;
  }
  float a = (pan + 1.0f) * 0.7853982f;
  *left = g * std::cos(a) * 1.4142136f;
  *right = g * std::sin(a) * 1.4142136f;
  if (*left > g) *left = g;
  if (*right > g) *right = g;
}

int sample_at(const CardBuffer *b, uint64_t frame, int channel) {
  const uint8_t *p = b->memory->data + frame * b->format.nBlockAlign;
  int ch = b->format.nChannels == 2 ? channel : 0;
  if (b->format.wBitsPerSample == 8) return (int(p[ch]) - 128) << 8;
  int16_t v;
  std::memcpy(&v, p + ch * 2, 2);
  return v;
}

constexpr uint32_t CHUNK = 256;

// Flush-to-zero and denormals-are-zero while the mixer runs: decaying
// filter and reverb states would otherwise slow to a crawl near silence.
class DenormalGuard {
 public:
#ifdef CARD_HAVE_MXCSR
  DenormalGuard() : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | 0x8040u); }
  ~DenormalGuard() { _mm_setcsr(saved_); }

 private:
  unsigned saved_;
#endif
};

// The listener a device without EAX renders with: no room and no air.
EAXLISTENERPROPERTIES dry_listener() {
  EAXLISTENERPROPERTIES l = eax2_environment_presets[EAX_ENVIRONMENT_GENERIC];
  l.lRoom = EAXLISTENER_MINROOM;
  l.flAirAbsorptionHF = 0.0f;
  return l;
}

// Adds one buffer's chunk to the mix and its room send to `send`. Gains
// are ramped from the previous chunk's to this chunk's so that moving
// sources and changed levels do not click.
void room_mix_buffer(CardBuffer *b, uint64_t k0, uint32_t n, float *mix, float *send) {
  CardDevice *d = b->device;
  const bool eax = d->config.eax != 0;
  static const EAXLISTENERPROPERTIES dry = dry_listener();
  VoiceRoomInput in;
  in.baseGain = gain_of(b->volume) * (d->primary ? gain_of(d->primary->volume) : 1.0f);
  in.is3d = (b->flags & DSBCAPS_CTRL3D) != 0;
  in.muteAtMax = (b->flags & DSBCAPS_MUTE3DATMAXDISTANCE) != 0;
  in.pan = (b->flags & DSBCAPS_CTRLPAN) ? float(b->pan) / 10000.0f : 0.0f;
  in.ds3d = &b->ds3d;
  in.eax = eax ? &b->eax.current : &eax2_buffer_defaults;
  VoiceRoomParams p = room_voice_params(in, d->listener, eax ? d->eax.current : dry);

  VoiceRoomState &s = b->room;
  if (!s.primed) {
    s.left = p.left;
    s.right = p.right;
    s.send = p.send;
    s.directZ = 0.0f;
    s.sendZ = 0.0f;
    s.primed = true;
  }
  const float inv = 1.0f / float(n);
  const float stepL = (p.left - s.left) * inv, stepR = (p.right - s.right) * inv, stepS = (p.send - s.send) * inv;
  const uint32_t frames = buffer_frames(b);
  if (!in.is3d) {
    for (uint32_t i = 0; i < n; ++i) {
      uint64_t k = k0 + i;
      if (k < b->deviceFrame0) continue;
      uint64_t pos = b->startFrame + (k - b->deviceFrame0) * b->frequency / CARD_RATE;
      if (!b->looping && pos >= frames) break;
      pos %= frames;
      float t = float(i + 1);
      mix[i * 2] += (s.left + stepL * t) * float(sample_at(b, pos, 0));
      mix[i * 2 + 1] += (s.right + stepR * t) * float(sample_at(b, pos, 1));
    }
  } else {
    const float ad = room_one_pole_coefficient(p.directHf), bd = 1.0f - ad;
    const float as = room_one_pole_coefficient(p.sendHf), bs = 1.0f - as;
    const bool sending = p.send > 0.0f || s.send > 0.0f;
    float zd = s.directZ, zs = s.sendZ;
    for (uint32_t i = 0; i < n; ++i) {
      uint64_t k = k0 + i;
      if (k < b->deviceFrame0) continue;
      uint64_t pos = b->startFrame + (k - b->deviceFrame0) * b->frequency / CARD_RATE;
      if (!b->looping && pos >= frames) break;
      pos %= frames;
      float x = float(sample_at(b, pos, 0));
      float t = float(i + 1);
      zd = bd * x + ad * zd;
      mix[i * 2] += (s.left + stepL * t) * zd;
      mix[i * 2 + 1] += (s.right + stepR * t) * zd;
      if (sending) {
        zs = bs * x + as * zs;
        send[i] += (s.send + stepS * t) * zs;
      }
    }
    s.directZ = zd;
    s.sendZ = sending ? zs : 0.0f;
  }
  s.left = p.left;
  s.right = p.right;
  s.send = p.send;
  // A one-shot buffer that has run out starts afresh when played again.
  if (!b->looping && k0 + n > b->deviceFrame0 &&
      b->startFrame + (k0 + n - b->deviceFrame0) * b->frequency / CARD_RATE >= frames) s.primed = false;
}

void plain_mix_buffer(CardBuffer *b, uint64_t k0, uint32_t n, float *mix) {
  float gl, gr;
  buffer_gains(b, &gl, &gr);
  uint32_t frames = buffer_frames(b);
  for (uint32_t i = 0; i < n; ++i) {
    uint64_t k = k0 + i;
    if (k < b->deviceFrame0) continue;
    uint64_t pos = b->startFrame + (k - b->deviceFrame0) * b->frequency / CARD_RATE;
    if (!b->looping && pos >= frames) break;
    pos %= frames;
    mix[i * 2] += gl * float(sample_at(b, pos, 0));
    mix[i * 2 + 1] += gr * float(sample_at(b, pos, 1));
  }
}

// Converts the mix to 16 bits (clipping what the limiter, when off, left
// beyond full scale) and hands it to the sink.
void write_mix(const float *mix, uint32_t n) {
  int16_t out[CHUNK * 2];
  for (uint32_t i = 0; i < n * 2; ++i) {
    float v = mix[i];
    out[i] = int16_t(v > 32767.0f ? 32767 : v < -32768.0f ? -32768 : int(std::lrint(v)));
  }
  sink_write(out, n);
}

bool sink_takes_frames() {
  const Sink &s = sink();
  return s.kind != SinkKind::Null && !(s.kind == SinkKind::Memory && s.memory.size() / 2 >= s.memoryMax);
}

// When the device goes or the room is switched off, the last frames
// rendered are still in the limiter's look-ahead: pushed out with silence
// behind them, so the sink gets everything that was rendered.
void drain_limiter(CardDevice *d) {
  if (!d->limiterEngaged) return;
  d->limiterEngaged = false;
  if (!sink_takes_frames()) return;
  DenormalGuard denormals;
  float tail[LIMITER_LOOKAHEAD * 2] = {};
  limiter_process(&d->limiter, tail, LIMITER_LOOKAHEAD);
  write_mix(tail, LIMITER_LOOKAHEAD);
}

unsigned mixer_main(void *arg) {
  CardDevice *d = static_cast<CardDevice *>(arg);
  while (!d->mixerQuit.load()) {
    os_sleep(CARD_MIX_PERIOD_MS);
    Guard lock(card_lock());
    mixer_render_until(d, device_frame_now(d));
  }
  return 0;
}

}  // namespace

void mixer_render_until(CardDevice *d, uint64_t frame) {
  if (!sink_takes_frames()) {
    // Nothing to render into; time still moves on (never backwards: a
    // direct render may have run ahead of the clock). What waits in the
    // look-ahead belongs before the gap and is dropped with it.
    if (frame > d->renderedFrames) {
      d->renderedFrames = frame;
      limiter_reset(&d->limiter);
    }
    return;
  }
  DenormalGuard denormals;
  float mix[CHUNK * 2];
  float send[CHUNK];
  while (d->renderedFrames < frame) {
    uint64_t k0 = d->renderedFrames;
    uint32_t n = frame - k0 < CHUNK ? uint32_t(frame - k0) : CHUNK;
    std::memset(mix, 0, sizeof mix);
    const bool room = card_room_on().load() != 0;
    // The limiter belongs to the room's rendering; the plain mix stays
    // exact and undelayed for the tests that check levels.
    const bool limit = room && d->limiting;
    if (limit && !d->limiterEngaged) {
      limiter_reset(&d->limiter);
      d->limiterEngaged = true;
    } else if (!limit) {
      drain_limiter(d);
    }
    if (room) {
      std::memset(send, 0, sizeof send);
      for (CardBuffer *b : d->buffers) {
        if (!d->cooperativeLevel || !b->memory || !b->playing || b->lost) {
          b->room.primed = false;
          continue;
        }
        room_mix_buffer(b, k0, n, mix, send);
      }
      if (d->reverb && d->config.eax) {
        reverb_configure(d->reverb, d->eax.current);
        reverb_process(d->reverb, send, mix, n);
      }
    } else {
      for (CardBuffer *b : d->buffers) {
        b->room.primed = false;
        if (!d->cooperativeLevel || !b->memory || !b->playing || b->lost) continue;
        plain_mix_buffer(b, k0, n, mix);
      }
      if (d->reverb && !d->reverb->idle) reverb_reset(d->reverb);
    }
    if (limit) limiter_process(&d->limiter, mix, n);
    write_mix(mix, n);
    d->renderedFrames = k0 + n;
  }
}

void mixer_device_created(CardDevice *d) {
  Sink &s = sink();
  d->renderedFrames = 0;
  d->mixer = nullptr;
  d->limiting = card_limiter_on().load() != 0;
  d->limiterEngaged = false;
  limiter_reset(&d->limiter);
  // The room's memory, once, before anything renders.
  d->reverb = new (std::nothrow) Reverb;
  if (d->reverb) reverb_reset(d->reverb);
  if (s.kind == SinkKind::Null) return;
  d->mixer = os_thread_start(mixer_main, d);
}

void mixer_device_released(CardDevice *d) {
  if (d->mixer) {
    d->mixerQuit = 1;
    os_thread_join(d->mixer);
    d->mixer = nullptr;
  }
  Guard lock(card_lock());
  drain_limiter(d);
  delete d->reverb;
  d->reverb = nullptr;
  Sink &s = sink();
  if (s.file) wav_header(s.file, s.dataBytes);
}

void sink_default_from_environment(void) {
  Guard lock(card_lock());
  sink_close();
  sink().memory.clear();
  const char *path = std::getenv("SONORIUM_CARD_WAV");
  if (path && *path) card_set_sink_wav(path);
}

CARD_API int card_set_sink_wav(const char *path) {
  Guard lock(card_lock());
  // The first use configures the card, which resets the sink: done first,
  // so the sink chosen here is the one kept.
  card_configure();
  sink_close();
  if (!path) return -1;
  FILE *f = std::fopen(path, "wb");
  if (!f) return -1;
  Sink &s = sink();
  s.file = f;
  s.dataBytes = 0;
  wav_header(f, 0);
  s.kind = SinkKind::Wav;
  return 0;
}

CARD_API void card_set_sink_null(void) {
  Guard lock(card_lock());
  card_configure();
  sink_close();
}

CARD_API void card_set_sink_memory(uint32_t max_frames) {
  Guard lock(card_lock());
  card_configure();
  sink_close();
  Sink &s = sink();
  s.kind = SinkKind::Memory;
  s.memory.clear();
  s.memory.reserve(size_t(max_frames) * 2);
  s.memoryMax = max_frames;
}

CARD_API uint32_t card_memory_frames(void) {
  Guard lock(card_lock());
  return uint32_t(sink().memory.size() / 2);
}

CARD_API const int16_t *card_memory_samples(void) {
  Guard lock(card_lock());
  return sink().memory.data();
}

CARD_API void card_memory_clear(void) {
  Guard lock(card_lock());
  sink().memory.clear();
}

CARD_API void card_mix_now(void) {
  Guard lock(card_lock());
  // Every live device renders up to the present.
  for (CardDevice *d : card_devices_alive()) mixer_render_until(d, device_frame_now(d));
}

CARD_API int card_render(IDirectSound8 *device, uint32_t frames) {
  Guard lock(card_lock());
  if (!card_is_device(device)) return -1;
  CardDevice *d = static_cast<CardDevice *>(device);
  // Continues from the last frame rendered, so nothing played since then
  // is lost.
  uint64_t end = d->renderedFrames + frames;
  mixer_render_until(d, end);
  // The device's present moves on to the end of what was rendered (never
  // back), so its cursors and the next Play continue from there. Unsigned
  // arithmetic wraps, so an origin before the clock's own is fine.
  if (end > device_frame_now(d)) {
    uint64_t us = (end * 1000000 + CARD_RATE - 1) / CARD_RATE;
    d->createdUs = clock_now_us() - us;
  }
  return 0;
}
