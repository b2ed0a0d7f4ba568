// The room rendered by the software card, measured through its DirectSound
// and EAX interfaces: impulse responses, levels, pans and cones. Shared by
// the native test program (which links the card) and the Windows one (which
// loads the card's dsound.dll and reaches its C API by name); each defines
// room_api().
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/dsound.h"
#include "platform/eax2.h"

struct RoomApi {
  void (*reset)(void);
  void (*set_sink_null)(void);
  void (*set_sink_memory)(uint32_t);
  uint32_t (*memory_frames)(void);
  const int16_t *(*memory_samples)(void);
  int (*render)(IDirectSound8 *, uint32_t);
  void (*set_room)(int);
  int (*set_simulated_time)(int);
  void (*set_limiter)(int);
};

// Null when the card's C API is not reachable.
const RoomApi *room_api();

namespace room_test {

constexpr double RATE = 48000.0;
constexpr double PI = 3.14159265358979;
constexpr DWORD VOICE_FLAGS = 0x180B4;  // the plug-in's voices: 3D, volume, frequency, hardware

struct Stereo {
  std::vector<float> left, right;
  size_t size() const { return left.size(); }
};

double energy(const std::vector<float> &x, size_t from, size_t to) {
  double e = 0.0;
  for (size_t i = from; i < to && i < x.size(); ++i) e += double(x[i]) * double(x[i]);
  return e;
}

double rms(const std::vector<float> &x, size_t from, size_t to) {
  return std::sqrt(energy(x, from, to) / double(to - from));
}

// First frame at which either channel exceeds `threshold`, or -1.
long onset(const Stereo &s, float threshold, size_t from = 0) {
  for (size_t i = from; i < s.size(); ++i)
    if (std::fabs(s.left[i]) > threshold || std::fabs(s.right[i]) > threshold) return long(i);
  return -1;
}

// RBJ band-pass (constant 0 dB peak) around `hz`, one octave wide.
std::vector<float> octave_band(const std::vector<float> &x, double hz) {
  double w = 2.0 * PI * hz / RATE, q = 1.414;
  double alpha = std::sin(w) / (2.0 * q), c = std::cos(w), a0 = 1.0 + alpha;
  double b0 = alpha / a0, b2 = -alpha / a0, a1 = -2.0 * c / a0, a2 = (1.0 - alpha) / a0;
  std::vector<float> y(x.size());
  double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    double v = b0 * x[i] + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1;
    x1 = x[i];
    y2 = y1;
    y1 = v;
    y[i] = float(v);
  }
  return y;
}

// Reverberation time from Schroeder's backward integration of the energy
// of `x` (from `start`), by a least-squares line through the decay curve
// between -5 and -25 dB.
double rt60(const std::vector<float> &x, size_t start) {
  std::vector<double> edc(x.size() - start);
  double sum = 0.0;
  for (size_t i = x.size(); i-- > start;) {
    sum += double(x[i]) * double(x[i]);
    edc[i - start] = sum;
  }
  double total = edc[0];
  double n = 0, st = 0, sd = 0, stt = 0, std_ = 0;
  for (size_t i = 0; i < edc.size(); ++i) {
    double db = 10.0 * std::log10(edc[i] / total + 1e-30);
    if (db > -5.0) continue;
    if (db < -25.0) break;
    double t = double(i) / RATE;
    n += 1;
    st += t;
    sd += db;
    stt += t * t;
    std_ += t * db;
  }
  if (n < 10) return 0.0;
  double slope = (n * std_ - st * sd) / (n * stt - st * st);
  return -60.0 / slope;
}

class Room : public ::testing::Test {
 protected:
  void SetUp() override {
    api = room_api();
    ASSERT_NE(nullptr, api) << "the card's C API is not reachable";
    api->reset();
    // The room's own levels, full-scale impulses included, and no
    // look-ahead delay before them: the output limiter stays out.
    api->set_limiter(0);
    // No mixer thread: the device renders only when the test asks. Time
    // stands still (simulated, no thread sleeps), so the voices' Play calls
    // and the rendered frames line up the same way in every run.
    api->set_sink_null();
    ASSERT_EQ(0, api->set_simulated_time(1));
    ASSERT_EQ(DS_OK, DirectSoundCreate8(nullptr, &ds, nullptr));
    ASSERT_EQ(DS_OK, ds->SetCooperativeLevel(nullptr, DSSCL_PRIORITY));
  }
  void TearDown() override {
    for (auto *k : props) k->Release();
    for (auto *b : buffers3d) b->Release();
    for (auto *b : voices) b->Release();
    if (l3d) l3d->Release();
    if (primary) primary->Release();
    if (ds) ds->Release();
    if (api) {
      api->set_simulated_time(0);
      api->reset();
    }
  }

