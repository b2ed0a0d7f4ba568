// Reading WAV files into PCM the plug-in can be opened with: 8, 16 or 24
// bits, one or two channels, any rate. Plain PCM and WAVE_FORMAT_EXTENSIBLE
// are read; 32-bit integer and 32-bit float samples are reduced to 24 bits
// and more than two channels are mixed down to stereo, since the plug-in
// takes neither.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct WavAudio {
  int rate = 0;
  int channels = 0;  // 1 or 2 after the mixdown
  int bits = 0;      // 8, 16 or 24
  std::vector<uint8_t> pcm;  // interleaved, little-endian, as Write takes it

  int frame_bytes() const { return channels * bits / 8; }
  int64_t frames() const { return frame_bytes() ? int64_t(pcm.size()) / frame_bytes() : 0; }
  double seconds() const { return rate ? double(frames()) / rate : 0.0; }
};

enum class WavResult {
  Ok,         // read whole
  Truncated,  // the data chunk is cut short: what is there was read
  Failed      // nothing usable; see the message
};

// Parses a whole file held in memory. On Failed, `message` says what is
// wrong; on Truncated it says what is missing. Never reads outside bytes.
WavResult wav_parse(const uint8_t *bytes, size_t size, WavAudio *out, std::string *message);

// Reads and parses the file at path.
WavResult wav_read_file(const std::string &path, WavAudio *out, std::string *message);

// Builds a canonical PCM WAV file (16-byte fmt chunk) around interleaved
// samples; for the demo songs and the tests.
std::vector<uint8_t> wav_build(int rate, int channels, int bits, const std::vector<uint8_t> &pcm);
