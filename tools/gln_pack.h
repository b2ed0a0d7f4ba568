// Our packer for the scene models: writes the "GLN" version 3 stream that
// gln_unpack reads, choosing literals and matches by the cheapest parse.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The 16 offset classes: classes 0..7 serve matches of length 2, 8..15
// longer ones. A class covers distances base .. base + 2^bits - 1.
struct GlnClasses {
  uint8_t bits[16];  // 1..16
  uint16_t base[16];
};

// Classes that suit inputs of a few kilobytes: short matches reach 256
// bytes back, longer ones 2430.
GlnClasses gln_default_classes(void);

// Packs `size` bytes (at most 16 MiB). The result always unpacks to the
// input.
std::vector<uint8_t> gln_pack(const uint8_t *data, size_t size);
std::vector<uint8_t> gln_pack(const uint8_t *data, size_t size, const GlnClasses &classes);