  // A mono 16-bit 48 kHz 3D voice holding `samples`.
  IDirectSoundBuffer *voice(const std::vector<int16_t> &samples, DWORD flags = VOICE_FLAGS) {
    WAVEFORMATEX f = {WAVE_FORMAT_PCM, 1, 48000, 96000, 2, 16, 0};
    DSBUFFERDESC d = {20, flags, DWORD(samples.size() * 2), 0, &f, {}};
    IDirectSoundBuffer *b = nullptr;
    EXPECT_EQ(DS_OK, ds->CreateSoundBuffer(&d, &b, nullptr));
    if (!b) return nullptr;
    void *p1, *p2;
    DWORD n1, n2;
    EXPECT_EQ(DS_OK, b->Lock(0, d.dwBufferBytes, &p1, &n1, &p2, &n2, 0));
    std::memcpy(p1, samples.data(), n1);
    b->Unlock(p1, n1, p2, n2);
    IDirectSound3DBuffer *b3 = nullptr;
    EXPECT_EQ(DS_OK, b->QueryInterface(IID_IDirectSound3DBuffer, reinterpret_cast<void **>(&b3)));
    IKsPropertySet *ks = nullptr;
    EXPECT_EQ(DS_OK, b->QueryInterface(IID_IKsPropertySet, reinterpret_cast<void **>(&ks)));
    voices.push_back(b);
    buffers3d.push_back(b3);
    props.push_back(ks);
    return b;
  }

  static std::vector<int16_t> impulse(size_t frames = 4800, size_t at = 0) {
    std::vector<int16_t> s(frames, 0);
    s[at] = 32767;
    return s;
  }
  static std::vector<int16_t> steady(int16_t level, size_t frames = 48000) { return std::vector<int16_t>(frames, level); }
  static std::vector<int16_t> sine(double hz, double amplitude, size_t frames = 48000) {
    std::vector<int16_t> s(frames);
    for (size_t i = 0; i < frames; ++i) s[i] = int16_t(std::lrint(amplitude * std::sin(2.0 * PI * hz * double(i) / RATE)));
    return s;
  }

  IDirectSound3DBuffer *b3(size_t v) { return buffers3d[v]; }

  void listener_set(ULONG id, const void *value) {
    ASSERT_EQ(DS_OK, props[0]->Set(DSPROPSETID_EAX20_ListenerProperties, id, nullptr, 0, const_cast<void *>(value), 4));
  }
  void listener_l(ULONG id, LONG v) { listener_set(id, &v); }
  void listener_f(ULONG id, float v) { listener_set(id, &v); }
  void environment(DWORD env) { listener_set(DSPROPERTY_EAXLISTENER_ENVIRONMENT, &env); }
  void voice_l(size_t v, ULONG id, LONG value) {
    ASSERT_EQ(DS_OK, props[v]->Set(DSPROPSETID_EAX20_BufferProperties, id, nullptr, 0, &value, 4));
  }
  void voice_f(size_t v, ULONG id, float value) {
    ASSERT_EQ(DS_OK, props[v]->Set(DSPROPSETID_EAX20_BufferProperties, id, nullptr, 0, &value, 4));
  }
  IDirectSound3DListener *listener() {
    if (!primary) {
      DSBUFFERDESC pd = {20, 0x95, 0, 0, nullptr, {}};
      EXPECT_EQ(DS_OK, ds->CreateSoundBuffer(&pd, &primary, nullptr));
      EXPECT_EQ(DS_OK, primary->QueryInterface(IID_IDirectSound3DListener, reinterpret_cast<void **>(&l3d)));
    }
    return l3d;
  }

