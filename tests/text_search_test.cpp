#include "message/text_search.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct FindCase {
  const char* haystack;
  const char* needle;
  int haystackLength;
  int needleLength;
  int expectedOffset;  // -1: no match
};

class FindNoCaseTest : public testing::TestWithParam<FindCase> {};

TEST_P(FindNoCaseTest, FindsFirstMatchIgnoringAsciiCase) {
  const FindCase& c = GetParam();
  const char* found = findNoCase(c.haystack, c.needle, c.haystackLength, c.needleLength);
  if (c.expectedOffset < 0) {
    EXPECT_EQ(found, nullptr);
  } else {
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found - c.haystack, c.expectedOffset);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindNoCaseTest,
    testing::Values(FindCase{"Content-Type: multipart; boundary=x", "BOUNDARY=", -1, -1, 25},
                    FindCase{"C:\\dicts\\words.XML", ".xml", -1, -1, 14},
                    FindCase{"abc", "", -1, -1, -1}, FindCase{"", "", -1, -1, -1},
                    FindCase{"abcdef", "cd", 3, -1, -1}, FindCase{"abcdef", "cd", 4, -1, 2},
                    FindCase{"abab", "ab", -1, -1, 0}, FindCase{"xaBAb", "abab", -1, -1, 1},
                    FindCase{"caf\xc9", "CAF\xe9", -1, -1, -1},  // only ASCII letters fold
                    FindCase{"a", "abc", -1, -1, -1}, FindCase{"http://host/x", "HTTP://", -1, -1, 0},
                    // The needle length only limits the start positions.
                    FindCase{"xxabc", "abc", -1, 1, 2}));

TEST(FindNoCase, NullArgumentsGiveNull) {
  EXPECT_EQ(findNoCase(nullptr, "a", -1, -1), nullptr);
  EXPECT_EQ(findNoCase("a", nullptr, -1, -1), nullptr);
}

TEST(FindUnescaped, SkipsSeparatorAfterEscape) {
  const char text[] = "a\\,b,c";
  const char* found = findUnescaped(text, ",", 6, 1, '\\');
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found - text, 4);
  EXPECT_EQ(findUnescaped(text, ",", 6, 1, '\0') - text, 2);
  // Doubling the escape character does not undo it.
  const char doubled[] = "a\\\\,b";
  EXPECT_EQ(findUnescaped(doubled, ",", 5, 1, '\\'), nullptr);
}

struct FieldCase {
  const char* text;
  const char* separator;
  int field;
  int size;
  char escape;
  int expectedResult;
  const char* expectedField;  // destination afterwards ("untouched" starts as "old")
};

class GetDelimitedFieldTest : public testing::TestWithParam<FieldCase> {};

TEST_P(GetDelimitedFieldTest, CopiesTheField) {
  const FieldCase& c = GetParam();
  char destination[128] = "old";
  EXPECT_EQ(getDelimitedField(c.text, c.separator, c.field, destination, c.size, c.escape),
            c.expectedResult);
  EXPECT_STREQ(destination, c.expectedField);
}

const std::string k63(63, 'x');
const std::string k64(64, 'x');

INSTANTIATE_TEST_SUITE_P(
    Cases, GetDelimitedFieldTest,
    testing::Values(FieldCase{"a\tb\tc", "\t", 1, 64, '\0', 1, "a"},
                    FieldCase{"a\tb\tc", "\t", 2, 64, '\0', 1, "b"},
                    FieldCase{"a\tb\tc", "\t", 3, 64, '\0', 1, "c"},
                    // A field number past the last field gives the last field.
                    FieldCase{"a\tb\tc", "\t", 4, 64, '\0', 1, "c"},
                    FieldCase{"whole", "\t", 1, 64, '\0', 1, "whole"},
                    FieldCase{"whole", "\t", 2, 64, '\0', 0, "old"},
                    FieldCase{"a\t\tc", "\t", 2, 64, '\0', 1, ""},
                    FieldCase{"a\t57", "\t", 3, 64, '\0', 1, "57"},
                    FieldCase{"x\\,y,z", ",", 1, 64, '\\', 1, "x\\,y"},
                    FieldCase{"x\\,y,z", ",", 2, 64, '\\', 1, "z"},
                    FieldCase{"boundary=\"b1\"; x", "\"", 2, 64, '\0', 1, "b1"},
                    FieldCase{"boundary=\"open\n", "\"", 2, 64, '\0', 1, "open\n"},
                    FieldCase{"aANDbandc", "and", 3, 64, '\0', 1, "c"},
                    FieldCase{"abc\tdef", "\t", 1, 3, '\0', 0, ""},
                    FieldCase{"abc\tdef", "\t", 1, 4, '\0', 1, "abc"}));

TEST(GetDelimitedField, FieldOf64CharactersDoesNotFit64Bytes) {
  char destination[64] = "old";
  EXPECT_EQ(getDelimitedField((k64 + "\t1").c_str(), "\t", 1, destination, 64, '\0'), 0);
  EXPECT_STREQ(destination, "");
  EXPECT_EQ(getDelimitedField((k63 + "\t1").c_str(), "\t", 1, destination, 64, '\0'), 1);
  EXPECT_EQ(destination, k63);
}

struct ParameterCase {
  const char* line;
  int expectedResult;
  const char* expectedValue;
};

class GetHeaderParameterTest : public testing::TestWithParam<ParameterCase> {};

TEST_P(GetHeaderParameterTest, CopiesTheValue) {
  const ParameterCase& c = GetParam();
  char destination[16] = "old";
  EXPECT_EQ(getHeaderParameter(c.line, "boundary=", destination, sizeof destination),
            c.expectedResult);
  EXPECT_STREQ(destination, c.expectedValue);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GetHeaderParameterTest,
    testing::Values(ParameterCase{"Content-Type: multipart/mixed; boundary=\"abc\"\n", 1, "abc"},
                    ParameterCase{"\tBOUNDARY=abc;charset=x\n", 1, "abc"},
                    ParameterCase{" boundary=  \n", 1, ""},
                    ParameterCase{" boundary=b2 \n", 1, "b2 "},
                    ParameterCase{" boundary=a\"b c\r\n", 1, "a\"b c"},
                    ParameterCase{" boundary=", 0, "old"}, ParameterCase{"no parameter", 0, "old"},
                    // The destination size bounds the copy.
                    ParameterCase{"boundary=0123456789abcdefXYZ", 1, "0123456789abcde"}));

TEST(TextToLong, ConvertsLikeAtol) {
  struct {
    const char* text;
    int32_t value;
  } cases[] = {{"42", 42},   {"  -17x", -17},          {"+8", 8},
               {"abc", 0},   {"", 0},                  {"\t\n 5", 5},
               {"- 5", 0},   {"99999999999", INT32_MAX}, {"-99999999999", INT32_MIN}};
  for (const auto& c : cases) EXPECT_EQ(textToLong(c.text), c.value) << c.text;
}

}  // namespace
