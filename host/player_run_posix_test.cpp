// The real player, its plug-in and the card, run as a program: live output
// on ALSA devices that need no hardware, songs in the formats libsndfile
// reads, and engine settings from the command line.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/settings_export.h"
#include "host/wav.h"

namespace {

const double PI = 3.14159265358979323846;

struct RunResult {
  int exitCode = -1;
  std::string out, err;
  double wallSeconds = 0.0;
};

std::string slurp(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

class PlayerRun : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/sonorium-player-XXXXXX";
    const char *d = mkdtemp(pattern);
    ASSERT_NE(nullptr, d);
    dir_ = d;
  }
  void TearDown() override {
    std::string cmd = "rm -rf '" + dir_ + "'";
    if (std::system(cmd.c_str()) != 0) ADD_FAILURE() << "cannot remove " << dir_;
  }
  std::string path(const std::string &name) const { return dir_ + "/" + name; }

  // Runs the player with `args` (standard input from /dev/null); the
  // settings folder is the test's own.
  RunResult run(const std::string &args) {
    RunResult r;
    std::string line = "'" SONORIUM_PLAYER_PATH "' --settings '" + dir_ + "' " + args + " </dev/null >'" +
                       path("stdout.txt") + "' 2>'" + path("stderr.txt") + "'";
    auto start = std::chrono::steady_clock::now();
    int status = std::system(line.c_str());
    r.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 99;
    r.out = slurp(path("stdout.txt"));
    r.err = slurp(path("stderr.txt"));
    return r;
  }

  std::string dir_;
};

// Interleaved float samples of a stereo signal that is never quiet in both
// channels at once (so silence removal leaves it alone): a 441 Hz sine on
// the left, its cosine on the right, with a slower 97 Hz part, at `level`.
std::vector<float> stereo_signal(int rate, int64_t frames, double level) {
  std::vector<float> v(size_t(frames) * 2);
  for (int64_t i = 0; i < frames; ++i) {
    double t = double(i) / rate;
    v[size_t(i) * 2] = float(level * (0.8 * std::sin(2 * PI * 441 * t) + 0.2 * std::sin(2 * PI * 97 * t)));
    v[size_t(i) * 2 + 1] = float(level * (0.8 * std::cos(2 * PI * 441 * t) + 0.2 * std::cos(2 * PI * 97 * t)));
  }
  return v;
}

// Writes frames [from, to) of `signal` with libsndfile in `format`.
bool write_sound(const std::string &file, int format, int rate, const std::vector<float> &signal, int64_t from,
                 int64_t to) {
  SF_INFO info = {};
  info.samplerate = rate;
  info.channels = 2;
  info.format = format;
  if (!sf_format_check(&info)) return false;
  SNDFILE *f = sf_open(file.c_str(), SFM_WRITE, &info);
  if (!f) return false;
  sf_count_t n = sf_writef_float(f, signal.data() + from * 2, to - from);
  sf_close(f);
  return n == to - from;
}

// The rendered room as stereo float frames at 48 kHz.
std::vector<double> rendered(const std::string &file, int *channels = nullptr) {
  WavAudio a;
  std::string message;
  std::vector<double> v;
  if (wav_read_file(file, &a, &message) != WavResult::Ok || a.bits != 16) return v;
  if (channels) *channels = a.channels;
  for (size_t i = 0; i + 1 < a.pcm.size(); i += 2) v.push_back(int16_t(a.pcm[i] | (a.pcm[i + 1] << 8)) / 32768.0);
  return v;
}

double rms(const std::vector<double> &v, size_t from, size_t to) {
  double s = 0.0;
  for (size_t i = from; i < to && i < v.size(); ++i) s += v[i] * v[i];
  return to > from ? std::sqrt(s / double(to - from)) : 0.0;
}

// First and one past the last sample above a tenth of the peak.
void audible_span(const std::vector<double> &v, size_t *first, size_t *last) {
  double peak = 0.0;
  for (double x : v) peak = std::max(peak, std::fabs(x));
  *first = 0;
  *last = 0;
  for (size_t i = 0; i < v.size(); ++i)
    if (std::fabs(v[i]) > peak * 0.1) {
      if (*last == 0) *first = i;
      *last = i + 1;
    }
}