  // Renders the next `frames` frames and returns them as floats.
  Stereo render(uint32_t frames) {
    api->set_sink_memory(frames);
    EXPECT_EQ(0, api->render(ds, frames));
    Stereo s;
    uint32_t got = api->memory_frames();
    EXPECT_EQ(frames, got);
    const int16_t *p = api->memory_samples();
    s.left.resize(got);
    s.right.resize(got);
    for (uint32_t i = 0; i < got; ++i) {
      s.left[i] = p[i * 2];
      s.right[i] = p[i * 2 + 1];
    }
    return s;
  }

  // Steady-state level of each channel over the second half of a render.
  void levels(uint32_t frames, double *left, double *right) {
    Stereo s = render(frames);
    *left = rms(s.left, frames / 2, frames);
    *right = rms(s.right, frames / 2, frames);
  }

  const RoomApi *api = nullptr;
  IDirectSound8 *ds = nullptr;
  IDirectSoundBuffer *primary = nullptr;
  IDirectSound3DListener *l3d = nullptr;
  std::vector<IDirectSoundBuffer *> voices;
  std::vector<IDirectSound3DBuffer *> buffers3d;
  std::vector<IKsPropertySet *> props;
};

// --- The reverberation --------------------------------------------------------------

TEST_F(Room, ImpulseResponseDecaysInTheDecayTimeOfEachEnvironment) {
  const DWORD envs[] = {EAX_ENVIRONMENT_ROOM, EAX_ENVIRONMENT_GENERIC, EAX_ENVIRONMENT_CAVE,
                        EAX_ENVIRONMENT_CONCERTHALL, EAX_ENVIRONMENT_ARENA};
  voice(impulse());
  for (DWORD env : envs) {
    SCOPED_TRACE(env);
    environment(env);
    // The late reverberation alone, loud enough to stay far above the
    // 16-bit floor over the fitted range.
    listener_l(DSPROPERTY_EAXLISTENER_ROOM, 0);
    listener_l(DSPROPERTY_EAXLISTENER_REFLECTIONS, -10000);
    voice_l(0, DSPROPERTY_EAXBUFFER_DIRECT, -10000);
    voice_l(0, DSPROPERTY_EAXBUFFER_ROOM, -600);
    float decay = eax2_environment_presets[env].flDecayTime;
    ASSERT_EQ(DS_OK, voices[0]->SetCurrentPosition(0));
    ASSERT_EQ(DS_OK, voices[0]->Play(0, 0, 0));
    Stereo s = render(uint32_t((decay * 0.8 + 0.3) * RATE));
    ASSERT_EQ(DS_OK, voices[0]->Stop());
    long start = onset(s, 0.5f);
    ASSERT_GE(start, 0);
    // Reverberation time in the 500 Hz octave, as rooms are measured.
    double t_left = rt60(octave_band(s.left, 500.0), size_t(start));
    double t_right = rt60(octave_band(s.right, 500.0), size_t(start));
    EXPECT_NEAR(decay, t_left, 0.15 * decay);
    EXPECT_NEAR(decay, t_right, 0.15 * decay);
    // Left and right are decorrelated, not one signal twice.
    double lr = 0, ll = 0, rr = 0;
    for (size_t i = size_t(start); i < s.size(); ++i) {
      lr += double(s.left[i]) * s.right[i];
      ll += double(s.left[i]) * s.left[i];
      rr += double(s.right[i]) * s.right[i];
    }
    EXPECT_LT(std::fabs(lr) / std::sqrt(ll * rr), 0.3);
    // Silence until the next environment's impulse.
    render(uint32_t(decay * 2.5 * RATE));
  }
}

TEST_F(Room, FirstReflectionsArriveAtTheReflectionsDelay) {
  voice(impulse());
  for (float delay : {0.007f, 0.025f, 0.1f, 0.3f}) {
    SCOPED_TRACE(delay);
    environment(EAX_ENVIRONMENT_GENERIC);
    listener_l(DSPROPERTY_EAXLISTENER_ROOM, 0);
    listener_l(DSPROPERTY_EAXLISTENER_REFLECTIONS, 0);
    listener_f(DSPROPERTY_EAXLISTENER_REFLECTIONSDELAY, delay);
    ASSERT_EQ(DS_OK, voices[0]->SetCurrentPosition(0));
    ASSERT_EQ(DS_OK, voices[0]->Play(0, 0, 0));
    Stereo s = render(uint32_t((delay + 0.1) * RATE));
    long direct = onset(s, 1000.0f);
    ASSERT_GE(direct, 0);
    EXPECT_NEAR(32767.0f, s.left[size_t(direct)], 1.0f) << "the direct impulse at full level";
    // Nothing between the direct sound and the first reflection.
    long first = onset(s, 30.0f, size_t(direct) + 1);
    ASSERT_GT(first, direct);
    EXPECT_NEAR(delay * RATE, double(first - direct), 48.0);
    render(uint32_t(5 * RATE));
  }
}

