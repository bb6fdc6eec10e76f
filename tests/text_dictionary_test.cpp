#include "dictionary/text_dictionary.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "dictionary/storage.h"
#include "tests/test_support.h"

namespace {

class TextDictionaryTest : public testing::Test {
 protected:
  void SetUp() override {
    testsupport::resetProcessDictionary();
    std::snprintf(d.dictionaryPath, sizeof d.dictionaryPath, "%s", path.c_str());
  }
  void TearDown() override { testsupport::resetProcessDictionary(); }

  void add(const char* token, int32_t ham, int32_t spam, int32_t live = 1) {
    testsupport::addDictionaryRow(token, ham, spam);
    d.entries[d.entryCount - 1].live = live;
  }

  // Loads the file into a reset dictionary; returns what was printed.
  std::string load() {
    testsupport::resetProcessDictionary();
    testing::internal::CaptureStdout();
    loadTextDictionary(d);
    return testing::internal::GetCapturedStdout();
  }

  int32_t hamOf(const char* token) {
    TokenCounts counts{token, 0, 0};
    lookupTokenCounts(d, counts);
    return counts.hamCount;
  }
  int32_t spamOf(const char* token) {
    TokenCounts counts{token, 0, 0};
    lookupTokenCounts(d, counts);
    return counts.spamCount;
  }