// The number after `key` in `text`, or -1.
double figure_after(const std::string &text, const std::string &key) {
  size_t at = text.find(key);
  return at == std::string::npos ? -1.0 : std::atof(text.c_str() + at + key.size());
}

size_t count_lines(const std::string &text) {
  size_t n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

}  // namespace

namespace {

// A stereo 16-bit WAV file of `seconds` of the test signal.
void write_song(const std::string &file, int rate, double seconds, double level = 0.5) {
  std::vector<float> s = stereo_signal(rate, int64_t(rate * seconds), level);
  ASSERT_TRUE(write_sound(file, SF_FORMAT_WAV | SF_FORMAT_PCM_16, rate, s, 0, int64_t(s.size() / 2))) << file;
}

TEST_F(PlayerRun, LiveOnTheNullDeviceTakesTheMusicsOwnTime) {
  write_song(path("song.wav"), 44100, 3.0);
  RunResult r = run("--device null --tail 0 '" + path("song.wav") + "'");
  ASSERT_EQ(0, r.exitCode) << r.err;
  EXPECT_NE(std::string::npos, r.out.find("playing live on the sound device 'null'")) << r.out;
  double frames = figure_after(r.out, "sound device: ");
  double wall = figure_after(r.out, "frames in ");
  double buffer = figure_after(r.out, "frames, buffer ");
  ASSERT_GT(frames, 0) << r.out;
  // The device got the whole song (and the silence before Init).
  EXPECT_GE(frames / 48000.0, 3.0);
  // Frames delivered against the wall clock: everything but the device's
  // buffer was played by the time the last block went out.
  EXPECT_NEAR((frames - buffer) / 48000.0, wall, 0.25) << r.out;
  EXPECT_GE(r.wallSeconds, 3.0) << "3 s of music took less than 3 s";
  EXPECT_LT(r.wallSeconds, 3.0 + 4.0);
  EXPECT_NE(std::string::npos, r.out.find(" 0 underrun(s)")) << r.out;
}

TEST_F(PlayerRun, LiveOnTheFileDeviceCapturesWhatTheWavSinkRenders) {
  write_song(path("a.wav"), 44100, 1.2);
  write_song(path("b.wav"), 32000, 0.8, 0.3);
  std::string songs = " '" + path("a.wav") + "' '" + path("b.wav") + "' --at 0.6:pause --at 0.9:resume";
  RunResult ref = run("--tail 0.5 --out '" + path("ref.wav") + "'" + songs);
  ASSERT_EQ(0, ref.exitCode) << ref.err;
  RunResult live = run("--tail 0.5 --device \"file:'" + path("capture.raw") + "',raw\"" + songs);
  ASSERT_EQ(0, live.exitCode) << live.err;

  std::vector<double> want = rendered(path("ref.wav"));
  std::string raw = slurp(path("capture.raw"));
  std::vector<double> got;
  for (size_t i = 0; i + 1 < raw.size(); i += 2)
    got.push_back(int16_t(uint8_t(raw[i]) | (uint8_t(raw[i + 1]) << 8)) / 32768.0);
  ASSERT_GT(want.size(), 48000u * 2);
  // The capture starts with the silence played before the card's device
  // existed; from the first sound on it is the same stream.
  size_t wf, wl, gf, gl;
  audible_span(want, &wf, &wl);
  audible_span(got, &gf, &gl);
  ASSERT_GE(gf, wf);
  size_t offset = gf - wf;
  ASSERT_EQ(0u, offset % 2);
  ASSERT_GE(got.size(), offset + want.size()) << "the capture is shorter than the rendered file";
  size_t differ = 0;
  for (size_t i = 0; i < want.size(); ++i) differ += got[offset + i] != want[i];
  EXPECT_EQ(0u, differ) << "of " << want.size() << " samples";
  for (size_t i = 0; i < offset; ++i) ASSERT_EQ(0.0, got[i]) << "before the first sound, at " << i;
}

TEST_F(PlayerRun, AMissingSoundDeviceIsOneLineAndExitStatus1) {
  RunResult r = run("--device sonorium_no_such_device --demo");
  EXPECT_EQ(1, r.exitCode);
  EXPECT_EQ(1u, count_lines(r.err)) << r.err;
  EXPECT_EQ(0u, r.err.find("sonorium_player: cannot play on the sound device 'sonorium_no_such_device': ")) << r.err;
  EXPECT_LT(r.wallSeconds, 10.0);
  EXPECT_EQ(std::string::npos, r.out.find("playing")) << r.out;
}

}  // namespace

