#include "support/format_text.h"

#include <cfloat>
#include <cstring>
#if !defined(__i386__) && !defined(__x86_64__)
#include <cmath>
#endif

#include "support/heap.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "arguments are read as little-endian values");
static_assert(LDBL_MANT_DIG == 64 && sizeof(long double) >= 10, "floats are converted in 80-bit extended precision");

namespace {

// The per-call scratch: the digits of one number, its zero-padded digit
// string and the finished field (sign, grouped digits, fraction). The widest
// field is 448 digits with 447 separators, a sign, a decimal separator and 18
// fractional digits (915 bytes), which the field area holds; space padding is
// written straight to the destination.
constexpr size_t kScratchSize = 2048;
constexpr size_t kDigitsAt = 0;      // up to 80 binary digits of a 10-byte value
constexpr size_t kPaddedAt = 96;     // FORMAT_ZERO_PAD_MAX bytes
constexpr size_t kFieldAt = kPaddedAt + FORMAT_ZERO_PAD_MAX;
constexpr size_t kFieldSize = 1024;
static_assert(kFieldAt + kFieldSize <= kScratchSize, "scratch layout");
static_assert(2 * FORMAT_ZERO_PAD_MAX + 2 + FORMAT_PRECISION_MAX <= kFieldSize, "widest field fits");

constexpr int kFractionDigits = 18;
// 18 fractional digits, one integral digit and up to 39 further ones.
constexpr int kFloatDigitsMax = 58;
// Numbers in the format saturate here, well above every clamp.
constexpr int kNumberCap = 1 << 20;

// x87 control word for the digit loop: every exception masked, 64-bit
// mantissa, rounding toward minus infinity.
constexpr uint16_t kX87RoundDown = 0x077F;

struct Directive {
  int size = 4;
  bool suppress = false;
  bool left = false;
  bool indirect = false;
  bool plus = false;
  int zeroPad = 0;
  int spacePad = 0;
  char groupChar = ' ';
  int groupSize = 0;
  char decimalChar = '.';
  int precision = 0;
};

// Reads the packed arguments in order. A null array or a null indirect
// pointer reads as zeros instead of faulting.
struct ArgCursor {
  const unsigned char *base;
  size_t offset;
};

const unsigned char kZeros[16] = {};

const unsigned char *next_arg(ArgCursor *c, size_t size, bool indirect) {
  size_t take = indirect ? FORMAT_POINTER_SIZE : size;
  const unsigned char *at = c->base ? c->base + c->offset : nullptr;
  c->offset += take;
  if (!at) return kZeros;
  if (!indirect) return at;
  const void *target;
  std::memcpy(&target, at, sizeof target);
  return target ? static_cast<const unsigned char *>(target) : kZeros;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reads a decimal number at *f (possibly empty, giving 0) and moves past it.
int read_number(const char **f) {
  int n = 0;
  while (is_digit(**f)) {
    n = n * 10 + (**f - '0');
    if (n > kNumberCap) n = kNumberCap;
    ++*f;
  }
  return n;
}

char digit_char(unsigned v, bool upper) {
  if (v < 10) return char('0' + v);
  return char((upper ? 'A' : 'a') + (v - 10));
}

// Digits of an n-byte little-endian magnitude in base, least significant
// first, by repeated long division; the magnitude is consumed. Zero gives one
// digit.
int magnitude_digits(unsigned char *mag, int n, unsigned base, bool upper, char *rev) {
  int count = 0;
  bool more = true;
  while (more) {
    unsigned rem = 0;
    more = false;
    for (int i = n - 1; i >= 0; --i) {
      unsigned cur = (rem << 8) | mag[i];
      mag[i] = static_cast<unsigned char>(cur / base);
      rem = cur % base;
      if (mag[i]) more = true;
    }
    rev[count++] = digit_char(rem, upper);
  }
  return count;
}

// Sign, zero-padded and grouped integral digits (most significant first),
// then the decimal separator and the fraction when there is one.
size_t build_field(const Directive &d, const char *digits, int n, bool negative, const char *fraction,
                   int fractionCount, bool hasFraction, char *scratch) {
  char *padded = scratch + kPaddedAt;
  char *field = scratch + kFieldAt;
  int zeroPad = d.zeroPad > FORMAT_ZERO_PAD_MAX ? FORMAT_ZERO_PAD_MAX : d.zeroPad;
  int len = 0;
  for (; len < zeroPad - n; ++len) padded[len] = '0';
  std::memcpy(padded + len, digits, size_t(n));
  len += n;

  size_t out = 0;
  if (negative)
    field[out++] = '-';
  else if (d.plus)
    field[out++] = '+';
  for (int i = 0; i < len; ++i) {
    if (d.groupSize > 0 && i > 0 && (len - i) % d.groupSize == 0) field[out++] = d.groupChar;
    field[out++] = padded[i];
  }
  if (hasFraction) {
    field[out++] = d.decimalChar;
    std::memcpy(field + out, fraction, size_t(fractionCount));
    out += size_t(fractionCount);
  }
  return out;
}

// Writes a field with its space padding, unless the directive suppresses it.
char *emit(char *out, const Directive &d, const char *field, size_t len) {
  if (d.suppress) return out;
  size_t width = d.spacePad > FORMAT_SPACE_PAD_MAX ? FORMAT_SPACE_PAD_MAX : size_t(d.spacePad);
  size_t pad = width > len ? width - len : 0;
  if (!d.left) {
    std::memset(out, ' ', pad);
    out += pad;
  }
  std::memcpy(out, field, len);
  out += len;
  if (d.left) {
    std::memset(out, ' ', pad);
    out += pad;
  }
  return out;
}

char *convert_integer(char *out, const Directive &d, char letter, ArgCursor *args, char *scratch) {
  // Sizes are 1, 2, 4, 8 or 10 bytes; any is read as a two's-complement value.
  int size = d.size;
  unsigned char mag[10] = {};
  std::memcpy(mag, next_arg(args, size_t(size), d.indirect), size_t(size));

  bool isSigned = letter == 'i' || letter == 'h' || letter == 'H';
  bool negative = isSigned && (mag[size - 1] & 0x80);
  if (negative) {
    unsigned carry = 1;
    for (int i = 0; i < size; ++i) {
      unsigned v = unsigned(static_cast<unsigned char>(~mag[i])) + carry;
      mag[i] = static_cast<unsigned char>(v);
      carry = v >> 8;
    }
  }
  unsigned base = (letter == 'b') ? 2 : (letter == 'd' || letter == 'i') ? 10 : 16;
  bool upper = letter == 'X' || letter == 'H';

  char *rev = scratch + kDigitsAt;
  int n = magnitude_digits(mag, size, base, upper, rev);
  char digits[80];
  for (int i = 0; i < n; ++i) digits[i] = rev[n - 1 - i];
  size_t len = build_field(d, digits, n, negative, nullptr, 0, false, scratch);
  return emit(out, d, scratch + kFieldAt, len);
}

#if defined(__i386__) || defined(__x86_64__)
uint16_t x87_control_word() {
  uint16_t cw;
  __asm__ __volatile__("fnstcw %0" : "=m"(cw) : : "memory");
  return cw;
}
// Clears the exception flags first, so that loading a control word with
// unmasked exceptions cannot trap on flags the conversion raised.
void x87_load_control_word(uint16_t cw) { __asm__ __volatile__("fnclex\n\tfldcw %0" : : "m"(cw) : "memory"); }

// The integer part under the current rounding mode (down: the floor).
long double x87_round(long double v) {
  __asm__("frndint" : "+t"(v));
  return v;
}
long double x87_remainder(long double v, long double divisor) {
  __asm__(
      "1:\n\t"
      "fprem\n\t"
      "fnstsw %%ax\n\t"
      "testb $4, %%ah\n\t"
      "jnz 1b"
      : "+t"(v)
      : "u"(divisor)
      : "ax", "cc");
  return v;
}
#else
uint16_t x87_control_word() { return 0; }
void x87_load_control_word(uint16_t) {}
long double x87_round(long double v) { return std::floor(v); }
long double x87_remainder(long double v, long double divisor) { return std::fmod(v, divisor); }
#endif

// The digits of magnitude * 10^18, least significant first: 18 fractional
// digits, one integral digit, and further integral digits while the value
// left is above 0. Runs with the rounding mode set to down, so neither the
// scaling nor a quotient rounds up into the next digit. Kept out of line so
// that none of its arithmetic moves across the control-word changes around
// the call.
__attribute__((noinline, noclone)) int float_digits(const long double *magnitude, char *rev) {
  long double v = *magnitude * 1e18L;
  int n = 0;
  while (n < kFloatDigitsMax) {
    long double whole = x87_round(v);
    if (n > kFractionDigits && !(whole > 0)) break;
    long double r = x87_remainder(whole, 10.0L);
    // Only an overflow to infinity leaves r outside 0..9.
    rev[n++] = (r >= 0 && r < 10) ? char(int(r)) : 0;
    v = whole / 10.0L;
  }
  return n;
}

char *convert_float(char *out, const Directive &d, ArgCursor *args, char *scratch) {
  long double value = 0;
  if (d.size == 10) {
    std::memcpy(&value, next_arg(args, 10, d.indirect), 10);
  } else if (d.size == 8) {
    double v;
    std::memcpy(&v, next_arg(args, 8, d.indirect), 8);
    value = v;
  } else {
    float v;
    std::memcpy(&v, next_arg(args, 4, d.indirect), 4);
    value = v;
  }

  bool negative = value < 0;
  long double magnitude = negative ? -value : value;
  // NaN and infinity have no digits; the digit loop would write garbage.
  if (magnitude != magnitude || magnitude > LDBL_MAX) {
    const char *word = magnitude != magnitude ? "nan" : "inf";
    char *field = scratch + kFieldAt;
    size_t len = 0;
    if (negative && magnitude == magnitude)
      field[len++] = '-';
    else if (d.plus && magnitude == magnitude)
      field[len++] = '+';
    std::memcpy(field + len, word, 3);
    return emit(out, d, field, len + 3);
  }

  char *rev = scratch + kDigitsAt;
  uint16_t saved = x87_control_word();
  x87_load_control_word(kX87RoundDown);
  int n = float_digits(&magnitude, rev);
  x87_load_control_word(saved);

  // Round half up at the precision, looking only at the first dropped digit.
  int precision = d.precision > FORMAT_PRECISION_MAX ? FORMAT_PRECISION_MAX : d.precision;
  int keep = kFractionDigits - precision;  // index of the last kept digit
  if (precision < kFractionDigits && rev[keep - 1] >= 5) {
    int i = keep;
    while (i < n && rev[i] == 9) rev[i++] = 0;
    if (i < n)
      ++rev[i];
    else
      rev[n++] = 1;
  }

  // Integral digits without leading zeros (the value 0 keeps one).
  int top = n - 1;
  while (top > kFractionDigits && rev[top] == 0) --top;
  char digits[kFloatDigitsMax + 1];
  int count = 0;
  for (int i = top; i >= kFractionDigits; --i) digits[count++] = char('0' + rev[i]);
  char fraction[kFractionDigits];
  for (int i = 0; i < precision; ++i) fraction[i] = char('0' + rev[kFractionDigits - 1 - i]);

  size_t len = build_field(d, digits, count, negative, fraction, precision, true, scratch);
  return emit(out, d, scratch + kFieldAt, len);
}

char *convert_string(char *out, const Directive &d, ArgCursor *args) {
  // A suppressed string leaves its argument for the next directive.
  if (d.suppress) return out;
  const char *s;
  std::memcpy(&s, next_arg(args, FORMAT_POINTER_SIZE, d.indirect), sizeof s);
  if (!s) return out;
  size_t len = std::strlen(s);
  std::memcpy(out, s, len);
  return out + len;
}

}  // namespace

extern "C" void format_text(char *dest, const char *format, const void *args) {
  char *scratch = static_cast<char *>(heap_alloc_zeroed(kScratchSize));
  if (!scratch) {
    dest[0] = 0;
    return;
  }
  ArgCursor cursor = {static_cast<const unsigned char *>(args), 0};
  char *out = dest;
  const char *f = format;
  while (*f) {
    if (*f != '%') {
      *out++ = *f++;
      continue;
    }
    ++f;
    if (*f == '%') {
      *out++ = '%';
      ++f;
      continue;
    }
    Directive d;
    bool done = false;
    // A NUL inside the directive ends it; the outer loop then ends too.
    while (!done && *f) {
      char c = *f++;
      switch (c) {
        case 'B': d.size = 1; break;
        case 'W': d.size = 2; break;
        case 'D': d.size = 4; break;
        case 'Q': d.size = 8; break;
        case 'T': d.size = 10; break;
        case '!': d.suppress = true; break;
        case '-': d.left = true; break;
        case '*': d.indirect = true; break;
        case '+': d.plus = true; break;
        case '0': d.zeroPad = read_number(&f); break;
        case '1': case '2': case '3': case '4': case '5':
        case '6': case '7': case '8': case '9':
          --f;
          d.spacePad = read_number(&f);
          break;
        case '#':
          if (*f && !is_digit(*f)) d.groupChar = *f++;
          d.groupSize = read_number(&f);
          break;
        case '.':
          if (*f && !is_digit(*f)) d.decimalChar = *f++;
          d.precision = read_number(&f);
          break;
        case 'd': case 'i': case 'x': case 'X': case 'h': case 'H': case 'b':
          out = convert_integer(out, d, c, &cursor, scratch);
          done = true;
          break;
        case 'f':
          out = convert_float(out, d, &cursor, scratch);
          done = true;
          break;
        case 's':
          out = convert_string(out, d, &cursor);
          done = true;
          break;
        default:
          break;
      }
    }
  }
  *out = 0;
  heap_release(scratch);
}

void text_args_clear(TextArgs *args) { args->size = 0; }

void text_args_put(TextArgs *args, const void *value, size_t size) {
  if (size > sizeof args->bytes - args->size) return;
  std::memcpy(args->bytes + args->size, value, size);
  args->size += size;
}
