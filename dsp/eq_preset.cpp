#include "dsp/eq_preset.h"

#include <cstring>

#include "support/file.h"

namespace {

int32_t read_le32(const unsigned char *p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                              (static_cast<uint32_t>(p[2]) << 16) |
                              (static_cast<uint32_t>(p[3]) << 24));
}

void write_le32(unsigned char *p, int32_t v) {
  uint32_t u = static_cast<uint32_t>(v);
  p[0] = u & 0xFF;
  p[1] = (u >> 8) & 0xFF;
  p[2] = (u >> 16) & 0xFF;
  p[3] = u >> 24;
}

}  // namespace

int eq_preset_read(const char *path, EqSettings *settings) {
  HANDLE file = file_open_read(path, OPEN_EXISTING, 0);
  if (file == FILE_FAILED) return -1;
  unsigned char bytes[EQ_PRESET_BYTES];
  long got = file_read(file, bytes, sizeof bytes);
  file_close(file);
  if (got < 0) got = 0;
  // Only whole values are taken: a value cut off by the file's end stays.
  const int values = got < 4 ? 0 : static_cast<int>((got - 4) / 4);
  if (values >= 1) settings->preamp = read_le32(bytes + 4);
  for (int i = 0; i + 1 < values && i < EQ_BANDS; ++i)
    settings->bands[i] = read_le32(bytes + 8 + 4 * i);
  return 0;
}

int eq_preset_write(const char *path, const EqSettings *settings) {
  unsigned char bytes[EQ_PRESET_BYTES];
  std::memcpy(bytes, "eq10", 4);
  write_le32(bytes + 4, settings->preamp);
  for (int i = 0; i < EQ_BANDS; ++i) write_le32(bytes + 8 + 4 * i, settings->bands[i]);
  // Replaced whole or not at all: a failed save keeps the old preset.
  return file_save(path, bytes, sizeof bytes) == FILE_SAVED ? 0 : -1;
}
