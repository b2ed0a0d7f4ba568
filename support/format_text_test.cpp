#include "support/format_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

namespace {

constexpr size_t kOut = 4096;
constexpr unsigned char kSentinel = 0x5A;

// Formats into a buffer prefilled with a sentinel and checks that nothing was
// written past the terminating NUL.
std::string format(const char *fmt, const TextArgs &args) {
  static char out[kOut];
  std::memset(out, kSentinel, sizeof out);
  format_text(out, fmt, args.bytes);
  size_t len = strnlen(out, kOut);
  EXPECT_LT(len + 1, kOut) << fmt;
  if (len + 1 < kOut) {
    EXPECT_EQ(static_cast<unsigned char>(out[len + 1]), kSentinel) << fmt;
  }
  return std::string(out, len);
}

TextArgs args() {
  TextArgs a;
  text_args_clear(&a);
  return a;
}

std::string fmt_dword(const char *f, uint32_t v) {
  TextArgs a = args();
  text_args_dword(&a, v);
  return format(f, a);
}

std::string fmt_single(const char *f, float v) {
  TextArgs a = args();
  text_args_single(&a, v);
  return format(f, a);
}

std::string fmt_double(const char *f, double v) {
  TextArgs a = args();
  text_args_double(&a, v);
  return format(f, a);
}

TEST(FormatText, ListedExamples) {
  EXPECT_EQ(fmt_dword("%d", uint32_t(-1)), "4294967295");
  EXPECT_EQ(fmt_dword("%i", uint32_t(-1)), "-1");
  TextArgs a = args();
  text_args_byte(&a, 0xFF);
  EXPECT_EQ(format("%Bi", a), "-1");

  a = args();
  text_args_dword(&a, 5);
  text_args_dword(&a, 7);
  EXPECT_EQ(format("%!d%d", a), "7");

  EXPECT_EQ(fmt_single("%.,2f", 3.14159f), "3,14");
  EXPECT_EQ(fmt_single("%f", 3.0f), "3.");
  EXPECT_EQ(fmt_single("%8.2f", 1.5f), "    1.50");
  EXPECT_EQ(fmt_single("%-8.2f", 1.5f), "1.50    ");
  EXPECT_EQ(fmt_dword("%#3d", 1234567), "1 234 567");
  EXPECT_EQ(fmt_dword("%#.3d", 1234567), "1.234.567");
  EXPECT_EQ(fmt_dword("%05i", uint32_t(-42)), "-00042");
  EXPECT_EQ(fmt_single("%.1f", 2.25f), "2.3");
  EXPECT_EQ(fmt_single("%.2f", -0.125f), "-0.13");
  EXPECT_EQ(fmt_single("%.1fk", 1.03125f), "1.0k");

  int32_t target = -123456;
  a = args();
  text_args_pointer(&a, &target);
  EXPECT_EQ(format("%*i", a), "-123456");
}

TEST(FormatText, FormatStringsInUse) {
  TextArgs a = args();
  text_args_dword(&a, 250);
  text_args_dword(&a, 25);
  EXPECT_EQ(format("%d ms (%d%%)", a), "250 ms (25%)");

  a = args();
  for (uint32_t i = 1; i <= 6; ++i) text_args_dword(&a, i);
  text_args_pointer(&a, "yes");
  EXPECT_EQ(format("%!d%!d%!d%!d%!d%!dCertified: %s", a), "Certified: yes");

  EXPECT_EQ(fmt_single("%.2f dB", -6.5f), "-6.50 dB");
  EXPECT_EQ(fmt_single("%.2fk", 12.5f), "12.50k");
  EXPECT_EQ(fmt_dword("%dk", 16), "16k");
  EXPECT_EQ(fmt_dword("Volume %d%%", 100), "Volume 100%");

  a = args();
  text_args_pointer(&a, "Hall");
  EXPECT_EQ(format("Are you sure you want to delete preset \"%s\" ?", a),
            "Are you sure you want to delete preset \"Hall\" ?");
  EXPECT_EQ(format("%s\t (disabled)", a), "Hall\t (disabled)");
  EXPECT_EQ(format("plain text, 100%% sure", args()), "plain text, 100% sure");
}

TEST(FormatText, GroupingWithZeroPaddingAndSign) {
  // Zero padding comes before grouping, the sign after it.
  EXPECT_EQ(fmt_dword("%010#,3i", uint32_t(-1234567)), "-0,001,234,567");
  EXPECT_EQ(fmt_dword("%+010#,3i", 1234567), "+0,001,234,567");
  EXPECT_EQ(fmt_dword("%+#3d", 999), "+999");
  EXPECT_EQ(fmt_dword("%+#3d", 1000), "+1 000");
  EXPECT_EQ(fmt_dword("%15#3d|", 1234567), "      1 234 567|");
  EXPECT_EQ(fmt_dword("%-15#3i|", uint32_t(-1234567)), "-1 234 567     |");
  EXPECT_EQ(fmt_dword("%#:4X", 0xDEADBEEF), "DEAD:BEEF");
  EXPECT_EQ(fmt_dword("%#3d", 0), "0");
  // A group size larger than the digits inserts nothing.
  EXPECT_EQ(fmt_dword("%#20d", 1234567), "1234567");
}

TEST(FormatText, SizePrefixesSignedAndUnsigned) {
  TextArgs a = args();
  text_args_byte(&a, 0x80);
  text_args_byte(&a, 0x80);
  EXPECT_EQ(format("%Bd %Bi", a), "128 -128");

  a = args();
  text_args_word(&a, 0x8000);
  text_args_word(&a, 0x8000);
  EXPECT_EQ(format("%Wd %Wi", a), "32768 -32768");

  a = args();
  text_args_dword(&a, 0x80000000u);
  text_args_dword(&a, 0x80000000u);
  EXPECT_EQ(format("%Dd %Di", a), "2147483648 -2147483648");

  a = args();
  text_args_qword(&a, ~uint64_t(0));
  text_args_qword(&a, ~uint64_t(0));
  text_args_qword(&a, uint64_t(1) << 63);
  EXPECT_EQ(format("%Qd %Qi %Qi", a), "18446744073709551615 -1 -9223372036854775808");

  // T reads a 10-byte two's-complement integer.
  unsigned char ones[10], top[10] = {};
  std::memset(ones, 0xFF, sizeof ones);
  top[9] = 0x80;
  a = args();
  text_args_put(&a, ones, 10);
  text_args_put(&a, ones, 10);
  text_args_put(&a, top, 10);
  text_args_put(&a, top, 10);
  EXPECT_EQ(format("%Td %Ti %Ti %Td", a),
            "1208925819614629174706175 -1 -604462909807314587353088 604462909807314587353088");

  // Mixed sizes lie packed without alignment; the last prefix wins.
  a = args();
  text_args_byte(&a, 7);
  text_args_qword(&a, 1234567890123ull);
  text_args_word(&a, 65535);
  text_args_dword(&a, 42);
  EXPECT_EQ(format("%Bd,%Qd,%Wi,%QBDd", a), "7,1234567890123,-1,42");
}

TEST(FormatText, HexadecimalAndBinary) {
  EXPECT_EQ(fmt_dword("%x", 0xDEADBEEF), "deadbeef");
  EXPECT_EQ(fmt_dword("%X", 0xDEADBEEF), "DEADBEEF");
  EXPECT_EQ(fmt_dword("%h", uint32_t(-255)), "-ff");
  EXPECT_EQ(fmt_dword("%H", uint32_t(-255)), "-FF");
  EXPECT_EQ(fmt_dword("%H", 255), "FF");
  EXPECT_EQ(fmt_dword("%x", uint32_t(-255)), "ffffff01");
  EXPECT_EQ(fmt_dword("%+x", 255), "+ff");
  EXPECT_EQ(fmt_dword("%08X", 0xBEEF), "0000BEEF");
  EXPECT_EQ(fmt_dword("%b", 5), "101");
  EXPECT_EQ(fmt_dword("%b", 0), "0");
  EXPECT_EQ(fmt_dword("%#4b", 0xA5), "1010 0101");
  TextArgs a = args();
  text_args_byte(&a, 0x80);
  text_args_byte(&a, 0x80);
  EXPECT_EQ(format("%Bb %Bh", a), "10000000 -80");
  a = args();
  text_args_qword(&a, ~uint64_t(0));
  EXPECT_EQ(format("%Qb", a), std::string(64, '1'));
}

TEST(FormatText, SuppressOnEveryLetter) {
  TextArgs a = args();
  for (uint32_t i = 1; i <= 7; ++i) text_args_dword(&a, i);
  text_args_single(&a, 8.0f);
  text_args_pointer(&a, "kept");
  // Numbers use up their argument; a suppressed string does not.
  EXPECT_EQ(format("%!d%!i%!x%!X%!h%!H%!b%!f%!s%s", a), "kept");
  EXPECT_EQ(fmt_dword("[%!-8d]", 5), "[]");
  EXPECT_EQ(fmt_dword("[%!08#3i]", 5), "[]");

  a = args();
  text_args_double(&a, 1.5);
  text_args_dword(&a, 9);
  EXPECT_EQ(format("%!Q.2f%d", a), "9");
}

TEST(FormatText, IndirectArguments) {
  int8_t b = -5;
  uint64_t q = 10000000000ull;
  double d = 2.5;
  float f = 0.75f;
  long double t = 1.25L;
  const char *s = "text";
  TextArgs a = args();
  text_args_pointer(&a, &b);
  text_args_pointer(&a, &q);
  text_args_pointer(&a, &d);
  text_args_pointer(&a, &f);
  text_args_pointer(&a, &t);
  text_args_pointer(&a, &s);
  EXPECT_EQ(format("%*Bi %*Qd %*Q.1f %*.2f %*T.2f %*s", a), "-5 10000000000 2.5 0.75 1.25 text");

  // A suppressed indirect string leaves its pointer too.
  a = args();
  text_args_pointer(&a, &s);
  EXPECT_EQ(format("%!*s%*s", a), "text");

  // Indirect and direct arguments mix in one array.
  a = args();
  text_args_dword(&a, 3);
  text_args_pointer(&a, &b);
  text_args_dword(&a, 4);
  EXPECT_EQ(format("%d %*Bi %d", a), "3 -5 4");
}

TEST(FormatText, NullArgumentsReadAsZero) {
  char out[64];
  format_text(out, "plain", nullptr);
  EXPECT_STREQ(out, "plain");
  format_text(out, "%d %Q.1f|%s|", nullptr);
  EXPECT_STREQ(out, "0 0.0||");

  TextArgs a = args();
  text_args_pointer(&a, nullptr);
  text_args_pointer(&a, nullptr);
  text_args_pointer(&a, nullptr);
  EXPECT_EQ(format("%*d|%*s|%s|", a), "0|||");
}

TEST(FormatText, FloatPrecisionCapsAt18) {
  // 0.1 as a double is 0.1000000000000000055511...
  EXPECT_EQ(fmt_double("%.18Qf", 0.1), "0.100000000000000005");
  EXPECT_EQ(fmt_double("%.40Qf", 0.1), "0.100000000000000005");
  EXPECT_EQ(fmt_double("%.17Qf", 0.1), "0.10000000000000001");
  EXPECT_EQ(fmt_double("%.0Qf", 0.5), "1.");
  EXPECT_EQ(fmt_double("%Qf", 0.4999), "0.");
  EXPECT_EQ(fmt_double("%Qf", 0.0), "0.");
  EXPECT_EQ(fmt_double("%.3Qf", 0.0), "0.000");
}

TEST(FormatText, FloatSizes) {
  TextArgs a = args();
  text_args_single(&a, 0.1f);
  text_args_double(&a, 0.1);
  text_args_extended(&a, 0.1L);
  text_args_dword(&a, 77);
  // Each width shows its own stored value and uses up exactly its size.
  EXPECT_EQ(format("%.10f %.18Qf %.18Tf %d", a), "0.1000000015 0.100000000000000005 0.100000000000000000 77");
  a = args();
  text_args_extended(&a, -1234.5L);
  EXPECT_EQ(format("%T.1f", a), "-1234.5");
}

TEST(FormatText, RoundingCarriesIntoNewLeadingDigit) {
  EXPECT_EQ(fmt_double("%.2Qf", 9.996), "10.00");
  EXPECT_EQ(fmt_double("%.2Qf", -9.996), "-10.00");
  EXPECT_EQ(fmt_single("%.2f", 9.996f), "10.00");
  // 9.995 is stored as 9.99499999999999957...: the first dropped digit is 4.
  EXPECT_EQ(fmt_double("%.2Qf", 9.995), "9.99");
  EXPECT_EQ(fmt_single("%.2f", 9.995f), "9.99");
  // Only the first dropped digit counts: ...0.0449999 does not round up.
  EXPECT_EQ(fmt_double("%.1Qf", 0.0449999), "0.0");
  EXPECT_EQ(fmt_double("%.1Qf", 99.96), "100.0");
  EXPECT_EQ(fmt_double("%Qf", 999.5), "1000.");
  EXPECT_EQ(fmt_double("%#3.1Qf", 999999.96), "1 000 000.0");
  EXPECT_EQ(fmt_double("%03.2Qf", 9.996), "010.00");
}

TEST(FormatText, FloatFieldLayout) {
  EXPECT_EQ(fmt_double("%+Q.2f", 1.5), "+1.50");
  EXPECT_EQ(fmt_double("%+Q.2f", -1.5), "-1.50");
  EXPECT_EQ(fmt_double("%#3.2Qf", 1234567.891), "1 234 567.89");
  EXPECT_EQ(fmt_double("%010#,3.1Qf", -1234.5), "-0,000,001,234.5");
  EXPECT_EQ(fmt_double("%#,3.;2Qf", 1234.5), "1,234;50");
  EXPECT_EQ(fmt_double("%10.1Qf|", -2.5), "      -2.5|");
  EXPECT_EQ(fmt_double("%-10.1Qf|", -2.5), "-2.5      |");
  EXPECT_EQ(fmt_double("%.3Qf", 123456789.125), "123456789.125");
  EXPECT_EQ(fmt_double("%.1Qf", 12345678901.5), "12345678901.5");
}

TEST(FormatText, FloatLimits) {
  // Beyond 40 integral digits the leading ones are lost, never overrun.
  std::string big = fmt_double("%Qf", 1e45);
  EXPECT_EQ(big.size(), 41u);
  EXPECT_EQ(big.back(), '.');
  EXPECT_EQ(big.find_first_not_of("0123456789."), std::string::npos);
  TextArgs a = args();
  text_args_extended(&a, std::numeric_limits<long double>::max());
  std::string huge = format("%.18Tf", a);
  EXPECT_LE(huge.size(), 60u);
  EXPECT_EQ(huge.find_first_not_of("0123456789."), std::string::npos);

  EXPECT_EQ(fmt_double("%Qf", std::numeric_limits<double>::infinity()), "inf");
  EXPECT_EQ(fmt_double("%6Qf", -std::numeric_limits<double>::infinity()), "  -inf");
  EXPECT_EQ(fmt_double("%.2Qf", std::numeric_limits<double>::quiet_NaN()), "nan");
  EXPECT_EQ(fmt_single("%+f", std::numeric_limits<float>::infinity()), "+inf");
}

TEST(FormatText, HugeWidthsAreClamped) {
  EXPECT_EQ(fmt_dword("%99999d", 7), std::string(FORMAT_SPACE_PAD_MAX - 1, ' ') + "7");
  EXPECT_EQ(fmt_dword("%-99999999999999999999d|", 7), "7" + std::string(FORMAT_SPACE_PAD_MAX - 1, ' ') + "|");
  EXPECT_EQ(fmt_dword("%0999d", 7), std::string(FORMAT_ZERO_PAD_MAX - 1, '0') + "7");
  EXPECT_EQ(fmt_dword("%0999i", uint32_t(-7)), "-" + std::string(FORMAT_ZERO_PAD_MAX - 1, '0') + "7");

  // The widest field: 448 digits with a separator between each.
  std::string grouped = fmt_dword("%+0999#1i", 7);
  EXPECT_EQ(grouped.size(), size_t(1 + 2 * FORMAT_ZERO_PAD_MAX - 1));
  EXPECT_EQ(grouped.substr(grouped.size() - 3), "0 7");

  TextArgs a = args();
  text_args_double(&a, -1.0);
  std::string f = format("%99999-0999#1.99Qf", a);
  EXPECT_EQ(f.size(), size_t(1 + 2 * FORMAT_ZERO_PAD_MAX - 1 + 1 + FORMAT_PRECISION_MAX));
  EXPECT_EQ(f.substr(f.size() - 20), "1.000000000000000000");
}

TEST(FormatText, FormatEndingInsideDirective) {
  TextArgs a = args();
  text_args_dword(&a, 1);
  EXPECT_EQ(format("abc%", a), "abc");
  EXPECT_EQ(format("abc%-08", a), "abc");
  EXPECT_EQ(format("%#", a), "");
  EXPECT_EQ(format("%#,", a), "");
  EXPECT_EQ(format("x%.", a), "x");
  EXPECT_EQ(format("x%.,", a), "x");
  EXPECT_EQ(format("x%*QB!+", a), "x");
}

TEST(FormatText, OtherCharactersInsideDirective) {
  // Characters that are no prefix are skipped and the directive goes on.
  EXPECT_EQ(fmt_dword("%ld", 12), "12");
  EXPECT_EQ(fmt_dword("%5%d", 12), "   12");
  EXPECT_EQ(fmt_dword("%+d", 0), "+0");
  EXPECT_EQ(fmt_dword("%-6i|", uint32_t(-42)), "-42   |");
  // A string is copied as is: no padding.
  TextArgs a = args();
  text_args_pointer(&a, "ab");
  EXPECT_EQ(format("%10s|", a), "ab|");
}

TEST(FormatText, ArgumentBuilderDropsWhatDoesNotFit) {
  TextArgs a = args();
  for (int i = 0; i < 64; ++i) text_args_dword(&a, uint32_t(i));
  EXPECT_EQ(a.size, sizeof a.bytes);
  text_args_byte(&a, 1);
  EXPECT_EQ(a.size, sizeof a.bytes);
}

}  // namespace
