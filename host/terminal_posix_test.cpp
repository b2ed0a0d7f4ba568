// Keys on a terminal: the escape sequences, and the real player on a
// pseudo-terminal, in raw mode while it plays and restored however it ends.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/terminal.h"

namespace {

std::vector<TimedAction> decode(const std::string &bytes) {
  KeyDecoder d;
  std::vector<TimedAction> out;
  TimedAction a;
  for (char c : bytes)
    if (d.feed(static_cast<unsigned char>(c), &a)) out.push_back(a);
  return out;
}

TEST(KeyDecoder, KeysAndArrowsInEveryFormTerminalsSend) {
  std::vector<TimedAction> a = decode(std::string(" q\x1b[C\x1b[D\x1bOC\x1b[1;5D") + "Q");
  ASSERT_EQ(7u, a.size());
  EXPECT_EQ(ActionKind::TogglePause, a[0].kind);
  EXPECT_EQ(ActionKind::Stop, a[1].kind);
  EXPECT_EQ(ActionKind::SeekBy, a[2].kind);
  EXPECT_EQ(10000, a[2].value);
  EXPECT_EQ(-10000, a[3].value);
  EXPECT_EQ(10000, a[4].value) << "application-mode arrow";
  EXPECT_EQ(-10000, a[5].value) << "arrow with a modifier";
  EXPECT_EQ(ActionKind::Stop, a[6].kind);
  // Up and down arrows and other letters do nothing; an escape that starts
  // no sequence takes only the byte after it.
  a = decode("\x1b[A\x1b[Bxz\x1b q");
  ASSERT_EQ(1u, a.size());
  EXPECT_EQ(ActionKind::Stop, a[0].kind);
}

// The player on a pseudo-terminal, playing live on the null device.
class PlayerOnTerminal : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/sonorium-tty-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir_ = pattern;
    SF_INFO info = {};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE *f = sf_open((dir_ + "/song.wav").c_str(), SFM_WRITE, &info);
    ASSERT_NE(nullptr, f);
    std::vector<short> s(44100 * 2 * 20);
    for (size_t i = 0; i < s.size(); ++i) s[i] = short(8000 * std::sin(double(i / 2) * 0.0627));
    sf_writef_short(f, s.data(), sf_count_t(s.size() / 2));
    sf_close(f);
  }
  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
    std::string cmd = "rm -rf '" + dir_ + "'";
    if (std::system(cmd.c_str()) != 0) ADD_FAILURE() << "cannot remove " << dir_;
  }

  void start() {
    int slave = -1;
    ASSERT_EQ(0, openpty(&master_, &slave, nullptr, nullptr, nullptr));
    tcgetattr(slave, &before_);
    pid_ = fork();
    ASSERT_GE(pid_, 0);
    if (pid_ == 0) {
      setsid();
      dup2(slave, 0);
      dup2(slave, 1);
      dup2(slave, 2);
      close(master_);
      std::string song = dir_ + "/song.wav";
      execl(SONORIUM_PLAYER_PATH, SONORIUM_PLAYER_PATH, "--settings", dir_.c_str(), "--device", "null", "--tail", "0",
            song.c_str(), static_cast<char *>(nullptr));
      _exit(127);
    }
    slave_ = slave;
  }

  // Reads what the player wrote until `text` shows or `seconds` pass.
  bool wait_for(const std::string &text, double seconds) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
      if (output_.find(text) != std::string::npos) return true;
      struct pollfd p = {master_, POLLIN, 0};
      if (poll(&p, 1, 50) > 0) {
        char buf[512];
        ssize_t n = read(master_, buf, sizeof buf);
        if (n > 0) output_.append(buf, size_t(n));
      }
    }
    return output_.find(text) != std::string::npos;
  }

  bool raw_now() {
    struct termios t;
    tcgetattr(slave_, &t);
    return (t.c_lflag & (ICANON | ECHO)) == 0;
  }

  int finish() {
    int status = 0;
    for (int i = 0; i < 200 && waitpid(pid_, &status, WNOHANG) == 0; ++i) {
      wait_for("\x01", 0.05);  // keep the terminal drained
    }
    pid_ = -1;
    return status;
  }

  std::string dir_, output_;
  int master_ = -1, slave_ = -1;
  pid_t pid_ = -1;
  struct termios before_;
};

TEST_F(PlayerOnTerminal, KeysPauseAndStopAndTheTerminalIsRestored) {
  start();
  ASSERT_TRUE(wait_for("keys: space pauses", 10.0)) << output_;
  EXPECT_TRUE(raw_now());
  ASSERT_TRUE(wait_for("0:01 / 0:20", 10.0)) << "the progress line shows the time and the length";
  ASSERT_EQ(1, write(master_, " ", 1));
  EXPECT_TRUE(wait_for("(paused)", 5.0)) << output_;
  ASSERT_EQ(1, write(master_, " ", 1));
  ASSERT_EQ(3, write(master_, "\x1b[C", 3));
  EXPECT_TRUE(wait_for("seek by +10.0 s", 5.0)) << output_;
  ASSERT_EQ(1, write(master_, "q", 1));
  int status = finish();
  ASSERT_TRUE(WIFEXITED(status)) << output_;
  EXPECT_EQ(0, WEXITSTATUS(status));
  EXPECT_NE(std::string::npos, output_.find("stopped")) << output_;
  EXPECT_FALSE(raw_now()) << "raw mode left on after a stop";
}

TEST_F(PlayerOnTerminal, ASignalRestoresTheTerminal) {
  start();
  ASSERT_TRUE(wait_for("keys: space pauses", 10.0)) << output_;
  ASSERT_TRUE(raw_now());
  kill(pid_, SIGTERM);
  int status = finish();
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "dies of the signal, as without raw mode";
  EXPECT_FALSE(raw_now()) << "raw mode left on after SIGTERM";
}

}  // namespace