TEST_F(Room, ListenerRoomAtMinimumLeavesOnlyTheDirectSound) {
  voice(impulse());
  // First with the room, so that the test can see what it removes.
  ASSERT_EQ(DS_OK, voices[0]->Play(0, 0, 0));
  Stereo with = render(48000);
  long direct = onset(with, 1000.0f);
  ASSERT_GE(direct, 0);
  EXPECT_GT(energy(with.left, size_t(direct) + 1, with.size()), 1e5) << "the default room has a tail";
  render(uint32_t(5 * RATE));

  listener_l(DSPROPERTY_EAXLISTENER_ROOM, -10000);
  ASSERT_EQ(DS_OK, voices[0]->SetCurrentPosition(0));
  ASSERT_EQ(DS_OK, voices[0]->Play(0, 0, 0));
  Stereo dry = render(48000);
  direct = onset(dry, 1000.0f);
  ASSERT_GE(direct, 0);
  for (size_t i = size_t(direct) + 1; i < dry.size(); ++i) {
    ASSERT_EQ(0.0f, dry.left[i]) << i;
    ASSERT_EQ(0.0f, dry.right[i]) << i;
  }
}

TEST_F(Room, RoomOffRendersThePlainMixWithoutReverb) {
  api->set_room(0);
  voice(impulse());
  b3(0)->SetConeAngles(10, 20, DS3D_IMMEDIATE);
  b3(0)->SetConeOutsideVolume(-10000, DS3D_IMMEDIATE);
  b3(0)->SetPosition(0, 0, 1, DS3D_IMMEDIATE);  // facing away from the listener: no cone when plain
  ASSERT_EQ(DS_OK, voices[0]->Play(0, 0, 0));
  Stereo s = render(24000);
  long direct = onset(s, 1000.0f);
  ASSERT_GE(direct, 0);
  EXPECT_EQ(32767.0f, s.left[size_t(direct)]);
  EXPECT_EQ(0.0, energy(s.left, size_t(direct) + 1, s.size()) + energy(s.right, size_t(direct) + 1, s.size()));
}

// --- Per-voice paths ------------------------------------------------------------------

TEST_F(Room, DirectAtMinimumSilencesOnlyThatVoicesDirectPath) {
  // Voice 0 sounds at once, voice 1 a quarter second later, both to the
  // front; voice 1 is found by its own impulse in each run.
  voice(impulse());
  voice(impulse(24000, 12000));
  b3(1)->SetPosition(1, 0, 1, DS3D_IMMEDIATE);
  struct Run {
    float firstPeak, secondPeak;
    double tail;
  };
  auto run = [&](LONG direct) {
    voice_l(0, DSPROPERTY_EAXBUFFER_DIRECT, direct);
    for (int v = 0; v < 2; ++v) {
      EXPECT_EQ(DS_OK, voices[v]->SetCurrentPosition(0));
      EXPECT_EQ(DS_OK, voices[v]->Play(0, 0, 0));
    }
    Stereo s = render(24000);
    // The second voice's impulse: the loudest right-channel sample late in the run.
    size_t second = 8000;
    for (size_t i = 8000; i < s.size(); ++i)
      if (s.right[i] > s.right[second]) second = i;
    size_t first = second - 12000;
    Run r;
    // The two Play calls may fall a frame apart.
    r.firstPeak = 0.0f;
    for (size_t i = first < 3 ? 0 : first - 3; i <= first + 3; ++i)
      r.firstPeak = std::max(r.firstPeak, std::max(std::fabs(s.left[i]), std::fabs(s.right[i])));
    r.secondPeak = s.right[second];
    // The first voice's room: from its reflections until shortly before the second impulse.
    r.tail = energy(s.left, first + 200, second - 200) + energy(s.right, first + 200, second - 200);
    render(uint32_t(5 * RATE));
    return r;
  };
  Run loud = run(0);
  Run quiet = run(-10000);
  EXPECT_NEAR(32767.0f, loud.firstPeak, 1.0f);
  EXPECT_LT(quiet.firstPeak, 2.0f) << "the direct path is silent";
  EXPECT_GT(quiet.tail, 1e5) << "the room still hears the voice";
  EXPECT_NEAR(loud.tail, quiet.tail, 0.02 * loud.tail) << "the room is unchanged";
  EXPECT_GT(loud.secondPeak, 10000.0f);
  EXPECT_NEAR(loud.secondPeak, quiet.secondPeak, 2.0f) << "the other voice is unaffected";
}