  TokenDictionary& d = tokenDictionary;
  testsupport::ScopedTempDir dir;
  std::string path = dir.file("words.txt");
};

TEST_F(TextDictionaryTest, SavesHeaderAndLiveRowsSpamBeforeHam) {
  d.spamMessageTotal = 1200;
  d.hamMessageTotal = 800;
  add("offer", 1, 57);
  add("purged", 4, 4, 0);
  add("meeting", 41, 3);
  add("ab", 2, 2);
  saveTextDictionary(d);
  EXPECT_EQ(testsupport::readFile(path),
            "Token\t1200\t800\noffer\t57\t1\nmeeting\t3\t41\nab\t2\t2\n");
}

TEST_F(TextDictionaryTest, RoundTripKeepsTotalsAndRows) {
  d.spamMessageTotal = 5;
  d.hamMessageTotal = 7;
  add("caf\xe9-cr\xe8me", 3, 9);
  add("Money!!", 0, 12);
  saveTextDictionary(d);
  EXPECT_EQ(testsupport::maskTimes(load()),
            "\nDictionary Load Status:\nTime Taken: X milliseconds\nDictionary Size: 2 tokens\n\n");
  EXPECT_EQ(d.spamMessageTotal, 5);
  EXPECT_EQ(d.hamMessageTotal, 7);
  EXPECT_EQ(spamOf("caf\xe9-cr\xe8me"), 9);
  EXPECT_EQ(hamOf("Money!!"), 0);
  EXPECT_EQ(spamOf("Money!!"), 12);
}

TEST_F(TextDictionaryTest, EmptyDictionaryIsTheHeaderAlone) {
  saveTextDictionary(d);
  EXPECT_EQ(testsupport::readFile(path), "Token\t0\t0\n");
  EXPECT_EQ(testsupport::maskTimes(load()),
            "\nDictionary Load Status:\nTime Taken: X milliseconds\nDictionary Size: 0 tokens\n\n");
}

TEST_F(TextDictionaryTest, ZeroByteFileLoadsEmptyWithoutStatus) {
  testsupport::writeFile(path, "");
  EXPECT_EQ(load(), "\nEmpty dictionary loaded\n");
  EXPECT_EQ(d.entryCount, 0);
}

TEST_F(TextDictionaryTest, MissingFileReportsFailure) {
  EXPECT_EQ(load(), "\nLoading Dictionary Failed.\n");
  EXPECT_EQ(d.entryCount, 0);
  EXPECT_EQ(d.hamMessageTotal, 0);
}

TEST_F(TextDictionaryTest, ReadsOddLinesAsTheFormatDefines) {
  const std::string k63(63, 'a');
  const std::string k64(64, 'b');
  testsupport::writeFile(path,
                         "Anything\t5\t7\r\n"
                         "twice\t1\t2\r\n"
                         "twice\t8\t9\n"
                         "two\t57\n"         // the last present field stands in for field 3
                         "notab\n"           // no counts of its own: 0 and 0
                         "\t3\t4\n"          // empty token: skipped
                         "nums\t12abc\tx\n"  // numbers convert like atol
                         + k63 + "\t1\t1\n" + k64 + "\t1\t1\n");
  load();
  EXPECT_EQ(d.spamMessageTotal, 5);
  EXPECT_EQ(d.hamMessageTotal, 7);
  EXPECT_EQ(d.entryCount, 5);
  EXPECT_EQ(spamOf("twice"), 1);
  EXPECT_EQ(hamOf("twice"), 2);
  EXPECT_EQ(spamOf("two"), 57);
  EXPECT_EQ(hamOf("two"), 57);
  EXPECT_EQ(findTokenEntry(&d.indexRoot, "notab"), 2);
  EXPECT_EQ(spamOf("notab"), 0);
  EXPECT_EQ(hamOf("notab"), 0);
  EXPECT_EQ(spamOf("nums"), 12);
  EXPECT_EQ(hamOf("nums"), 0);
  EXPECT_GE(findTokenEntry(&d.indexRoot, k63.c_str()), 0);
  EXPECT_EQ(findTokenEntry(&d.indexRoot, k64.c_str()), -1);
}

TEST_F(TextDictionaryTest, LongLineIsReadInPieces) {
  // 1100 characters without a TAB, then a TAB and counts: the first 1023
  // characters are one line (a token too long to keep), the rest another.
  const std::string line = std::string(1023, 'x') + "tail\t4\t5\n";
  testsupport::writeFile(path, "Token\t1\t1\n" + line);
  load();
  EXPECT_EQ(d.entryCount, 1);
  EXPECT_EQ(spamOf("tail"), 4);
  EXPECT_EQ(hamOf("tail"), 5);
}

TEST_F(TextDictionaryTest, FileLargerThanTheTableIsCutWithOneLine) {
  std::string text = "Token\t1\t1\n";
  char row[32];
  for (int i = 0; i < kDictionaryRows + 2; ++i) {
    std::snprintf(row, sizeof row, "r%07d\t1\t1\n", i);
    text += row;
  }
  testsupport::writeFile(path, text);
  const std::string printed = testsupport::maskTimes(load());
  EXPECT_EQ(printed,
            "Dictionary full: 2 entries left out\n\nDictionary Load Status:\n"
            "Time Taken: X milliseconds\nDictionary Size: 200000 tokens\n\n");
  EXPECT_EQ(d.entryCount, kDictionaryRows);
}

TEST_F(TextDictionaryTest, UnwritableFolderLeavesNoFileAndSaysSo) {
  std::snprintf(d.dictionaryPath, sizeof d.dictionaryPath, "%s/missing/words.txt",
                dir.path().c_str());
  testing::internal::CaptureStdout();
  saveTextDictionary(d);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Saving Dictionary Failed: cannot write " + std::string(d.dictionaryPath) + "\n");
}

TEST(StorageKind, ChosenFromThePath) {
  struct {
    const char* path;
    StorageKind kind;
  } cases[] = {{"dict.txt", StorageKind::Text},
               {"dict.Xml", StorageKind::Xml},
               {"/data.xml.d/words.txt", StorageKind::Xml},
               {"http://host/words.XML", StorageKind::Xml},
               {"HTTP://host/words", StorageKind::Remote},
               {"xml", StorageKind::Text}};
  for (const auto& c : cases) EXPECT_EQ(storageKindOf(c.path), c.kind) << c.path;
}

}  // namespace
