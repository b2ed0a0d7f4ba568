#include "host/demo.h"

#include <cmath>

namespace {

const double PI = 3.14159265358979323846;
const double BEAT = 0.25;  // seconds per note

// A pentatonic tune over a bass that changes every four notes; semitones
// from A3 (220 Hz).
const int MELODY[] = {12, 15, 17, 19, 22, 19, 17, 15, 12, 10, 12, 15, 17, 15, 12, 7};
const int BASS[] = {-12, -9, -7, -5};

double note_hz(int semitones) { return 220.0 * std::pow(2.0, semitones / 12.0); }

// A plucked note: a few harmonics under a fast attack and an exponential
// decay, `t` seconds after its start.
double pluck(double hz, double t) {
  if (t < 0.0) return 0.0;
  double env = (1.0 - std::exp(-t * 400.0)) * std::exp(-t * 6.0);
  double v = std::sin(2 * PI * hz * t) + 0.4 * std::sin(4 * PI * hz * t) + 0.15 * std::sin(6 * PI * hz * t);
  return env * v / 1.55;
}

// The piece at time t (seconds from its start): left and right.
void piece(double t, double *left, double *right) {
  long n = long(t / BEAT);
  double m = 0.0;
  // The last two notes still ring while the next starts.
  for (long k = n; k >= 0 && k >= n - 2; --k) m += pluck(note_hz(MELODY[k % 16]), t - k * BEAT);
  long bar = long(t / (4 * BEAT));
  double b = pluck(note_hz(BASS[bar % 4]), t - bar * 4 * BEAT) + pluck(note_hz(BASS[bar % 4]) * 2, t - bar * 4 * BEAT);
  if (bar > 0) b += pluck(note_hz(BASS[(bar - 1) % 4]), t - (bar - 1) * 4 * BEAT);
  *left = 0.30 * m + 0.22 * b;
  *right = 0.22 * m + 0.30 * b;
}

void put(std::vector<uint8_t> &pcm, int bits, double v) {
  if (v > 1.0) v = 1.0;
  if (v < -1.0) v = -1.0;
  long s = std::lround(v * (bits == 24 ? 8388607.0 : 32767.0));
  pcm.push_back(uint8_t(s));
  pcm.push_back(uint8_t(s >> 8));
  if (bits == 24) pcm.push_back(uint8_t(s >> 16));
}

WavAudio render(double from, double to, int rate, int channels, int bits) {
  WavAudio a;
  a.rate = rate;
  a.channels = channels;
  a.bits = bits;
  long first = std::lround(from * rate), last = std::lround(to * rate);
  a.pcm.reserve(size_t(last - first) * size_t(channels * bits / 8));
  for (long i = first; i < last; ++i) {
    double l, r;
    piece(double(i) / rate, &l, &r);
    if (channels == 1) {
      put(a.pcm, bits, 0.5 * (l + r));
    } else {
      put(a.pcm, bits, l);
      put(a.pcm, bits, r);
    }
  }
  return a;
}

}  // namespace

double demo_length(double seconds) { return seconds > 0.0 ? seconds : 15.0; }

std::vector<DemoSong> demo_songs(double seconds) {
  const double total = demo_length(seconds);
  // Song boundaries on whole notes, so each song starts with a note.
  double cut1 = std::round(total / 3 / BEAT) * BEAT;
  double cut2 = std::round(2 * total / 3 / BEAT) * BEAT;
  std::vector<DemoSong> songs(3);
  songs[0] = {"demo song 1", render(0.0, cut1, 44100, 2, 16)};
  songs[1] = {"demo song 2", render(cut1, cut2, 32000, 2, 24)};
  songs[2] = {"demo song 3", render(cut2, total, 22050, 1, 16)};
  return songs;
}

std::vector<TimedAction> demo_actions(double seconds) {
  const double total = demo_length(seconds);
  std::vector<TimedAction> actions(2);
  // Two seconds in, skip one second ahead in the first song.
  actions[0].atMs = 2000;
  actions[0].kind = ActionKind::Seek;
  actions[0].value = 3000;
  // One second of music is skipped; stop a second before the piece ends.
  actions[1].atMs = int64_t((total - 1.0 - 1.0) * 1000.0);
  actions[1].kind = ActionKind::Stop;
  return actions;
}
