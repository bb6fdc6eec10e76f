#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"

namespace {

std::u16string toWide(unsigned codePage, const std::string& text) {
  const int needed = platform::multiByteToWideChar(codePage, 0, text.data(),
                                                   static_cast<int>(text.size()), nullptr, 0);
  std::u16string wide(static_cast<size_t>(needed), u'\0');
  const int written = platform::multiByteToWideChar(
      codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), needed);
  EXPECT_EQ(written, needed);
  return wide;
}

std::string toNarrow(unsigned codePage, const std::u16string& wide) {
  const int needed = platform::wideCharToMultiByte(codePage, 0, wide.data(),
                                                   static_cast<int>(wide.size()), nullptr, 0);
  std::string text(static_cast<size_t>(needed), '\0');
  const int written = platform::wideCharToMultiByte(
      codePage, 0, wide.data(), static_cast<int>(wide.size()), text.data(), needed);
  EXPECT_EQ(written, needed);
  return text;
}

TEST(PlatformCodePage, EveryAnsiByteSurvivesARoundTrip) {
  std::string all;
  for (int byte = 1; byte < 256; ++byte) all += static_cast<char>(byte);
  const std::u16string wide = toWide(platform::kCodePageAnsi, all);
  ASSERT_EQ(wide.size(), all.size());
  EXPECT_EQ(toNarrow(platform::kCodePageAnsi, wide), all);
}

TEST(PlatformCodePage, AnsiUsesTheWindows1252Table) {
  struct Case {
    unsigned char byte;
    char16_t unit;
  };
  const Case cases[] = {{0x41, u'A'},    {0x80, 0x20AC}, {0x81, 0x0081}, {0x8D, 0x008D},
                        {0x8F, 0x008F},  {0x90, 0x0090}, {0x9D, 0x009D}, {0x92, 0x2019},
                        {0x9F, 0x0178},  {0xA0, 0x00A0}, {0xE9, 0x00E9}, {0xFF, 0x00FF}};
  for (const Case& c : cases) {
    const std::string byte(1, static_cast<char>(c.byte));
    EXPECT_EQ(toWide(platform::kCodePageAnsi, byte), std::u16string(1, c.unit)) << int(c.byte);
  }
}

TEST(PlatformCodePage, CharactersMissingFromAnsiBecomeQuestionMarks) {
  // U+0100, a lone surrogate and a surrogate pair (one character) each give
  // one '?'.
  const std::u16string wide = {u'a', 0x0100, 0xD800, u'b', 0xD83D, 0xDE00, u'c'};
  EXPECT_EQ(toNarrow(platform::kCodePageAnsi, wide), "a??b?c");
}

TEST(PlatformCodePage, Utf8ConvertsBothWaysWithSurrogatePairs) {
  const std::string utf8 = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
  const std::u16string wide = {u'a', 0x00E9, 0x20AC, 0xD83D, 0xDE00};
  EXPECT_EQ(toWide(platform::kCodePageUtf8, utf8), wide);
  EXPECT_EQ(toNarrow(platform::kCodePageUtf8, wide), utf8);
}

TEST(PlatformCodePage, InvalidUtf8BecomesReplacementCharacters) {
  struct Case {
    std::string input;
    std::u16string expected;
  };
  const Case cases[] = {
      {"a\xFF" "b", {u'a', 0xFFFD, u'b'}},
      {"\xC0\xAF", {0xFFFD, 0xFFFD}},          // overlong
      {"\xED\xA0\x80", {0xFFFD, 0xFFFD, 0xFFFD}},  // encoded surrogate
      {"\xE2\x82", {0xFFFD}},                  // truncated at the end
      {"\xE2\x82x", {0xFFFD, u'x'}},
  };
  for (const Case& c : cases) EXPECT_EQ(toWide(platform::kCodePageUtf8, c.input), c.expected);
  const std::u16string loneSurrogate = {0xDC00};
  EXPECT_EQ(toNarrow(platform::kCodePageUtf8, loneSurrogate), "\xEF\xBF\xBD");
}

TEST(PlatformCodePage, MinusOneCountsTheTerminator) {
  EXPECT_EQ(platform::multiByteToWideChar(platform::kCodePageAnsi, 0, "abc", -1, nullptr, 0), 4);
  char16_t wide[4];
  ASSERT_EQ(platform::multiByteToWideChar(platform::kCodePageAnsi, 0, "abc", -1, wide, 4), 4);
  EXPECT_EQ(wide[3], u'\0');
  EXPECT_EQ(platform::wideCharToMultiByte(platform::kCodePageUtf8, 0, u"\u00e9", -1, nullptr, 0), 3);
}

TEST(PlatformCodePage, TooSmallADestinationFailsWithInsufficientBuffer) {
  char16_t wide[3];
  platform::setLastError(0);
  EXPECT_EQ(platform::multiByteToWideChar(platform::kCodePageAnsi, 0, "abc", -1, wide, 3), 0);
  EXPECT_EQ(platform::getLastError(), platform::kErrorInsufficientBuffer);
  char narrow[2];
  platform::setLastError(0);
  EXPECT_EQ(platform::wideCharToMultiByte(platform::kCodePageUtf8, 0, u"\u00e9", 1, narrow, 1), 0);
  EXPECT_EQ(platform::getLastError(), platform::kErrorInsufficientBuffer);
}

}  // namespace
