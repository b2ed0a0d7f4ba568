// The About texts: the credits as the dialog and the page show them, and the
// link target kept scrambled.
#include "ui/about.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "engine/module.h"

namespace {

std::string dialog_credits() {
  char text[ABOUT_TEXT_SIZE];
  std::memset(text, 0x55, sizeof text);
  about_dialog_credits(text);
  return text;
}

std::string page_credits() {
  char text[ABOUT_TEXT_SIZE];
  std::memset(text, 0x55, sizeof text);
  about_page_credits(text);
  return text;
}

std::string link_target() {
  char target[ABOUT_LINK_TARGET_SIZE + 8];
  std::memset(target, 0, sizeof target);
  about_unscramble(about_link_scrambled.bytes, ABOUT_LINK_TARGET_SIZE, target);
  return std::string(target, sizeof target);
}

TEST(AboutTexts, DescriptionAndBuildDate) {
  EXPECT_STREQ(about_description, "Sonorium output plug-in v1.06");
  EXPECT_STREQ(about_description, OUT_MODULE_DESCRIPTION) << "the same text as the module record";
  EXPECT_STREQ(about_build_date, "Sunday  17-05-2009") << "two blanks after the weekday";
}

TEST(AboutTexts, DialogCreditsAreThreeLinesEndingInCrLf) {
  std::string text = dialog_credits();
  // Three lines, every one ended by CR LF, no bare CR or LF anywhere.
  size_t lines = 0, at = 0;
  std::string line[3];
  while (at < text.size()) {
    size_t end = text.find("\r\n", at);
    ASSERT_NE(end, std::string::npos) << "a line without CR LF: " << text.substr(at);
    ASSERT_LT(lines, 3u) << "more than three lines";
    line[lines++] = text.substr(at, end - at);
    at = end + 2;
  }
  EXPECT_EQ(lines, 3u);
  for (const std::string &l : line) {
    EXPECT_EQ(l.find('\r'), std::string::npos);
    EXPECT_EQ(l.find('\n'), std::string::npos);
    EXPECT_FALSE(l.empty());
  }
  // The credit line, the contact line with the address, the build date.
  EXPECT_NE(line[0].find("Sonorium"), std::string::npos) << line[0];
  EXPECT_NE(line[1].find(about_contact_address), std::string::npos) << line[1];
  EXPECT_EQ(line[2], std::string("Assembled on: ") + about_build_date);
  // The formatter filled in both arguments: no directive is left over.
  EXPECT_EQ(text.find('%'), std::string::npos);
}

TEST(AboutTexts, PageCreditsAreTheDialogsFollowedByTwoEmptyLinesAndThePageLine) {
  std::string dialog = dialog_credits();
  std::string page = page_credits();
  ASSERT_GT(page.size(), dialog.size());
  EXPECT_EQ(page.substr(0, dialog.size()), dialog) << "the same three lines first";
  std::string rest = page.substr(dialog.size());
  ASSERT_EQ(rest.substr(0, 4), "\r\n\r\n") << "two empty lines";
  std::string last = rest.substr(4);
  EXPECT_FALSE(last.empty());
  EXPECT_EQ(last.find('\r'), std::string::npos) << "one last line";
  EXPECT_EQ(last.find('\n'), std::string::npos) << "one last line";
  EXPECT_NE(last.find("page"), std::string::npos) << last;
  EXPECT_EQ(page.find('%'), std::string::npos);
  EXPECT_LT(page.size(), size_t(ABOUT_TEXT_SIZE));
}

TEST(AboutLink, UnscramblesToExactly46BytesOnTheProjectsPage) {
  std::string target = link_target();
  std::string plain = target.substr(0, ABOUT_LINK_TARGET_SIZE);
  // 46 printable bytes, then the zeroed rest of the buffer.
  for (size_t i = 0; i < plain.size(); ++i)
    EXPECT_TRUE(plain[i] > 0x20 && plain[i] < 0x7F) << "byte " << i << " of " << plain;
  for (size_t i = ABOUT_LINK_TARGET_SIZE; i < target.size(); ++i) EXPECT_EQ(target[i], 0) << i;
  EXPECT_EQ(std::strlen(target.c_str()), 46u);
  EXPECT_EQ(plain.rfind(about_page_address, 0), 0u) << plain;
}

TEST(AboutLink, StoredBytesAreTheTargetPlusTheirIndex) {
  std::string plain = link_target().substr(0, ABOUT_LINK_TARGET_SIZE);
  for (size_t i = 0; i < ABOUT_LINK_TARGET_SIZE; ++i)
    EXPECT_EQ(about_link_scrambled.bytes[i], static_cast<unsigned char>(static_cast<unsigned char>(plain[i]) + i))
        << i;
  // Not kept in plain form.
  EXPECT_NE(std::memcmp(about_link_scrambled.bytes, plain.data(), ABOUT_LINK_TARGET_SIZE), 0);
}

TEST(AboutLink, UnscrambleWrapsModulo256AndWritesOnlyItsBytes) {
  // Every byte value at every index comes back, across the wrap at 256.
  unsigned char stored[256];
  char plain[260];
  for (int value : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
    for (int i = 0; i < 256; ++i) stored[i] = static_cast<unsigned char>(value + i);
    std::memset(plain, 'x', sizeof plain);
    about_unscramble(stored, 256, plain);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(static_cast<unsigned char>(plain[i]), value) << value << " at " << i;
    for (size_t i = 256; i < sizeof plain; ++i) EXPECT_EQ(plain[i], 'x') << "written past the bytes";
  }
  // Twice gives the same result: nothing is kept between calls.
  EXPECT_EQ(link_target(), link_target());
}

}  // namespace
