// Unpacking of the packed scene models ("GLN" version 3): a 56-byte head
// (magic, version, unpacked size, the 16 offset classes) followed by a bit
// stream of 32-bit words read from the most significant bit down, with the
// literal bytes interleaved where the reader has got to.
#pragma once

#include <cstddef>
#include <cstdint>

enum : int {
  GLN_HEAD_BYTES = 56,
  GLN_VERSION = 3,
  GLN_CLASSES = 16,
  GLN_MAX_MATCH = 0xFFFF,  // a match length beyond 16 bits ends the stream
  GLN_MAX_DISTANCE_BITS = 16,
};

// The unpacked size the head announces, or -1 when the head is not a
// version 3 "GLN" head.
long gln_unpacked_size(const uint8_t *packed, size_t size);

// Unpacks into out (capacity bytes). Returns the unpacked length, or -1
// when the stream cannot be unpacked whole: a wrong head, an announced size
// above the capacity, a stream that ends early, a distance of 0 or one that
// reaches before the start, an offset class wider than 16 bits, more output
// than announced, or an end with a length other than the announced one.
// Nothing is read or written outside the two buffers.
long gln_unpack(const uint8_t *packed, size_t size, uint8_t *out, size_t capacity);
