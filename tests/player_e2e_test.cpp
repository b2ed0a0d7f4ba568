// The player end to end: the real sonorium_player program loading the real
// plug-in, rendering through the software card into a WAV file. Natively on
// the simulated clock; on Windows under Wine in real time with the card's
// drop-in dsound.dll, so the songs are kept short.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "device/block.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
const char SEP = '\\';
std::string player_path() {
  char self[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
  std::string s(self, n);
  return s.substr(0, s.find_last_of("\\/") + 1) + "sonorium_player.exe";
}
std::string make_temp_dir() {
  char base[MAX_PATH];
  GetTempPathA(sizeof base, base);
  for (unsigned i = 0;; ++i) {
    std::string d = std::string(base) + "sonorium-e2e-" + std::to_string(GetCurrentProcessId()) + "-" +
                    std::to_string(i);
    if (CreateDirectoryA(d.c_str(), nullptr)) return d;
  }
}
// Runs the player with its output streams in files; returns its exit code.
int run_program(const std::string &args, const std::string &out, const std::string &err) {
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  HANDLE o = CreateFileA(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
  HANDLE e = CreateFileA(err.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = o;
  si.hStdError = e;
  PROCESS_INFORMATION pi = {};
  std::string line = "\"" + player_path() + "\" " + args;
  std::vector<char> buf(line.begin(), line.end());
  buf.push_back(0);
  DWORD code = 99;
  if (CreateProcessA(nullptr, buf.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    WaitForSingleObject(pi.hProcess, 120000);
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  }
  CloseHandle(o);
  CloseHandle(e);
  return int(code);
}
#else
const char SEP = '/';
std::string player_path() { return SONORIUM_PLAYER_PATH; }
std::string make_temp_dir() {
  char pattern[] = "/tmp/sonorium-e2e-XXXXXX";
  const char *d = mkdtemp(pattern);
  return d ? d : "/tmp";
}
int run_program(const std::string &args, const std::string &out, const std::string &err) {
  std::string line = "'" + player_path() + "' " + args + " >'" + out + "' 2>'" + err + "'";
  int status = std::system(line.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}
#endif

std::vector<uint8_t> read_file(const std::string &path) {
  std::vector<uint8_t> v;
  FILE *f = std::fopen(path.c_str(), "rb");
  if (!f) return v;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) v.insert(v.end(), buf, buf + n);
  std::fclose(f);
  return v;
}

void write_file(const std::string &path, const std::vector<uint8_t> &bytes) {
  FILE *f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(nullptr, f) << path;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

void put(std::vector<uint8_t> &v, uint32_t x, int bytes) {
  for (int i = 0; i < bytes; ++i) v.push_back(uint8_t(x >> (8 * i)));
}

// A 440 Hz tone at a third of full scale, as a WAV file; declared_frames
// above frames makes a file whose data chunk is cut short.
std::vector<uint8_t> tone_wav(int rate, int channels, int bits, double seconds, double declared_seconds = 0) {
  int frames = int(rate * seconds);
  int declared = declared_seconds > 0 ? int(rate * declared_seconds) : frames;
  int align = channels * bits / 8;
  std::vector<uint8_t> v;
  v.insert(v.end(), {'R', 'I', 'F', 'F'});
  put(v, uint32_t(36 + declared * align), 4);
  v.insert(v.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  put(v, 16, 4);
  put(v, 1, 2);
  put(v, uint32_t(channels), 2);
  put(v, uint32_t(rate), 4);
  put(v, uint32_t(rate * align), 4);
  put(v, uint32_t(align), 2);
  put(v, uint32_t(bits), 2);
  v.insert(v.end(), {'d', 'a', 't', 'a'});
  put(v, uint32_t(declared * align), 4);
  for (int f = 0; f < frames; ++f) {
    double s = std::sin(2 * 3.14159265358979323846 * 440.0 * f / rate) / 3.0;
    for (int c = 0; c < channels; ++c) {
      if (bits == 8)
        put(v, uint32_t(std::lround(s * 127) + 128), 1);
      else if (bits == 16)
        put(v, uint32_t(int32_t(std::lround(s * 32767))), 2);
      else
        put(v, uint32_t(int32_t(std::lround(s * 8388607))), 3);
    }
  }
  return v;
}

struct Render {
  int exitCode = -1;
  std::string out, err;
  std::vector<float> level;  // per frame: the louder channel, 0..1
};

struct Span {
  double first = -1, last = -1, longestQuiet = 0;
};

class PlayerEndToEnd : public ::testing::Test {
 protected:
  std::string dir;
  void SetUp() override { dir = make_temp_dir(); }
  void TearDown() override {
    // The files are small; the folder stays for a look when a test failed.
    if (!HasFailure()) {
      for (const char *n : {"a.wav", "b.wav", "bad.wav", "cut.wav", "good.wav", "room.wav", "stdout.txt",
                            "stderr.txt", "long.env", "dry.env", "probe.wav"})
        std::remove(path(n).c_str());
    }
  }
  std::string path(const std::string &name) { return dir + SEP + name; }

  Render render(const std::string &args) {
    Render r;
    std::remove(path("room.wav").c_str());
    r.exitCode = run_program(args + " --out \"" + path("room.wav") + "\"", path("stdout.txt"), path("stderr.txt"));
    std::vector<uint8_t> o = read_file(path("stdout.txt")), e = read_file(path("stderr.txt"));
    r.out.assign(o.begin(), o.end());
    r.err.assign(e.begin(), e.end());
    std::vector<uint8_t> w = read_file(path("room.wav"));
    if (w.size() > 44) {
      uint32_t data = uint32_t(w[40]) | uint32_t(w[41]) << 8 | uint32_t(w[42]) << 16 | uint32_t(w[43]) << 24;
      size_t frames = std::min<size_t>(data, w.size() - 44) / 4;
      r.level.resize(frames);
      for (size_t f = 0; f < frames; ++f) {
        int16_t l, rr;
        std::memcpy(&l, &w[44 + 4 * f], 2);
        std::memcpy(&rr, &w[46 + 4 * f], 2);
        r.level[f] = float(std::max(std::abs(int(l)), std::abs(int(rr)))) / 32768.0f;
      }
    }
    return r;
  }

  // Where the render is audible: above `threshold`, with the longest
  // stretch below it in between (a gap), all in seconds.
  static Span span(const Render &r, float threshold) {
    Span s;
    size_t quiet = 0, longest = 0;
    long first = -1, last = -1;
    for (size_t f = 0; f < r.level.size(); ++f) {
      if (r.level[f] > threshold) {
        if (first < 0) first = long(f);
        if (last >= 0 && quiet > longest) longest = quiet;
        last = long(f);
        quiet = 0;
      } else {
        ++quiet;
      }
    }
    s.first = first / 48000.0;
    s.last = last / 48000.0;
    s.longestQuiet = longest / 48000.0;
    return s;
  }

  static double energy(const Render &r, double from, double to) {
    double e = 0;
    for (size_t f = size_t(from * 48000); f < size_t(to * 48000) && f < r.level.size(); ++f)
      e += double(r.level[f]) * r.level[f];
    return e;
  }
};

TEST_F(PlayerEndToEnd, APlaylistPlaysToTheEndGaplesslyWithTheExpectedLength) {
  write_file(path("a.wav"), tone_wav(44100, 2, 16, 1.0));
  write_file(path("b.wav"), tone_wav(22050, 1, 24, 1.0));
  for (const char *mode : {"classic", "new"}) {
    Render r = render("--room off --tail 0.3 --isfullstop " + std::string(mode) + " \"" + path("a.wav") + "\" \"" +
                      path("b.wav") + "\"");
    ASSERT_EQ(0, r.exitCode) << r.out << r.err;
    EXPECT_NE(std::string::npos, r.out.find("played 2 song(s)")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("rendered ")) << r.out;
    Span s = span(r, 0.05f);
    ASSERT_GE(s.first, 0.0) << "nothing audible in " << r.level.size() << " frames";
    // Two seconds of tone, joined without a gap: the only dip is where the
    // second song fades in over the end of the first (75 ms).
    EXPECT_NEAR(2.0, s.last - s.first, 0.12) << mode;
    EXPECT_LT(s.longestQuiet, 0.04) << mode;
    // The file holds the whole render: the music and the time around it.
    EXPECT_GT(double(r.level.size()) / 48000.0, s.last);
  }
}

TEST_F(PlayerEndToEnd, CorruptAndTruncatedFilesAreReportedAndTheNextPlays) {
  std::vector<uint8_t> garbage(3000, 0x5A);
  write_file(path("bad.wav"), garbage);
  write_file(path("cut.wav"), tone_wav(48000, 2, 16, 0.5, 1.0));
  write_file(path("good.wav"), tone_wav(32000, 2, 8, 1.0));
  Render r = render("--room off --tail 0.3 \"" + path("bad.wav") + "\" \"" + path("cut.wav") + "\" \"" +
                    path("good.wav") + "\"");
  EXPECT_EQ(1, r.exitCode) << "a file failed";
  EXPECT_NE(std::string::npos, r.err.find("bad.wav: not a WAV file (no RIFF/WAVE header); skipped")) << r.err;
  EXPECT_NE(std::string::npos, r.err.find("cut.wav: data chunk is cut short")) << r.err;
  EXPECT_NE(std::string::npos, r.err.find("1 file(s) failed, 2 played")) << r.err;
  Span s = span(r, 0.05f);
  EXPECT_NEAR(1.5, s.last - s.first, 0.12) << "half of the cut file and the whole good one";
}

TEST_F(PlayerEndToEnd, AStopEndsThePlaylistUnderBothConventions) {
  write_file(path("a.wav"), tone_wav(44100, 2, 16, 3.0));
  write_file(path("b.wav"), tone_wav(44100, 2, 16, 1.0));
  for (const char *mode : {"classic", "new"}) {
    Render r = render("--room off --tail 0.5 --at 0.8:stop --isfullstop " + std::string(mode) + " \"" +
                      path("a.wav") + "\" \"" + path("b.wav") + "\"");
    ASSERT_EQ(0, r.exitCode) << r.out << r.err;
    EXPECT_NE(std::string::npos, r.out.find("played 1 song(s)")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("stopped")) << r.out;
    Span s = span(r, 0.05f);
    // What was written before the stop may still be heard (up to the
    // plug-in's buffer), never the rest of the song or the next one.
    EXPECT_GT(s.last - s.first, 0.4) << mode;
    EXPECT_LT(s.last - s.first, 2.2) << mode;
  }
}

TEST_F(PlayerEndToEnd, APresetChosenBeforeStartIsHeardInTheReverb) {
  // A block as the plug-in stores it: from a first run's autosave.
  std::string settings = path("settings");
  write_file(path("a.wav"), tone_wav(44100, 2, 16, 0.5));
  Render first = render("--tail 0 --settings \"" + settings + "\" \"" + path("a.wav") + "\"");
  ASSERT_EQ(0, first.exitCode) << first.out << first.err;
  std::vector<uint8_t> block = read_file(settings + SEP + "SONORIUM" + SEP + "_autosave.env");
  ASSERT_EQ(572u, block.size());
  ASSERT_EQ(0, std::memcmp(block.data(), "env4", 4));
  auto set_i = [&](size_t at, int32_t v) { std::memcpy(&block[at], &v, 4); };
  auto set_f = [&](size_t at, float v) { std::memcpy(&block[at], &v, 4); };
  // A large hall: room and reverb at full level, a long decay.
  set_i(offsetof(PropertyBlock, room), 0);
  set_i(offsetof(PropertyBlock, reverb), 2000);
  set_f(offsetof(PropertyBlock, decayTime), 8.0f);
  for (int v = 0; v < 4; ++v) set_i(offsetof(PropertyBlock, eaxVoice) + size_t(v) * sizeof(EaxVoiceFields), 0);
  write_file(path("long.env"), block);
  // No room at all.
  set_i(offsetof(PropertyBlock, room), -10000);
  write_file(path("dry.env"), block);

  Render wet = render("--tail 1.5 --env \"" + path("long.env") + "\" \"" + path("a.wav") + "\"");
  Render dry = render("--tail 1.5 --env \"" + path("dry.env") + "\" \"" + path("a.wav") + "\"");
  ASSERT_EQ(0, wet.exitCode) << wet.out << wet.err;
  ASSERT_EQ(0, dry.exitCode) << dry.out << dry.err;
  EXPECT_NE(std::string::npos, wet.out.find("temporary folder")) << wet.out;
  Span d = span(dry, 0.05f);
  ASSERT_GE(d.last, 0.0);
  // From a little after the dry song has ended, for a second.
  double tail_wet = energy(wet, d.last + 0.15, d.last + 1.15);
  double tail_dry = energy(dry, d.last + 0.15, d.last + 1.15);
  EXPECT_GT(tail_wet, 1.0) << "no reverb tail after the song with the large-room preset";
  EXPECT_GT(tail_wet, 10.0 * tail_dry + 1e-9) << "wet " << tail_wet << " dry " << tail_dry;
}

TEST_F(PlayerEndToEnd, UsageErrorsAndHelp) {
  EXPECT_EQ(2, run_program("--bogus", path("stdout.txt"), path("stderr.txt")));
  std::vector<uint8_t> e = read_file(path("stderr.txt"));
  EXPECT_NE(std::string::npos, std::string(e.begin(), e.end()).find("unknown option --bogus"));
  EXPECT_EQ(2, run_program("", path("stdout.txt"), path("stderr.txt")));
  EXPECT_EQ(0, run_program("--help", path("stdout.txt"), path("stderr.txt")));
  std::vector<uint8_t> o = read_file(path("stdout.txt"));
  EXPECT_NE(std::string::npos, std::string(o.begin(), o.end()).find("--isfullstop"));
  // A missing preset is a clear failure before anything plays.
  EXPECT_EQ(1, run_program("--env \"" + path("none.env") + "\" --demo", path("stdout.txt"), path("stderr.txt")));
  e = read_file(path("stderr.txt"));
  EXPECT_NE(std::string::npos, std::string(e.begin(), e.end()).find("none.env: cannot open")) << std::string(e.begin(), e.end());
}

}  // namespace
