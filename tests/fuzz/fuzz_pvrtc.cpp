// The texture decoder on any bytes: a header it accepts must decode within
// the buffer it was given; anything else is refused without writing.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "ui/pvrtc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  PvrHeader h;
  bool accepted = pvrtc_read_header(data, size, &h) == 0;
  // Exactly the image's size when accepted (or a quarter of it, which must
  // be refused); a small buffer otherwise.
  size_t capacity = 256;
  if (accepted) {
    capacity = size_t(h.width) * h.height * 4;
    if (size && (data[size - 1] & 1)) capacity /= 4;
  }
  std::vector<uint8_t> rgba(capacity, 0xA5);
  int width = -1, height = -1;
  int r = pvrtc_decode(data, size, rgba.data(), rgba.size(), &width, &height);
  if (r == 0) {
    if (!accepted || size_t(width) * size_t(height) * 4 > capacity) __builtin_trap();
  } else {
    for (uint8_t b : rgba)
      if (b != 0xA5) __builtin_trap();  // a refused image writes nothing
  }
  return 0;
}
