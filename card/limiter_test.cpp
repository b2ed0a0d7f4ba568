#include "card/limiter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "card/card_api.h"
#include "platform/dsound.h"

namespace {

constexpr uint32_t L = LIMITER_LOOKAHEAD;
constexpr double PI = 3.14159265358979;

// Deterministic noise in [-1, 1).
struct Lcg {
  uint32_t s = 12345;
  float next() {
    s = s * 1664525u + 1013904223u;
    return float(s >> 8) / float(1u << 23) - 1.0f;
  }
};

// Pink noise (a sum of one-pole filtered white noise) scaled so that its
// largest sample is `peak`.
std::vector<float> pink(size_t n, float peak) {
  Lcg r;
  std::vector<float> x(n);
  double b[7] = {};
  for (size_t i = 0; i < n; ++i) {
    double w = r.next();
    b[0] = 0.99886 * b[0] + w * 0.0555179;
    b[1] = 0.99332 * b[1] + w * 0.0750759;
    b[2] = 0.96900 * b[2] + w * 0.1538520;
    b[3] = 0.86650 * b[3] + w * 0.3104856;
    b[4] = 0.55000 * b[4] + w * 0.5329522;
    b[5] = -0.7616 * b[5] - w * 0.0168980;
    x[i] = float(b[0] + b[1] + b[2] + b[3] + b[4] + b[5] + b[6] + w * 0.5362);
    b[6] = w * 0.115926;
  }
  float most = 0.0f;
  for (float v : x) most = std::max(most, std::fabs(v));
  for (float &v : x) v *= peak / most;
  return x;
}

std::vector<float> sine(size_t n, double hz, float amplitude) {
  std::vector<float> x(n);
  for (size_t i = 0; i < n; ++i) x[i] = amplitude * float(std::sin(2.0 * PI * hz * double(i) / 48000.0));
  return x;
}

// Interleaved stereo from two channels (the right one defaults to the left).
std::vector<float> stereo(const std::vector<float> &left, const std::vector<float> *right = nullptr) {
  std::vector<float> lr(left.size() * 2);
  for (size_t i = 0; i < left.size(); ++i) {
    lr[i * 2] = left[i];
    lr[i * 2 + 1] = right ? (*right)[i] : left[i];
  }
  return lr;
}

// Runs interleaved frames through a fresh limiter in blocks of varying size.
std::vector<float> limit(std::vector<float> lr) {
  Limiter l;
  limiter_reset(&l);
  static const uint32_t blocks[] = {1, 256, 7, 48, 49, 300, 13};
  size_t frames = lr.size() / 2, at = 0;
  for (size_t k = 0; at < frames; ++k) {
    uint32_t n = uint32_t(std::min<size_t>(blocks[k % 7], frames - at));
    limiter_process(&l, lr.data() + at * 2, n);
    at += n;
  }
  return lr;
}

float peak_of(const std::vector<float> &lr) {
  float p = 0.0f;
  for (float v : lr) p = std::max(p, std::fabs(v));
  return p;
}

// --- The limiter alone ----------------------------------------------------------

TEST(Limiter, BelowTheCeilingPassesBitExactAfterTheLookAhead) {
  // Up to the ceiling itself, with fractions the 16-bit conversion would
  // round: nothing may change, not even in the last bit.
  std::vector<float> left = pink(48000, LIMITER_CEILING), right = sine(48000, 997.0, 20000.3f);
  left[1000] = -LIMITER_CEILING;
  std::vector<float> in = stereo(left, &right);
  std::vector<float> out = limit(in);
  for (uint32_t i = 0; i < L * 2; ++i) ASSERT_EQ(0.0f, out[i]) << "the look-ahead starts silent";
  EXPECT_EQ(0, std::memcmp(out.data() + L * 2, in.data(), (in.size() - L * 2) * sizeof(float)));
}

TEST(Limiter, NoPeakGetsPastTheCeiling) {
  struct Case {
    const char *what;
    std::vector<float> left, right;
  };
  std::vector<float> spikes(24000, 0.0f), square(24000), quiet(24000, 100.0f);
  for (size_t i = 0; i < spikes.size(); i += 997) spikes[i] = (i / 997) % 2 ? -1.0e6f : 40000.0f;
  for (size_t i = 0; i < square.size(); ++i) square[i] = (i / 3) % 2 ? 32767.0f : -32768.0f;
  const Case cases[] = {
      {"sine 12 dB over", sine(24000, 1000.0, 130000.0f), sine(24000, 1000.0, 130000.0f)},
      {"pink noise 6 dB over", pink(24000, 65000.0f), pink(24000, 65000.0f)},
      {"lone spikes, one huge", spikes, spikes},
      {"full-scale square", square, square},
      {"loud right, quiet left", quiet, sine(24000, 440.0, 50000.0f)},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<float> out = limit(stereo(c.left, &c.right));
    EXPECT_LE(peak_of(out), LIMITER_CEILING + 0.01f) << "the ceiling, give or take the float rounding";
    for (float v : out) ASSERT_LT(std::fabs(std::lrint(v)), 32767) << "rounds to full scale";
  }
}

TEST(Limiter, BothChannelsGetTheSameGain) {
  std::vector<float> left(9600, 1000.0f), right = sine(9600, 100.0, 60000.0f);
  std::vector<float> out = limit(stereo(left, &right));
  float least = 1.0f;
  for (size_t i = L; i < left.size(); ++i) {
    float g = out[i * 2] / left[i - L];
    least = std::min(least, g);
    if (std::fabs(right[i - L]) > 1000.0f) {
      ASSERT_NEAR(g, out[i * 2 + 1] / right[i - L], 1e-5f) << i;
    }
  }
  EXPECT_LT(least, 0.6f) << "the quiet channel is turned down with the loud one";
}

// A steady level `over` the ceiling for 100 ms, then a steady level just
// below it: the gain ramps down over the look-ahead, holds, then returns
// to exactly 1 smoothly, never falling back, within the release time.
TEST(Limiter, GainRampsDownAndRecoversMonotonicallyWithinTheRelease) {
  const uint32_t loud = 4800, after = 48000;
  const uint32_t release = LIMITER_RELEASE_MS * 48;
  for (float over_db : {0.5f, 6.0f, 20.0f, 40.0f}) {
    SCOPED_TRACE(over_db);
    const float high = LIMITER_CEILING * std::pow(10.0f, over_db / 20.0f), low = 30000.0f;
    std::vector<float> in(loud + after);
    for (uint32_t i = 0; i < in.size(); ++i) in[i] = i < loud ? high : low;
    std::vector<float> out = limit(stereo(in));
    std::vector<float> gain(in.size() - L);
    for (uint32_t i = 0; i < gain.size(); ++i) gain[i] = out[(i + L) * 2] / in[i];
    // Leaving: a linear ramp over the look-ahead, not a step.
    const float need = LIMITER_CEILING / high;
    for (uint32_t i = 1; i < loud; ++i) ASSERT_LE(gain[i - 1] - gain[i], (1.0f - need) / float(L) + 1e-6f) << i;
    for (uint32_t i = 0; i < loud; ++i) ASSERT_LE(out[(i + L) * 2], LIMITER_CEILING + 0.01f) << i;
    // Recovering: never down, in small steps, at exactly 1 within the release.
    uint32_t back = 0;
    for (uint32_t i = loud; i < gain.size() && !back; ++i) {
      ASSERT_GE(gain[i], gain[i - 1]) << "pumping at " << i;
      ASSERT_LT(gain[i] - gain[i - 1], 1e-3f) << "a jump at " << i;
      if (gain[i] == 1.0f) back = i;
    }
    ASSERT_NE(0u, back) << "the gain never came back";
    EXPECT_LE(back - loud, release);
    EXPECT_GT(back - loud, release / 5) << "the release is meant to be slow, not a flutter";
    for (uint32_t i = back; i < gain.size(); ++i) ASSERT_EQ(low, out[(i + L) * 2]) << i;
  }
}

// --- Through the card, the room on ---------------------------------------------

struct Rendered {
  std::vector<int16_t> lr;
  int peak = 0;
  uint32_t clipped = 0;  // samples at either full-scale code
};

// Plays `mono` looping on one 3D voice of the default device (EAX 2.0, the
// Generic room) at the listener, renders `frames` frames with the limiter
// on or off (and the room switched off after `roomOffAt` frames), and
// releases the device.
Rendered render_room(const std::vector<float> &mono, bool limiter, uint32_t frames, uint32_t roomOffAt = ~0u) {
  card_reset();
  card_set_limiter(limiter ? 1 : 0);
  // No mixer thread (the sink is chosen afterwards): the device renders
  // only what card_render asks for.
  card_set_sink_null();
  EXPECT_EQ(0, card_set_simulated_time(1));
  IDirectSound8 *ds = nullptr;
  EXPECT_EQ(DS_OK, DirectSoundCreate8(nullptr, &ds, nullptr));
  EXPECT_EQ(DS_OK, ds->SetCooperativeLevel(nullptr, DSSCL_PRIORITY));
  WAVEFORMATEX f = {WAVE_FORMAT_PCM, 1, 48000, 96000, 2, 16, 0};
  DSBUFFERDESC d = {20, 0x180B4, DWORD(mono.size() * 2), 0, &f, {}};
  IDirectSoundBuffer *b = nullptr;
  EXPECT_EQ(DS_OK, ds->CreateSoundBuffer(&d, &b, nullptr));
  void *p1, *p2;
  DWORD n1, n2;
  EXPECT_EQ(DS_OK, b->Lock(0, d.dwBufferBytes, &p1, &n1, &p2, &n2, 0));
  int16_t *s = static_cast<int16_t *>(p1);
  for (size_t i = 0; i < mono.size(); ++i) s[i] = int16_t(std::lrint(mono[i]));
  b->Unlock(p1, n1, p2, n2);
  EXPECT_EQ(DS_OK, b->Play(0, 0, DSBPLAY_LOOPING));
  card_set_sink_memory(frames + L);
  if (roomOffAt < frames) {
    EXPECT_EQ(0, card_render(ds, roomOffAt));
    card_set_room(0);
    EXPECT_EQ(0, card_render(ds, frames - roomOffAt));
  } else {
    EXPECT_EQ(0, card_render(ds, frames));
    EXPECT_EQ(frames, card_memory_frames()) << "the sink keeps pace with the device";
  }
  b->Release();
  ds->Release();
  Rendered r;
  r.lr.assign(card_memory_samples(), card_memory_samples() + size_t(card_memory_frames()) * 2);
  card_set_simulated_time(0);
  card_reset();
  for (int16_t v : r.lr) {
    r.peak = std::max(r.peak, std::abs(int(v)));
    if (v == 32767 || v == -32768) ++r.clipped;
  }
  return r;
}

TEST(LimiterInTheRoom, LoudMusicNeverReachesFullScale) {
  const float minus1 = 32767.0f * std::pow(10.0f, -1.0f / 20.0f);
  struct Case {
    const char *what;
    std::vector<float> mono;
  } cases[] = {{"1 kHz sine at -1 dBFS", sine(48000, 1000.0, minus1)},
               {"pink noise peaking at -1 dBFS", pink(48000, minus1)}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Rendered off = render_room(c.mono, false, 48000);
    EXPECT_GT(off.clipped, 0u) << "without the limiter the room clips this";
    Rendered on = render_room(c.mono, true, 48000);
    ASSERT_EQ(size_t(48000 + L) * 2, on.lr.size()) << "the look-ahead's last frames follow at the end";
    EXPECT_EQ(0u, on.clipped);
    EXPECT_LE(on.peak, int(LIMITER_CEILING));
    EXPECT_GT(on.peak, int(LIMITER_CEILING) - 200) << "limited to the ceiling, not far below it";
  }
}

TEST(LimiterInTheRoom, QuietMusicRendersExactlyAsWithoutIt) {
  const float minus20 = 32767.0f * 0.1f;
  for (const auto &mono : {sine(48000, 1000.0, minus20), pink(48000, minus20)}) {
    Rendered off = render_room(mono, false, 24000);
    Rendered on = render_room(mono, true, 24000);
    ASSERT_EQ(size_t(24000) * 2, off.lr.size());
    ASSERT_EQ(size_t(24000 + L) * 2, on.lr.size());
    for (uint32_t i = 0; i < L * 2; ++i) ASSERT_EQ(0, on.lr[i]);
    EXPECT_TRUE(std::equal(off.lr.begin(), off.lr.end(), on.lr.begin() + L * 2)) << "delayed by the look-ahead only";
  }
}

// The plain mix is for tests of exact levels: the limiter keeps out of it,
// and switching the room off mid-stream first lets out what the look-ahead
// holds, so no frame is lost.
TEST(LimiterInTheRoom, ThePlainMixIsNeitherLimitedNorDelayed) {
  const std::vector<float> loud = sine(48000, 1000.0, 32767.0f);
  Rendered off = render_room(loud, false, 9600, 0);
  Rendered on = render_room(loud, true, 9600, 0);
  EXPECT_GT(off.clipped, 0u);
  EXPECT_EQ(off.lr, on.lr);

  const std::vector<float> quiet = sine(48000, 1000.0, 3000.0f);
  Rendered plain = render_room(quiet, false, 9600, 4800);
  Rendered switched = render_room(quiet, true, 9600, 4800);
  ASSERT_EQ(size_t(9600 + L) * 2, switched.lr.size());
  EXPECT_TRUE(std::equal(plain.lr.begin(), plain.lr.begin() + 4800 * 2, switched.lr.begin() + L * 2))
      << "the room's frames, delayed by the look-ahead";
  EXPECT_TRUE(std::equal(plain.lr.begin() + 4800 * 2, plain.lr.end(), switched.lr.begin() + (4800 + L) * 2))
      << "then the plain mix, undelayed";
}

}  // namespace
