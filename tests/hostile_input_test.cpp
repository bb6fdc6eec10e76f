// Inputs at and around every fixed limit of the readers, and inputs built
// to hurt them: each must be handled without a fault, within its limits,
// and refused with a line where the tool refuses it. How long they take and
// how much memory they need is measured by scripts/bounds-check.sh.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dictionary/text_dictionary.h"
#include "dictionary/token_dictionary.h"
#include "dictionary/xml/xml_dictionary.h"
#include "dictionary/xml/xml_document.h"
#include "message/message_reader.h"
#include "platform/platform.h"
#include "tests/test_support.h"

namespace {

std::string readMessageText(const std::string& content) {
  testsupport::ScopedTempDir dir;
  const std::string path = dir.file("message.eml");
  testsupport::writeFile(path, content);
  auto message = std::make_unique<MessageTokens>();
  EXPECT_TRUE(setMessagePath(*message, path.c_str()));
  EXPECT_EQ(readMessageFile(*message), 1);
  EXPECT_EQ(std::strlen(message->text), static_cast<size_t>(message->textLength));
  return message->text;
}

TEST(HostileMessageTest, HeaderLinesAroundTheLineBuffer) {
  // A line of 2047 characters fills the buffer; its line feed arrives as a
  // line of its own, which ends the headers. One character more and the
  // line's tail is an ordinary header line, and the headers go on.
  const struct {
    size_t length;
    const char* expected;
  } cases[] = {
      {2046, "late\nbody\n"},
      {2047, "Subject: late\n\nbody\n"},
      {2048, "late\nbody\n"},
      {2049, "late\nbody\n"},
  };
  for (const auto& c : cases) {
    const std::string line = "X-Long: " + std::string(c.length - 8, 'x');
    EXPECT_EQ(readMessageText(line + "\nSubject: late\n\nbody\n"), c.expected) << c.length;
  }
}

TEST(HostileMessageTest, BodyTextAroundTheTextLimit) {
  // A body without line ends arrives in pieces of 2047 characters; the
  // piece that would take the text to 16000 characters is left out.
  const size_t pieces = 7 * 2047;
  const struct {
    size_t length;
    size_t kept;
  } cases[] = {
      {15999, 15999},
      {16000, pieces},
      {16001, pieces},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(readMessageText("\n" + std::string(c.length, 'b')).size(), c.kept) << c.length;
  }
}

TEST(HostileMessageTest, AHundredThousandTinyPartsKeepTheTextUnderTheLimit) {
  std::string content = "Content-Type: multipart/mixed; boundary=\"p\"\n\n";
  for (int i = 0; i < 100000; ++i) content += "--p\nContent-Type: text/plain\n\nab\n";
  content += "--p--\n";
  const std::string text = readMessageText(content);
  // Each part adds "ab\n" until the next one would reach the limit.
  EXPECT_EQ(text.size(), 15999u);
  EXPECT_EQ(text.compare(0, 6, "ab\nab\n"), 0);
}

TEST(HostileMessageTest, BinaryFilesReadAsBoundedText) {
  // An executable and an image read as bytes: nothing after a NUL byte of a
  // line is taken, and the text stays under its limit.
  std::string binary;
  for (unsigned i = 0; i < 300000; ++i) binary += static_cast<char>((i * 7919u) % 256u);
  const std::string png = std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) + binary;
  for (const std::string& content : {binary, png}) {
    EXPECT_LT(readMessageText(content).size(), static_cast<size_t>(kMessageTextLimit));
  }
  auto message = std::make_unique<MessageTokens>();
  ASSERT_TRUE(setMessagePath(*message, CVSPAM_BINARY));
  EXPECT_EQ(readMessageFile(*message), 1);
  EXPECT_LT(message->textLength, kMessageTextLimit);
}

class HostileDictionaryTest : public testing::Test {
 protected:
  void SetUp() override {
    testsupport::resetProcessDictionary();
    platform::coInitializeEx(nullptr, platform::kCoInitMultithreaded);
    xmlVersion = 0;
  }
  void TearDown() override {
    testsupport::resetProcessDictionary();
    platform::coUninitialize();
    xmlVersion = 0;
  }

