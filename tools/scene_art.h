// The pictures and shapes of the 3D view, drawn here and turned into the
// stored textures and packed models at build time.
#pragma once

#include <cstdint>
#include <vector>

// Texture `number` (0 floor 128 x 128, 1 left box, 2 right box, 3 listener,
// each 64 x 64) as RGBA8, top row first. Its side goes to *size.
std::vector<uint8_t> scene_art_texture(int number, int *size);

// Model `number` (SCENE_FLOOR, SCENE_LEFT_BOX, SCENE_RIGHT_BOX,
// SCENE_LISTENER) as its unpacked record: head, then triangles.
std::vector<uint8_t> scene_art_model(int number);
