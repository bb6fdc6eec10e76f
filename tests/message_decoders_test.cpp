#include "message/transfer_decoders.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct Base64Case {
  const char* source;
  int expectedCount;     // -1: rejected
  std::string expected;  // bytes decoded (for -1: bytes decoded before the fault)
};

TEST(Base64DecoderTest, DecodesAndRejectsLines) {
  const Base64Case cases[] = {
      {"SGVsbG8=", 5, "Hello"},
      {"SGVsbA==", 4, "Hell"},
      {"SGVsbG8gd29ybGQh", 12, "Hello world!"},
      {"SGVs bG8g\td29y bGQh\r\n", 12, "Hello world!"},
      {"SGVsbA= =\n", 4, "Hell"},
      {"SGVsbG8=\r\n", 5, "Hello"},
      {"", 0, ""},
      {" \t\r\n", 0, ""},
      {"+/+/", 3, "\xfb\xff\xbf"},
      // A partial group, a missing or misplaced pad, data after the pads.
      {"SGVsbG8", -1, ""},
      {"SGVsbA=", -1, ""},
      {"SGVsbA==x", -1, ""},
      {"SGVsbG8=SGVs", -1, ""},
      {"=GVs", -1, ""},
      {"S===", -1, ""},
      // Leftover bits in a padded group (Hell with its last character one
      // step up the alphabet).
      {"SGVsbB==", -1, ""},
      // A character outside the alphabet.
      {"SGV-bG8=", -1, "He"},
      {"SGVs\xc3\xa9", -1, ""},
  };
  for (const Base64Case& c : cases) {
    unsigned char out[64] = {};
    const int count = decodeBase64(c.source, out, sizeof out);
    EXPECT_EQ(count, c.expectedCount) << c.source;
    const size_t shown = count >= 0 ? static_cast<size_t>(count) : c.expected.size();
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), shown), c.expected) << c.source;
  }
}

TEST(Base64DecoderTest, RejectsADestinationTooSmall) {
  unsigned char out[4] = {};
  EXPECT_EQ(decodeBase64("SGVsbG8=", out, 4), -1);
  unsigned char exact[6] = {};
  EXPECT_EQ(decodeBase64("SGVsbG8=", exact, 6), 5);
}

TEST(Base64DecoderTest, LongestLineFitsTheLineBuffer) {
  // 2044 characters of data and a line feed: 511 groups, 1533 bytes.
  std::string line;
  for (int i = 0; i < 511; ++i) line += "QUJD";
  line += "\n";
  unsigned char out[2048];
  ASSERT_EQ(decodeBase64(line.c_str(), out, sizeof out), 1533);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 3), "ABC");
}

struct QuotedPrintableCase {
  const char* source;
  const char* expected;
};

TEST(QuotedPrintableDecoderTest, DecodesLines) {
  const QuotedPrintableCase cases[] = {
      {"a=3Db", "a=b"},
      {"a=3db", "a=b"},
      {"Caf=C3=A9 =\n", "Caf\xc3\xa9 \n"},
      {"x=4", "x4"},
      {"x=", "x="},
      {"x=4\n", "x4\n"},
      {"=ZZ", "ZZ"},
      {"=", "="},
      {"", ""},
      {"   \n", "   \n"},
      {"100% =3D done=\r\n", "100% = done\r\n"},
  };
  for (const QuotedPrintableCase& c : cases) {
    char out[64];
    std::memset(out, 'q', sizeof out);
    EXPECT_EQ(decodeQuotedPrintable(c.source, out), 1);
    EXPECT_STREQ(out, c.expected) << c.source;
  }
}

TEST(QuotedPrintableDecoderTest, EncodedNulEndsTheDecodedText) {
  char out[16];
  decodeQuotedPrintable("ab=00cd", out);
  EXPECT_EQ(std::string(out, 6), std::string("ab\0cd\0", 6));
}

}  // namespace