  // Loads path into the emptied dictionary; returns what was printed.
  std::string load(const std::string& path) {
    testsupport::resetProcessDictionary();
    std::snprintf(d.dictionaryPath, sizeof d.dictionaryPath, "%s", path.c_str());
    testing::internal::CaptureStdout();
    if (path.find(".xml") != std::string::npos) {
      loadXmlDictionary(d);
    } else {
      loadTextDictionary(d);
    }
    return testing::internal::GetCapturedStdout();
  }
  std::string save(const std::string& path) {
    std::snprintf(d.dictionaryPath, sizeof d.dictionaryPath, "%s", path.c_str());
    testing::internal::CaptureStdout();
    if (path.find(".xml") != std::string::npos) {
      saveXmlDictionary(d);
    } else {
      saveTextDictionary(d);
    }
    return testing::internal::GetCapturedStdout();
  }
  void add(const std::string& token, int32_t ham, int32_t spam) {
    LoadedEntry loaded{};
    std::snprintf(loaded.tokenText, sizeof loaded.tokenText, "%s", token.c_str());
    loaded.tokenLength = static_cast<int32_t>(token.size());
    loaded.hamCount = ham;
    loaded.spamCount = spam;
    ASSERT_EQ(addLoadedEntry(d, loaded), 1);
  }

  TokenDictionary& d = tokenDictionary;
  testsupport::ScopedHostDir host;
  testsupport::ScopedTempDir dir;
};

TEST_F(HostileDictionaryTest, TextFilesAroundTheTableSize) {
  const struct {
    int rows;
    int32_t loaded;
    const char* refusal;
  } cases[] = {
      {kDictionaryRows - 1, kDictionaryRows - 1, nullptr},
      {kDictionaryRows, kDictionaryRows, nullptr},
      {kDictionaryRows + 1, kDictionaryRows, "Dictionary full: 1 entries left out\n"},
  };
  const std::string path = dir.file("words.txt");
  for (const auto& c : cases) {
    std::string text = "Token\t1\t1\n";
    char row[32];
    for (int i = 0; i < c.rows; ++i) {
      std::snprintf(row, sizeof row, "r%07d\t1\t1\n", i);
      text += row;
    }
    testsupport::writeFile(path, text);
    const std::string printed = load(path);
    EXPECT_EQ(d.entryCount, c.loaded) << c.rows;
    EXPECT_EQ(printed.find("Dictionary full"), c.refusal ? 0u : std::string::npos) << printed;
    if (c.refusal) {
      EXPECT_EQ(printed.compare(0, std::strlen(c.refusal), c.refusal), 0);
    }
  }
}

TEST_F(HostileDictionaryTest, TextLineOfAMegabyteIsReadInPiecesAndSkipped) {
  // 1025 pieces of 1023 characters: every one a token too long to keep.
  const std::string path = dir.file("words.txt");
  testsupport::writeFile(path,
                         "Token\t1\t2\n" + std::string(1023 * 1025, 'x') + "tail\t4\t5\nnext\t6\t7\n");
  load(path);
  ASSERT_EQ(d.entryCount, 2);
  EXPECT_STREQ(d.entries[0].tokenText, "tail");
  EXPECT_STREQ(d.entries[1].tokenText, "next");
}

TEST_F(HostileDictionaryTest, EveryByteInATokenSurvivesASaveAndALoad) {
  // Tokens "ab?cd" holding each byte from 0x01 to 0xFF. The text format
  // carries every byte but its two separators, TAB and LF, which no
  // tokenizer puts in a token. XML carries every byte from the blank up: a
  // control character would not come back as written (XML has no place for
  // most of them and turns CR into LF), so those rows are left out of the
  // file, which must still load.
  auto tokenOf = [](int byte) { return std::string("ab") + static_cast<char>(byte) + "cd"; };
  auto xmlCarries = [](int byte) { return byte >= 0x20; };
  for (const char* name : {"words.txt", "words.xml"}) {
    SCOPED_TRACE(name);
    const bool xml = std::strstr(name, ".xml") != nullptr;
    testsupport::resetProcessDictionary();
    d.hamMessageTotal = 11;
    d.spamMessageTotal = 12;
    for (int byte = 1; byte <= 0xFF; ++byte) {
      if (!xml && (byte == '\t' || byte == '\n')) continue;
      add(tokenOf(byte), byte, 3);
    }
    const int32_t saved = d.entryCount;
    const std::string path = dir.file(name);
    save(path);
    load(path);
    EXPECT_EQ(d.hamMessageTotal, 11);
    EXPECT_EQ(d.spamMessageTotal, 12);
    int32_t expected = 0;
    for (int byte = 1; byte <= 0xFF; ++byte) {
      if (!xml && (byte == '\t' || byte == '\n')) continue;
      if (xml && !xmlCarries(byte)) continue;
      // The byte sits in the middle of the token, where no trimming of
      // white space reaches it.
      ++expected;
      const std::string token = tokenOf(byte);
      TokenCounts counts{token.c_str(), 0, 0};
      EXPECT_EQ(lookupTokenCounts(d, counts), 1) << "byte " << byte;
      EXPECT_EQ(counts.hamCount, byte) << "byte " << byte;
      EXPECT_EQ(counts.spamCount, 3) << "byte " << byte;
    }
    EXPECT_EQ(d.entryCount, expected);
    EXPECT_LE(d.entryCount, saved);
  }
}

