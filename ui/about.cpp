#include "ui/about.h"

#include "engine/module.h"
#include "support/format_text.h"

const char about_description[] = OUT_MODULE_DESCRIPTION;
const char about_build_date[] = "Sunday  17-05-2009";
const char about_contact_address[] = "sonorium@example.org";
const char about_page_address[] = "https://sonorium.example.org/";
const char about_second_text[] =
    "Suggestions, ideas and problem reports are always welcome:\r\n"
    "please write to sonorium@example.org.";

const char about_dialog_format[] =
    "Sonorium, made by the Sonorium project\r\n"
    "Contact: %s\r\n"
    "Assembled on: %s\r\n";
const char about_page_format[] =
    "Sonorium, made by the Sonorium project\r\n"
    "Contact: %s\r\n"
    "Assembled on: %s\r\n"
    "\r\n"
    "\r\n"
    "News, presets and updates on the project's page:";

namespace {

void credits(char *dest, const char *format) {
  TextArgs args;
  text_args_clear(&args);
  text_args_pointer(&args, about_contact_address);
  text_args_pointer(&args, about_build_date);
  format_text(dest, format, args.bytes);
}

// Computed by the compiler, so the plain target never lies in the binary.
constexpr AboutScrambled scramble(const char (&plain)[ABOUT_LINK_TARGET_SIZE + 1]) {
  AboutScrambled s{};
  for (size_t i = 0; i < ABOUT_LINK_TARGET_SIZE; ++i)
    s.bytes[i] = static_cast<unsigned char>(static_cast<unsigned char>(plain[i]) + i);
  return s;
}

}  // namespace

// A 46-byte target: the feedback form on the project's page.
const AboutScrambled about_link_scrambled = scramble("https://sonorium.example.org/feedback/new.html");

void about_dialog_credits(char *dest) { credits(dest, about_dialog_format); }

void about_page_credits(char *dest) { credits(dest, about_page_format); }

void about_unscramble(const unsigned char *stored, size_t size, char *dest) {
  for (size_t i = 0; i < size; ++i) dest[i] = static_cast<char>(static_cast<unsigned char>(stored[i] - i));
}