TEST_F(Room, DirectHfObstructionAndOcclusionShapeTheDirectPath) {
  voice(steady(10000));
  listener_l(DSPROPERTY_EAXLISTENER_ROOM, -10000);
  voice(sine(5000.0, 10000.0));
  b3(1)->SetMode(DS3DMODE_DISABLE, DS3D_IMMEDIATE);
  b3(0)->SetMode(DS3DMODE_DISABLE, DS3D_IMMEDIATE);
  voices[0]->Play(0, 0, DSBPLAY_LOOPING);
  double dc, r;
  levels(4800, &dc, &r);
  EXPECT_NEAR(10000.0, dc, 5.0);
  voices[0]->Stop();

  voices[1]->Play(0, 0, DSBPLAY_LOOPING);
  double hf, unused;
  levels(4800, &hf, &unused);
  EXPECT_NEAR(10000.0 / std::sqrt(2.0), hf, 20.0);
  voices[1]->Stop();

  struct Case {
    LONG directHf, obstruction;
    float obstructionLf;
    LONG occlusion;
    float occlusionLf;
    double dcMb, hfMb;
  };
  const Case cases[] = {
      {-1200, 0, 0.0f, 0, 0.25f, 0, -1200},        // Direct HF: 5 kHz only
      {0, -1000, 0.0f, 0, 0.25f, 0, -1000},        // obstruction, all of it at HF
      {0, -1000, 0.5f, 0, 0.25f, -500, -1000},     // half of it at LF too
      {0, 0, 0.0f, -2000, 0.25f, -500, -2000},     // occlusion with its LF ratio
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.directHf * 100000 + c.obstruction * 10 + c.occlusion);
    for (size_t v = 0; v < 2; ++v) {
      voice_l(v, DSPROPERTY_EAXBUFFER_DIRECTHF, c.directHf);
      voice_l(v, DSPROPERTY_EAXBUFFER_OBSTRUCTION, c.obstruction);
      voice_f(v, DSPROPERTY_EAXBUFFER_OBSTRUCTIONLFRATIO, c.obstructionLf);
      voice_l(v, DSPROPERTY_EAXBUFFER_OCCLUSION, c.occlusion);
      voice_f(v, DSPROPERTY_EAXBUFFER_OCCLUSIONLFRATIO, c.occlusionLf);
    }
    voices[0]->Play(0, 0, DSBPLAY_LOOPING);
    levels(9600, &dc, &r);
    voices[0]->Stop();
    voices[1]->Play(0, 0, DSBPLAY_LOOPING);
    levels(9600, &hf, &unused);
    voices[1]->Stop();
    EXPECT_NEAR(10000.0 * std::pow(10.0, c.dcMb / 2000.0), dc, 10000.0 * std::pow(10.0, c.dcMb / 2000.0) * 0.01);
    double want = 10000.0 / std::sqrt(2.0) * std::pow(10.0, c.hfMb / 2000.0);
    EXPECT_NEAR(want, hf, want * 0.05);
  }
}

// --- DS3D positioning -----------------------------------------------------------------

