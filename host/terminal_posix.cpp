#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>

#include "host/terminal.h"

namespace {

struct termios saved;
volatile sig_atomic_t raw_on = 0;
KeyDecoder decoder;
const int SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};

void restore(void) {
  if (raw_on) {
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    raw_on = 0;
  }
}

// Puts the terminal back, then dies of the signal as it would have.
void on_signal(int sig) {
  restore();
  signal(sig, SIG_DFL);
  raise(sig);
}

}  // namespace

bool terminal_keys_begin(void) {
  if (raw_on || !isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved) != 0) return false;
  struct termios raw = saved;
  // Keys one at a time without echo; signals (Ctrl-C) still work.
  raw.c_lflag &= tcflag_t(~(ICANON | ECHO));
  raw.c_cc[VMIN] = 0;
  raw.c_cc[VTIME] = 0;
  static bool hooked = false;
  if (!hooked) {
    std::atexit(restore);
    for (int sig : SIGNALS) {
      struct sigaction sa = {};
      sa.sa_handler = on_signal;
      sigemptyset(&sa.sa_mask);
      sigaction(sig, &sa, nullptr);
    }
    hooked = true;
  }
  if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) return false;
  raw_on = 1;
  return true;
}

void terminal_keys_end(void) { restore(); }

bool terminal_key_action(TimedAction *out) {
  if (!raw_on) return false;
  unsigned char byte;
  while (read(STDIN_FILENO, &byte, 1) == 1)
    if (decoder.feed(byte, out)) return true;
  return false;
}
