#include "host/audio_file.h"

WavResult audio_read_file(const std::string &path, WavAudio *out, std::string *message) {
  return wav_read_file(path, out, message);
}

const char *audio_file_formats(void) {
  return "WAV files (8, 16 or 24 bits, also 32-bit and float, mono, stereo or more\n"
         "channels, any rate from 1000 to 384000 Hz).";
}