TEST_F(Room, SourceMovingFromLeftToRightPansWithIt) {
  voice(sine(1000.0, 10000.0));
  listener_l(DSPROPERTY_EAXLISTENER_ROOM, -10000);
  voices[0]->Play(0, 0, DSBPLAY_LOOPING);
  double last = 2.0;
  for (int x = -5; x <= 5; ++x) {
    SCOPED_TRACE(x);
    b3(0)->SetPosition(float(x), 0.0f, 1.0f, DS3D_IMMEDIATE);
    double l, r;
    levels(4800, &l, &r);
    double share = l * l / (l * l + r * r);
    EXPECT_LT(share, last) << "the left share falls as the source moves right";
    last = share;
    if (x == 0) {
      EXPECT_NEAR(0.5, share, 0.001);
    }
    if (x == -5) {
      EXPECT_GT(share, 0.9);
    }
    if (x == 5) {
      EXPECT_LT(share, 0.1);
    }
  }
}

TEST_F(Room, MovesAndVolumeChangesAreRampedWithoutClicks) {
  voice(steady(10000));
  listener_l(DSPROPERTY_EAXLISTENER_ROOM, -10000);
  voices[0]->Play(0, 0, DSBPLAY_LOOPING);
  b3(0)->SetPosition(-1, 0, 0, DS3D_IMMEDIATE);
  Stereo a = render(1024);
  b3(0)->SetPosition(1, 0, 0, DS3D_IMMEDIATE);  // from hard left to hard right at once
  Stereo b = render(1024);
  voices[0]->SetVolume(-2000);
  Stereo c = render(1024);
  std::vector<float> left(a.left), right(a.right);
  left.insert(left.end(), b.left.begin(), b.left.end());
  left.insert(left.end(), c.left.begin(), c.left.end());
  right.insert(right.end(), b.right.begin(), b.right.end());
  right.insert(right.end(), c.right.begin(), c.right.end());
  EXPECT_NEAR(10000.0f, a.left.back(), 1.0f);
  EXPECT_NEAR(0.0f, b.left.back(), 1.0f);
  EXPECT_NEAR(10000.0f, b.right.back(), 1.0f);
  EXPECT_NEAR(1000.0f, c.right.back(), 1.0f);
  float worst = 0.0f;
  for (size_t i = 1; i < left.size(); ++i) {
    worst = std::max(worst, std::fabs(left[i] - left[i - 1]));
    worst = std::max(worst, std::fabs(right[i] - right[i - 1]));
  }
  EXPECT_LT(worst, 100.0f) << "a change is spread over a whole mixing chunk";
}

TEST_F(Room, DistanceRollsOffBetweenMinimumAndMaximum) {
  voice(steady(10000), VOICE_FLAGS | DSBCAPS_MUTE3DATMAXDISTANCE);
  listener_l(DSPROPERTY_EAXLISTENER_ROOM, -10000);
  b3(0)->SetMaxDistance(10.0f, DS3D_IMMEDIATE);
  voices[0]->Play(0, 0, DSBPLAY_LOOPING);
  struct Case {
    float z, rolloff, want;
  };
  const Case cases[] = {
      {0.5f, 1.0f, 10000.0f},  // inside the minimum distance: full level
      {4.0f, 1.0f, 2500.0f},   // -6 dB per doubling
      {4.0f, 2.0f, 10000.0f / 7.0f},
      {4.0f, 0.0f, 10000.0f},  // no rolloff
      {9.0f, 1.0f, 10000.0f / 9.0f},
      {11.0f, 1.0f, 0.0f},  // beyond the maximum: muted
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.z);
    ASSERT_EQ(DS_OK, listener()->SetRolloffFactor(c.rolloff, DS3D_IMMEDIATE));
    b3(0)->SetPosition(0.0f, 0.0f, c.z, DS3D_IMMEDIATE);
    double l, r;
    levels(4800, &l, &r);
    EXPECT_NEAR(c.want, l, 2.0 + c.want * 0.005);
    EXPECT_NEAR(l, r, 1.0);
  }
}

