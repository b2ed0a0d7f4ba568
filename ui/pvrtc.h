// PVRTC 4 bits-per-pixel images behind the 44-byte legacy PVR header,
// decoded to RGBA8 for the 3D view's textures.
#pragma once

#include <cstddef>
#include <cstdint>

enum : uint32_t {
  PVR_HEADER_BYTES = 44,
  PVR_FORMAT_PVRTC4 = 0x19,  // OpenGL PVRTC 4 bpp, no flags
};

// The header's eleven little-endian 32-bit fields.
struct PvrHeader {
  uint32_t headerSize;  // 44
  uint32_t height;
  uint32_t width;
  uint32_t mipmapCount;  // 0: only the top level
  uint32_t format;       // 0x19
  uint32_t dataSize;     // width * height / 2
  uint32_t bitCount;     // 4
  uint32_t masks[4];     // all 0
};

// Index of the 64-bit word of block (x, y) in an image of bw x bh blocks
// (powers of two): the bits of y and x interleaved with y in the lower
// position, the high bits of the larger dimension appended above.
uint32_t pvrtc_block_index(uint32_t x, uint32_t y, uint32_t bw, uint32_t bh);

// Decodes width * height / 2 bytes of block words into width * height * 4
// bytes of R, G, B, A, top row first. Width and height are powers of two,
// at least 8 each.
void pvrtc_decode_words(const uint8_t *words, int width, int height, uint8_t *rgba);

// Reads and checks the header of a stored image: 44-byte header size,
// format 0x19 without flags, 4 bits per pixel, no mip-maps, square
// power-of-two sides of 8..1024, a data size of width * height / 2 and at least
// that many bytes after the header. 0 when it can be decoded, -1 otherwise.
int pvrtc_read_header(const uint8_t *file, size_t size, PvrHeader *header);

// Decodes a stored image into rgba, which holds `capacity` bytes. 0 on
// success with the size in *width and *height; -1 (and nothing written)
// when the header is refused or the image does not fit.
int pvrtc_decode(const uint8_t *file, size_t size, uint8_t *rgba, size_t capacity, int *width, int *height);
