// PNG writer: 8-bit RGB or RGBA images, compressed with our own deflate
// (fixed Huffman codes over an LZ77 matcher), checksums included.
// Results are 0 on success and -1 on failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Encodes `height` rows of `width` pixels; each row starts `stride` bytes
// after the previous one and holds `channels` bytes per pixel (3: R,G,B;
// 4: R,G,B,A). `out` receives the whole file; it is left empty on failure
// (no pixels, a size of 0, other channel counts, a stride shorter than a
// row, an image too large for one PNG data chunk).
int png_encode(const uint8_t *pixels, int width, int height, int stride, int channels, std::vector<uint8_t> &out);

// The same, written to `path` (replaced when it exists). A file that could
// not be written whole is removed.
int png_write_file(const char *path, const uint8_t *pixels, int width, int height, int stride, int channels);

// The pieces, for the tests and for other writers of zlib data.
//
// CRC-32 (the polynomial of PNG and zlib, reflected 0xEDB88320) of `size`
// bytes, continuing from `crc` (0 to start).
uint32_t png_crc32(const uint8_t *data, size_t size, uint32_t crc = 0);
// Adler-32 of `size` bytes, continuing from `adler` (1 to start).
uint32_t png_adler32(const uint8_t *data, size_t size, uint32_t adler = 1);
// A zlib stream (header, one fixed-Huffman deflate block, Adler-32) of the
// data, appended to `out`.
void png_zlib_compress(const uint8_t *data, size_t size, std::vector<uint8_t> &out);
