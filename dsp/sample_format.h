// How one channel lies in a sample buffer, as a small code of bits.
#pragma once

#include <cstdint>

typedef uint32_t SampleFormat;

enum : uint32_t {
  SAMPLE_CHANNEL_RIGHT = 1,  // second channel of an interleaved pair
  SAMPLE_STEREO = 2,         // interleaved pair; clear: one sample after another
  SAMPLE_LANES16 = 4,        // 16-bit lanes when merging into a 16-bit pair
  SAMPLE_FLOAT = 8,          // 32-bit floats; clear: signed 16-bit integers
};

// The engine's two formats: 16-bit interleaved stereo, left and right.
constexpr SampleFormat SAMPLE_S16_STEREO_LEFT = 6;
constexpr SampleFormat SAMPLE_S16_STEREO_RIGHT = 7;
