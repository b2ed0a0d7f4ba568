#include "host/terminal.h"

namespace {
const int64_t SEEK_STEP_MS = 10000;
}

bool KeyDecoder::feed(unsigned char byte, TimedAction *out) {
  TimedAction a;
  if (state_ == 1) {
    state_ = (byte == '[' || byte == 'O') ? 2 : 0;
    return false;
  }
  if (state_ == 2) {
    // Parameters of a longer sequence (ESC [ 1 ; 5 C) are skipped up to the
    // final byte.
    if ((byte >= '0' && byte <= '9') || byte == ';') return false;
    state_ = 0;
    if (byte != 'C' && byte != 'D') return false;
    a.kind = ActionKind::SeekBy;
    a.value = byte == 'C' ? SEEK_STEP_MS : -SEEK_STEP_MS;
    *out = a;
    return true;
  }
  switch (byte) {
    case 0x1B:
      state_ = 1;
      return false;
    case ' ':
      a.kind = ActionKind::TogglePause;
      break;
    case 'q':
    case 'Q':
      a.kind = ActionKind::Stop;
      break;
    default:
      return false;
  }
  *out = a;
  return true;
}
