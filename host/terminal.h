// Keys from the terminal while a song plays: space pauses and resumes, the
// left and right arrows seek 10 s back and on, q stops. The terminal is put
// into raw mode (no echo, a key at a time) and restored on every way out:
// a normal end, exit(), and the signals that end the program.
#pragma once

#include "host/options.h"

// Raw mode when standard input is a terminal; false (and nothing changed)
// otherwise.
bool terminal_keys_begin(void);
// Restores the terminal (if terminal_keys_begin changed it).
void terminal_keys_end(void);
// The next key's action, without waiting; false when no key is pending.
bool terminal_key_action(TimedAction *out);

// Turns the bytes of keys into actions; kept apart from the terminal so the
// escape sequences can be tested. Feed one byte at a time.
class KeyDecoder {
 public:
  // True when `byte` completes a key with an action.
  bool feed(unsigned char byte, TimedAction *out);

 private:
  int state_ = 0;  // 0 plain, 1 after ESC, 2 after ESC [ or ESC O
};
