// The plug-in's own printf-like formatter. Every label, caption, tooltip and
// report line is built with it.
//
// Arguments lie packed one after another in a byte array, in the order of the
// directives, each taking exactly its size (little-endian, no alignment):
// integers 1, 2, 4 or 8 bytes by the size prefix (default 4; T reads a
// 10-byte two's-complement integer), floats 4, 8 or 10 bytes (single, double,
// 80-bit extended; default 4; B and W read a single), strings one pointer.
// With `*` every argument is one pointer to the value instead. Pointers take
// FORMAT_POINTER_SIZE bytes: 4 in the 32-bit product, 8 in a 64-bit build.
//
// A directive is "%", any number of prefixes, one conversion letter:
//   %%         (right after the "%") a literal %
//   B W D Q T  operand size 1, 2, 4, 8, 10
//   !          suppress the field; numbers still use up their argument,
//              a suppressed %s does not
//   -          left-justify within the space-pad width
//   *          the argument is a pointer to the value
//   +          "+" before non-negative numbers
//   0n         zero-pad the digit string to n characters (before grouping)
//   n          space-pad the whole field to n characters (n starts with 1-9)
//   #cn        group digits by n from the right with c (default a space);
//              c is any non-digit and may be left out
//   .cp        precision p for floats, at most 18; c replaces "." as the
//              decimal separator
//   others     ignored
// Letters: d unsigned, i signed, x/X hex, h/H signed hex, b binary,
// f fixed-point float (rounded half up at the precision; the separator is
// always written), s string copied as is.
//
// Widths are clamped to what the 2048-byte scratch holds: a zero-pad width
// above 448 counts as 448, a space-pad width above 512 as 512.
#pragma once

#include <cstddef>
#include <cstdint>

#define FORMAT_POINTER_SIZE (sizeof(void *))
#define FORMAT_ZERO_PAD_MAX 448
#define FORMAT_SPACE_PAD_MAX 512
#define FORMAT_PRECISION_MAX 18

extern "C" {
// Writes the text and a terminating NUL into dest, which must be large enough.
// Re-entrant. When the scratch memory cannot be had, dest gets an empty string.
void format_text(char *dest, const char *format, const void *args);
}

// An argument array under construction. Values that would not fit are
// dropped, so a caller's mistake cannot write past the record.
struct TextArgs {
  unsigned char bytes[256];
  size_t size;
};

void text_args_clear(TextArgs *args);
void text_args_put(TextArgs *args, const void *value, size_t size);

inline void text_args_byte(TextArgs *a, uint8_t v) { text_args_put(a, &v, 1); }
inline void text_args_word(TextArgs *a, uint16_t v) { text_args_put(a, &v, 2); }
inline void text_args_dword(TextArgs *a, uint32_t v) { text_args_put(a, &v, 4); }
inline void text_args_qword(TextArgs *a, uint64_t v) { text_args_put(a, &v, 8); }
inline void text_args_single(TextArgs *a, float v) { text_args_put(a, &v, 4); }
inline void text_args_double(TextArgs *a, double v) { text_args_put(a, &v, 8); }
// The 10 bytes of the 80-bit value.
inline void text_args_extended(TextArgs *a, long double v) { text_args_put(a, &v, 10); }
inline void text_args_pointer(TextArgs *a, const void *p) { text_args_put(a, &p, FORMAT_POINTER_SIZE); }
