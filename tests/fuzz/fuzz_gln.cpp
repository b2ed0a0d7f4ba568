// The model unpacker on any bytes: refused or unpacked to exactly the size
// its head announces, never touching memory outside the two buffers. The
// output buffer is exactly the announced size, so a write past it is seen.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ui/gln.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  long announced = gln_unpacked_size(data, size);
  // Also a buffer that is too small: the unpacker must refuse, not overrun.
  // Announced sizes above 64 KB get 64 KB, which the unpacker must refuse.
  size_t capacity = announced < 0 ? 64 : size_t(announced);
  if (announced > 0 && (data[size / 2] & 1)) capacity /= 2;
  if (capacity > (1 << 16)) capacity = 1 << 16;
  std::vector<uint8_t> out(capacity);
  long got = gln_unpack(data, size, out.data(), out.size());
  if (got >= 0 && got != announced) __builtin_trap();
  if (got > long(capacity)) __builtin_trap();
  return 0;
}