TEST_F(HostileDictionaryTest, XmlBuiltToHurtTheLoaderIsRefusedOrBounded) {
  const std::string path = dir.file("words.xml");
  const struct {
    const char* name;
    std::string content;
  } refused[] = {
      {"billion laughs",
       "<!DOCTYPE ELEMENTS [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
       "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">]>"
       "<ELEMENTS><ENTRIES W=\"1\" B=\"1\"><E W=\"3\" B=\"3\">&d;</E></ENTRIES></ELEMENTS>"},
      {"external entity",
       "<!DOCTYPE ELEMENTS [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
       "<ELEMENTS><ENTRIES W=\"1\" B=\"1\"><E W=\"3\" B=\"3\">&x;</E></ENTRIES></ELEMENTS>"},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.name);
    testsupport::writeFile(path, c.content);
    const std::string printed = load(path);
    EXPECT_EQ(d.entryCount, 0);
    EXPECT_NE(printed.find("A document type declaration is not allowed."), std::string::npos)
        << printed;
  }

  // 200,000 levels of E elements, each with its counts: asking each for
  // its text would walk all the levels below it, so such a document is
  // refused where its nesting goes too deep.
  const int depth = 200000;
  std::string deep = "<ELEMENTS><ENTRIES W=\"1\" B=\"2\">";
  for (int i = 0; i < depth; ++i) deep += "<E W=\"3\" B=\"4\">";
  deep += "deep";
  for (int i = 0; i < depth; ++i) deep += "</E>";
  deep += "</ENTRIES></ELEMENTS>";
  testsupport::writeFile(path, deep);
  const std::string printed = load(path);
  EXPECT_EQ(d.entryCount, 0);
  EXPECT_NE(printed.find("Elements are nested too deeply."), std::string::npos) << printed.substr(0, 400);
}

std::string filterKeyFile(const std::string& valueLines) {
  return "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\"
         "Corvistane\\Corvistane\\Agents\\MTA\\Filters\\MTAFILTER]\n" +
         valueLines;
}

constexpr const char* kFilterKeyPath =
    "SOFTWARE\\Wow6432Node\\Corvistane\\Corvistane\\Agents\\MTA\\Filters\\MTAFILTER";

// The result of querying one value's size under the filter key.
long querySize(const char* name, uint32_t* size) {
  platform::RegKey key = nullptr;
  const long opened =
      platform::regOpenKey(platform::RegHive::LocalMachine, kFilterKeyPath, platform::kKeyQueryValue, &key);
  if (opened != 0) return opened;
  *size = 0;
  const long result = platform::regQueryValue(key, name, nullptr, nullptr, size);
  platform::regCloseKey(key);
  return result;
}

TEST(HostileRegistryTest, HugeValuesReadWholeAndAMissingHeaderIsRefused) {
  const size_t megabyte = 1 << 20;
  std::string hexList = "\"Bin\"=hex:";
  for (size_t i = 0; i < megabyte; ++i) hexList += i + 1 == megabyte ? "ab\n" : (i % 25 == 24 ? "ab,\\\n  " : "ab,");
  {
    testsupport::ScopedHostDir host;
    host.writeRegistry(filterKeyFile("\"Text\"=\"" + std::string(megabyte, 'v') + "\"\n" + hexList));
    uint32_t size = 0;
    EXPECT_EQ(querySize("Text", &size), 0);
    EXPECT_EQ(size, megabyte + 1);  // the text and its terminator
    EXPECT_EQ(querySize("Bin", &size), 0);
    EXPECT_EQ(size, megabyte);
  }
  {
    // Keys and values without the header line: not a registry file.
    testsupport::ScopedHostDir host;
    host.writeRegistry(filterKeyFile("\"Text\"=\"x\"\n").substr(std::strlen("Windows Registry Editor Version 5.00\n")));
    testing::internal::CaptureStderr();
    uint32_t size = 0;
    EXPECT_EQ(querySize("Text", &size), static_cast<long>(platform::kErrorFileNotFound));
    EXPECT_EQ(testing::internal::GetCapturedStderr().find("registry.reg line 1:"), 0u);
  }
}

}  // namespace
