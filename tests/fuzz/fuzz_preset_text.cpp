// The preset tool's readers on any input: the first byte picks the kind
// (.env or .eq), the rest is the text description, and also the bytes of a
// preset file. Accepted text must print back to text that reads to the
// same bytes; a refused one must leave the starting state untouched and
// name a line within the text.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "tools/preset_text.h"

namespace {

template <class T>
bool same_bytes(const T &a, const T &b) {
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}

int line_count(const char *text, size_t size) {
  int lines = 1;
  for (size_t i = 0; i < size; ++i) lines += text[i] == '\n';
  return lines;
}

void check_env(const char *text, size_t size) {
  PropertyBlock start, b;
  env_block_defaults(&start);
  b = start;
  PresetError error{0, ""};
  if (!env_block_from_text(text, size, &b, &error)) {
    if (!same_bytes(b, start) || error.message.empty()) __builtin_trap();
    if (error.line < 0 || error.line > line_count(text, size)) __builtin_trap();
    return;
  }
  std::string again = env_block_to_text(b);
  PropertyBlock c = start;
  if (!env_block_from_text(again.data(), again.size(), &c, &error) || !same_bytes(b, c)) __builtin_trap();
  if (!env_block_range_problems(b).empty()) __builtin_trap();
}

void check_eq(const char *text, size_t size) {
  EqSettings start, s;
  eq_settings_defaults(&start);
  s = start;
  PresetError error{0, ""};
  if (!eq_settings_from_text(text, size, &s, &error)) {
    if (!same_bytes(s, start) || error.message.empty()) __builtin_trap();
    if (error.line < 0 || error.line > line_count(text, size)) __builtin_trap();
    return;
  }
  std::string again = eq_settings_to_text(s);
  EqSettings t = start;
  if (!eq_settings_from_text(again.data(), again.size(), &t, &error) || !same_bytes(s, t)) __builtin_trap();
  if (!eq_settings_range_problems(s).empty()) __builtin_trap();
}

// What "sonorium_preset print" does with a file's bytes.
void print_bytes(const uint8_t *data, size_t size) {
  PropertyBlock b;
  EqSettings s;
  PresetError error{0, ""};
  if (env_block_from_bytes(data, size, &b, &error)) {
    std::string text = env_block_to_text(b);
    env_block_range_problems(b);
  }
  if (eq_settings_from_bytes(data, size, &s, &error)) {
    std::string text = eq_settings_to_text(s);
    eq_settings_range_problems(s);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  const char *text = reinterpret_cast<const char *>(data + 1);
  if (data[0] & 1)
    check_eq(text, size - 1);
  else
    check_env(text, size - 1);
  print_bytes(data + 1, size - 1);
  return 0;
}
