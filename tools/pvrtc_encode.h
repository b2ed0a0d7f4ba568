// Our PVRTC 4 bpp encoder for the 3D view's textures. Colour B is always
// written in its opaque form, so every published decoder gives the same
// texels; translucency goes into colour A or into punch-through blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Encodes width x height RGBA8 pixels (top row first; sides powers of two,
// at least 8) into width * height / 2 bytes of block words. `rounds`
// passes adjust each block's two colours by single quantisation steps
// while that lowers the error of the texels they reach.
void pvrtc_encode_words(const uint8_t *rgba, int width, int height, uint8_t *words, int rounds = 4);

// The whole stored image: the 44-byte legacy header, then the words.
std::vector<uint8_t> pvrtc_encode_file(const uint8_t *rgba, int width, int height, int rounds = 4);

// Peak signal-to-noise ratio in dB of b against a over `pixels` RGBA
// pixels, over R, G, B (and A when with_alpha); 99 for identical images.
double rgba_psnr(const uint8_t *a, const uint8_t *b, size_t pixels, bool with_alpha);