#include "host/audio_file.h"

namespace {

struct Format {
  const char *name, *file;
  int format, rate, bits;
  int64_t padding;  // frames the codec may add or drop at the ends
};

const Format FORMATS[] = {
    {"WAV", "s.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 16, 0},
    {"AIFF", "s.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 44100, 24, 0},
    {"FLAC", "s.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 16, 0},
    {"Ogg Vorbis", "s.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 24, 2048},
    {"Opus", "s.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 48000, 24, 2048},
    {"MP3", "s.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100, 24, 2 * 1152 + 529},
};

const double SONG_SECONDS = 2.0;
const double SONG_LEVEL = 0.5;

// Each format made with libsndfile from the same signal reads back as the
// signal: its rate, the bits it is handed over with, its length within the
// codec's padding and its level within half a decibel.
TEST_F(PlayerRun, EachFormatDecodesToTheSignalsLengthAndLevel) {
  for (const Format &f : FORMATS) {
    SCOPED_TRACE(f.name);
    int64_t frames = int64_t(f.rate * SONG_SECONDS);
    std::vector<float> s = stereo_signal(f.rate, frames, SONG_LEVEL);
    ASSERT_TRUE(write_sound(path(f.file), f.format, f.rate, s, 0, frames)) << "libsndfile cannot write " << f.name;
    WavAudio a;
    std::string message;
    ASSERT_EQ(WavResult::Ok, audio_read_file(path(f.file), &a, &message)) << message;
    EXPECT_EQ(f.rate, a.rate);
    EXPECT_EQ(2, a.channels);
    EXPECT_EQ(f.bits, a.bits);
    EXPECT_NEAR(double(frames), double(a.frames()), double(f.padding) + 0.5);
    double sum = 0.0;
    const int bytes = a.bits / 8;
    const double full = a.bits == 16 ? 32768.0 : 8388608.0;
    for (int64_t i = 0; i < a.frames() * 2; ++i) {
      const uint8_t *p = a.pcm.data() + i * bytes;
      int32_t v = bytes == 2 ? int16_t(p[0] | p[1] << 8) : (int32_t(uint32_t(p[0] | p[1] << 8 | p[2] << 16) << 8) >> 8);
      sum += (v / full) * (v / full);
    }
    double level_db = 10 * std::log10(sum / double(a.frames() * 2));
    // The signal's power: (0.8² + 0.2²) / 2 of the level squared.
    double want_db = 10 * std::log10(SONG_LEVEL * SONG_LEVEL * 0.68 / 2);
    EXPECT_NEAR(want_db, level_db, 0.5);
  }
}

// ...and plays: rendered through the plug-in, each is as long and as loud
// as the WAV file.
TEST_F(PlayerRun, EachFormatPlaysAsLongAndAsLoudAsTheWavFile) {
  double want_seconds = 0, want_db = 0;
  for (const Format &f : FORMATS) {
    SCOPED_TRACE(f.name);
    int64_t frames = int64_t(f.rate * SONG_SECONDS);
    ASSERT_TRUE(write_sound(path(f.file), f.format, f.rate, stereo_signal(f.rate, frames, SONG_LEVEL), 0, frames));
    RunResult r = run("--room off --tail 0.3 --out '" + path("room.wav") + "' '" + path(f.file) + "'");
    ASSERT_EQ(0, r.exitCode) << r.err;
    std::vector<double> v = rendered(path("room.wav"));
    size_t first, last;
    audible_span(v, &first, &last);
    double seconds = double(last - first) / 2 / 48000;
    size_t mid = (first + last) / 2;
    double db = 20 * std::log10(rms(v, mid - 48000, mid + 48000));
    if (&f == FORMATS) {
      want_seconds = seconds;
      want_db = db;
      EXPECT_NEAR(SONG_SECONDS, seconds, 0.05);
      continue;
    }
    EXPECT_NEAR(want_seconds, seconds, double(f.padding) / f.rate + 0.01);
    EXPECT_NEAR(want_db, db, 0.5);
  }
}

TEST_F(PlayerRun, AFileLibsndfileCannotReadIsReportedAndSkipped) {
  {
    std::ofstream bad(path("notes.flac"));
    bad << "not a sound file at all\n";
  }
  write_song(path("good.wav"), 44100, 0.5);
  RunResult r =
      run("--tail 0 --out '" + path("room.wav") + "' '" + path("notes.flac") + "' '" + path("good.wav") + "'");
  EXPECT_EQ(1, r.exitCode);
  EXPECT_NE(std::string::npos, r.err.find("sonorium_player: " + path("notes.flac") + ": ")) << r.err;
  EXPECT_NE(std::string::npos, r.err.find("; skipped\n")) << r.err;
  EXPECT_NE(std::string::npos, r.out.find("played 1 song(s)")) << r.out;
}

}  // namespace

namespace {

// One continuous signal cut into three files at arbitrary samples, and the
// same signal whole, rendered with the same settings: where the album plays
// gaplessly, the two renders are the same stream.
class GaplessAlbum : public PlayerRun {
 protected:
  static const int RATE = 44100;
  const int64_t cuts_[2] = {88211, 176999};

  void SetUp() override {
    PlayerRun::SetUp();
    const int64_t frames = 6 * RATE;
    std::vector<float> s = stereo_signal(RATE, frames, 0.5);
    const int64_t at[4] = {0, cuts_[0], cuts_[1], frames};
    ASSERT_TRUE(write_sound(path("whole.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, RATE, s, 0, frames));
    for (int i = 0; i < 3; ++i)
      ASSERT_TRUE(write_sound(path("part" + std::to_string(i + 1) + ".wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, RATE, s,
                              at[i], at[i + 1]));
  }

  // Renders the whole signal and the three parts with the same options.
  void render_both(const std::string &options, const std::string &album_only = "") {
    RunResult w = run("-q --room off --tail 0.3 " + options + " --out '" + path("whole-room.wav") + "' '" +
                      path("whole.wav") + "'");
    ASSERT_EQ(0, w.exitCode) << w.err;
    RunResult a = run("-q --room off --tail 0.3 " + options + " " + album_only + " --out '" + path("album-room.wav") +
                      "' '" + path("part1.wav") + "' '" + path("part2.wav") + "' '" + path("part3.wav") + "'");
    ASSERT_EQ(0, a.exitCode) << a.err;
    whole_ = rendered(path("whole-room.wav"));
    album_ = rendered(path("album-room.wav"));
    ASSERT_GT(whole_.size(), size_t(2 * 48000 * 6));
    ASSERT_EQ(whole_.size(), album_.size());
    size_t last;
    audible_span(whole_, &start_, &last);
  }

  // The sample index (stereo, 48 kHz) where the input frame `frame` is heard
  // in the renders, counted from the first sound.
  size_t heard_at(int64_t frame) const { return start_ + 2 * size_t(std::llround(double(frame) * 48000 / RATE)); }

  // The residual of the album against the whole signal over [from, to), in dB
  // below the signal.
  double residual_db(size_t from, size_t to) const {
    double d = 0.0, s = 0.0;
    for (size_t i = from; i < to; ++i) {
      d += (album_[i] - whole_[i]) * (album_[i] - whole_[i]);
      s += whole_[i] * whole_[i];
    }
    return d == 0.0 ? -300.0 : 10 * std::log10(d / s);
  }

  // How long the album's level stays off the whole signal's around `frame`:
  // the span, in ms, of 1 ms windows whose level differs by more than 1 %.
  double dip_ms(int64_t frame) const {
    const size_t w = 96;  // 1 ms of stereo samples
    size_t centre = heard_at(frame);
    bool found = false;
    int first = 0, last = 0;
    for (int k = -300; k < 300; ++k) {
      size_t from = size_t(int64_t(centre) + int64_t(k) * int64_t(w));
      double ratio = rms(album_, from, from + w) / rms(whole_, from, from + w);
      if (std::fabs(ratio - 1.0) > 0.01) {
        if (!found) first = k;
        found = true;
        last = k;
      }
    }
    return found ? double(last - first + 1) : 0.0;
  }

  std::vector<double> whole_, album_;
  size_t start_ = 0;
};

TEST_F(GaplessAlbum, WithoutTheStartFadeTheJoinsAreContinuous) {
  render_both("--set fadeFlags=0x7C");
  for (int64_t cut : cuts_) {
    SCOPED_TRACE(cut);
    size_t at = heard_at(cut);
    double db = residual_db(at - 4800, at + 4800);
    std::printf("join at input frame %lld: residual %.1f dB over +-50 ms\n", (long long)cut, db);
    EXPECT_LT(db, -60.0);
  }
  EXPECT_LT(residual_db(0, whole_.size()), -60.0) << "over the whole render";
}

TEST_F(GaplessAlbum, TheDefaultsFadeEachFollowingSongIn75Ms) {
  render_both("");
  for (int64_t cut : cuts_) {
    double ms = dip_ms(cut);
    std::printf("join at input frame %lld: fade-in %.0f ms\n", (long long)cut, ms);
    EXPECT_NEAR(75.0, ms, 5.0);
  }
}

// A setting given during playback acts as the dialog's Apply: the fade time
// changed at 0.5 s is the one the second song starts with.
TEST_F(GaplessAlbum, ASettingDuringPlaybackActsAtOnce) {
  render_both("", "--at '0.5:set fadeStartMs=200'");
  EXPECT_NEAR(200.0, dip_ms(cuts_[0]), 5.0);
  EXPECT_NEAR(200.0, dip_ms(cuts_[1]), 5.0);
}

TEST_F(PlayerRun, BadSettingsAreClearUsageErrors) {
  struct Case {
    const char *args, *message;
  } cases[] = {
      {"--set fadeflags=1", "--set: unknown setting 'fadeflags' (sonorium_player --help lists them)"},
      {"--set fadeFlags=0x80", "--set: setting 'fadeFlags=0x80': fadeFlags is 0x0 to 0x7F"},
      {"--set gapMode=-1", "--set: setting 'gapMode=-1': gapMode is 0 to 2"},
      {"--set insertGapMs=1.5", "--set: setting 'insertGapMs=1.5': insertGapMs is 0 to 120000"},
      {"--set bufferLengthMs", "--set: setting 'bufferLengthMs' is not NAME=VALUE (e.g. fadeFlags=0x7C)"},
      {"--set bufferLengthMs=400 --set prebufferMs=300",
       "--set: prebufferMs=300 is more than 65% of bufferLengthMs=400 (at most 260)"},
      {"--at '2:set nothing=1'", "action '2:set nothing=1': unknown setting 'nothing'"},
      {"--at 2:set gapMode=1", "action '2:set': set needs NAME=VALUE; quote the action so that it stays one"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.args);
    RunResult r = run(std::string(c.args) + " --demo");
    EXPECT_EQ(2, r.exitCode);
    EXPECT_EQ(0u, r.err.find(std::string("sonorium_player: ") + c.message)) << r.err;
  }
}

}  // namespace

namespace {

// The commit the Linux plug-in exports: it reads back what was applied,
// refuses a record out of range whole, and commits one in range.
TEST(SettingsCommitExport, RefusesOutOfRangeAndCommitsInRange) {
  void *library = dlopen(SONORIUM_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(nullptr, library) << dlerror();
  auto commit = reinterpret_cast<SonoriumSettingsCommit>(dlsym(library, SONORIUM_SETTINGS_COMMIT_SYMBOL));
  ASSERT_NE(nullptr, commit);
  EngineSettings s;
  ASSERT_EQ(0, commit(nullptr, &s));
  EXPECT_EQ(0, std::memcmp(&s, &engine_settings_defaults, sizeof s)) << "before any commit: the defaults";
  EngineSettings bad = s;
  bad.fadeFlags = 0x80;
  EXPECT_EQ(-1, commit(&bad, nullptr));
  bad = s;
  bad.bufferLengthMs = 400;
  bad.prebufferMs = 261;
  EXPECT_EQ(-1, commit(&bad, nullptr));
  EngineSettings back;
  commit(nullptr, &back);
  EXPECT_EQ(0, std::memcmp(&s, &back, sizeof s)) << "a refused record changes nothing";
  EngineSettings good = s;
  good.gapMode = 2;
  good.insertGapMs = 1500;
  good.fadeFlags = 0x7C;
  EXPECT_EQ(0, commit(&good, &back));
  EXPECT_EQ(0, std::memcmp(&s, &back, sizeof s)) << "applied is read before the commit";
  commit(nullptr, &back);
  EXPECT_EQ(0, std::memcmp(&good, &back, sizeof s));
  ASSERT_EQ(0, commit(&s, nullptr));
  dlclose(library);
}

}  // namespace
