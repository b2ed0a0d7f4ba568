// The text formatter with any format and any argument bytes: the input is
// the format up to its first NUL, then the packed arguments. Conversions
// that follow pointers (%s and the * prefix) are turned into numeric ones,
// since their argument would be a pointer made of input bytes; every other
// directive, prefix and width combination is left as it comes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "support/format_text.h"

namespace {
const size_t kFormatMax = 512;
// The most one directive can add to the output: a space-padded field of at
// most FORMAT_SPACE_PAD_MAX characters or a 448-digit number with grouping
// and sign, well within this.
const size_t kPerDirective = 2048;
// The largest argument a directive takes (T: 10 bytes).
const size_t kArgMax = 10;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  size_t len = 0;
  while (len < size && len < kFormatMax && data[len] != 0) ++len;
  std::vector<char> format(data, data + len);
  size_t directives = 0;
  for (char &c : format) {
    if (c == 's') c = 'd';
    if (c == '*') c = '+';
    if (c == '%') ++directives;
  }
  format.push_back(0);

  const uint8_t *arg_bytes = len < size ? data + len + 1 : data + size;
  size_t arg_size = size_t(data + size - arg_bytes);
  // Arguments the format reads past the input are zero, as a caller's
  // record that holds fewer values than its format names would not be.
  std::vector<uint8_t> args(arg_size + kArgMax * (directives + 1), 0);
  if (arg_size) std::memcpy(args.data(), arg_bytes, arg_size);

  std::vector<char> dest(len + 1 + kPerDirective * (directives + 1), 'x');
  format_text(dest.data(), format.data(), args.data());
  size_t written = strnlen(dest.data(), dest.size());
  if (written >= dest.size()) __builtin_trap();  // no terminating NUL
  return 0;
}
