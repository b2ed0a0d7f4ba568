#include "host/live_output.h"

bool live_output_available(void) { return false; }

LiveOutput *live_output_open(const std::string &, std::string *error) {
  *error = "the Windows player plays on the system's DirectSound through the plug-in";
  return nullptr;
}

bool live_output_start(LiveOutput *, std::string *error) {
  *error = "no live output of the player's own on Windows";
  return false;
}

LiveStats live_output_finish(LiveOutput *) { return LiveStats(); }