TEST_F(Room, ConeAttenuatesASourceFacingAway) {
  voice(steady(10000));
  listener_l(DSPROPERTY_EAXLISTENER_ROOM, -10000);
  voice(sine(5000.0, 10000.0));
  for (size_t v = 0; v < 2; ++v) {
    b3(v)->SetPosition(0, 0, 2, DS3D_IMMEDIATE);
    b3(v)->SetMinDistance(2, DS3D_IMMEDIATE);
    b3(v)->SetConeAngles(60, 120, DS3D_IMMEDIATE);
    b3(v)->SetConeOutsideVolume(-2000, DS3D_IMMEDIATE);
    voice_l(v, DSPROPERTY_EAXBUFFER_OUTSIDEVOLUMEHF, -1200);
  }
  struct Case {
    float x, z;  // cone orientation
    double mb;   // cone attenuation
  };
  const double s45 = std::sqrt(0.5);
  const Case cases[] = {
      {0.0f, -1.0f, 0.0},               // facing the listener
      {float(s45), float(-s45), -1000.0},  // 45 degrees: halfway between the 30 and 60 degree edges
      {1.0f, 0.0f, -2000.0},            // side on: outside
      {0.0f, 1.0f, -2000.0},            // facing away
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.mb);
    double dc, hf, unused;
    b3(0)->SetConeOrientation(c.x, 0, c.z, DS3D_IMMEDIATE);
    b3(1)->SetConeOrientation(c.x, 0, c.z, DS3D_IMMEDIATE);
    voices[0]->Play(0, 0, DSBPLAY_LOOPING);
    levels(4800, &dc, &unused);
    voices[0]->Stop();
    voices[1]->Play(0, 0, DSBPLAY_LOOPING);
    levels(9600, &hf, &unused);
    voices[1]->Stop();
    double want = 10000.0 * std::pow(10.0, c.mb / 2000.0);
    EXPECT_NEAR(want, dc, want * 0.01);
    // Outside Volume HF follows the cone at 5 kHz (Direct HF automatic).
    double share = c.mb / -2000.0;
    double wantHf = want / std::sqrt(2.0) * std::pow(10.0, -1200.0 * share / 2000.0);
    EXPECT_NEAR(wantHf, hf, wantHf * 0.05);
  }
}

TEST_F(Room, HeadRelativeSourcesFollowTheListenerAndDisabledOnesSitInTheHead) {
  voice(steady(10000));
  listener_l(DSPROPERTY_EAXLISTENER_ROOM, -10000);
  voice(steady(10000));
  // The listener stands elsewhere and faces +x: its right is -z.
  ASSERT_EQ(DS_OK, listener()->SetPosition(5, 0, 5, DS3D_IMMEDIATE));
  ASSERT_EQ(DS_OK, listener()->SetOrientation(1, 0, 0, 0, 1, 0, DS3D_IMMEDIATE));
  double l, r;

  // Head-relative at (1, 0, 0): on the listener's right wherever it stands.
  b3(0)->SetMode(DS3DMODE_HEADRELATIVE, DS3D_IMMEDIATE);
  b3(0)->SetPosition(1, 0, 0, DS3D_IMMEDIATE);
  voices[0]->Play(0, 0, DSBPLAY_LOOPING);
  levels(4800, &l, &r);
  EXPECT_NEAR(0.0, l, 1.0);
  EXPECT_NEAR(10000.0, r, 2.0);

  // In world space: one unit ahead of the listener is centred, one unit
  // along -z is on its right.
  b3(0)->SetMode(DS3DMODE_NORMAL, DS3D_IMMEDIATE);
  b3(0)->SetPosition(6, 0, 5, DS3D_IMMEDIATE);  // straight ahead
  levels(4800, &l, &r);
  EXPECT_NEAR(l, r, 1.0);
  EXPECT_NEAR(10000.0, l, 2.0);
  b3(0)->SetPosition(5, 0, 4, DS3D_IMMEDIATE);  // to the right of a listener facing +x
  levels(4800, &l, &r);
  EXPECT_NEAR(0.0, l, 1.0);
  EXPECT_NEAR(10000.0, r, 2.0);
  voices[0]->Stop();

  // Disabled: far away to one side, yet centred and without rolloff.
  b3(1)->SetMode(DS3DMODE_DISABLE, DS3D_IMMEDIATE);
  b3(1)->SetPosition(100, 0, 0, DS3D_IMMEDIATE);
  voices[1]->SetVolume(-600);
  voices[1]->Play(0, 0, DSBPLAY_LOOPING);
  levels(4800, &l, &r);
  EXPECT_NEAR(10000.0 * std::pow(10.0, -0.3), l, 2.0);
  EXPECT_NEAR(l, r, 0.5);
}

TEST_F(Room, RenderRefusesAnUnknownDevice) {
  EXPECT_EQ(-1, api->render(reinterpret_cast<IDirectSound8 *>(&api), 10));
}

}  // namespace room_test
