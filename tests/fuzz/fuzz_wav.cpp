// The player's WAV reader on any bytes: it must never read outside them,
// and what it accepts must be something the plug-in can be opened with.
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/wav.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  WavAudio audio;
  std::string message;
  WavResult r = wav_parse(data, size, &audio, &message);
  if (r == WavResult::Failed) {
    if (message.empty()) __builtin_trap();  // a refusal says why
    return 0;
  }
  bool format_ok = audio.rate > 0 && (audio.channels == 1 || audio.channels == 2) &&
                   (audio.bits == 8 || audio.bits == 16 || audio.bits == 24);
  if (!format_ok) __builtin_trap();
  if (audio.pcm.size() % size_t(audio.frame_bytes()) != 0) __builtin_trap();
  return 0;
}
