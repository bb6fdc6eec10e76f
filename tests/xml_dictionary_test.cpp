// The XML dictionary format: saving, loading and the documents people make
// by hand.
#include "dictionary/xml/xml_dictionary.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dictionary/xml/xml_document.h"
#include "platform/platform.h"
#include "tests/test_support.h"

namespace {

struct Row {
  std::string token;
  int32_t ham;
  int32_t spam;
};

class XmlDictionaryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    xmlVersion = 0;
    platform::coInitializeEx(nullptr, platform::kCoInitMultithreaded);
    testsupport::resetProcessDictionary();
    path = dir.file("dict.xml");
  }
  void TearDown() override {
    testsupport::resetProcessDictionary();
    platform::coUninitialize();
    xmlVersion = 0;
  }

  void addRow(const std::string& token, int32_t ham, int32_t spam, int32_t live = 1) {
    LoadedEntry loaded{};
    std::snprintf(loaded.tokenText, sizeof loaded.tokenText, "%s", token.c_str());
    loaded.tokenLength = static_cast<int32_t>(token.size());
    loaded.hamCount = ham;
    loaded.spamCount = spam;
    ASSERT_EQ(addLoadedEntry(tokenDictionary, loaded), 1);
    tokenDictionary.entries[tokenDictionary.entryCount - 1].live = live;
  }

  int save(std::string* output) {
    std::snprintf(tokenDictionary.dictionaryPath, kDictionaryPathSize, "%s", path.c_str());
    testing::internal::CaptureStdout();
    int result = saveXmlDictionary(tokenDictionary);
    *output = testing::internal::GetCapturedStdout();
    return result;
  }

  // Loads path into the emptied dictionary, as the storage layer does.
  int load(std::string* output) {
    testsupport::resetProcessDictionary();
    std::snprintf(tokenDictionary.dictionaryPath, kDictionaryPathSize, "%s", path.c_str());
    tokenDictionary.phraseWordLimit = 7;
    tokenDictionary.phraseWordCount = 5;
    testing::internal::CaptureStdout();
    int result = loadXmlDictionary(tokenDictionary);
    *output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(tokenDictionary.xmlDocument, nullptr);
    EXPECT_EQ(tokenDictionary.xmlEntryList, nullptr);
    return result;
  }

  std::vector<Row> rows() {
    std::vector<Row> out;
    for (int32_t i = 0; i < tokenDictionary.entryCount; ++i) {
      const DictionaryEntry& e = tokenDictionary.entries[i];
      out.push_back(Row{e.tokenText, e.hamCount, e.spamCount});
    }
    return out;
  }

  static std::string loadOutput(int dots, int32_t count) {
    return "Loading Dictionary..\n" + std::string(static_cast<size_t>(dots), '.') +
           "\nLoading Dictionary Completed. (" + std::to_string(count) + ")\n";
  }

  testsupport::ScopedHostDir host;
  testsupport::ScopedTempDir dir;
  std::string path;
};

bool operator==(const Row& a, const Row& b) {
  return a.token == b.token && a.ham == b.ham && a.spam == b.spam;
}

void PrintTo(const Row& row, std::ostream* os) {
  *os << row.token << ":" << row.ham << ":" << row.spam;
}

TEST_F(XmlDictionaryTest, SavesTheElementTreeAndReadsItBack) {
  tokenDictionary.hamMessageTotal = 800;
  tokenDictionary.spamMessageTotal = 1200;
  addRow("offer", 1, 57);
  addRow("meeting", 41, 3);
  addRow("ab", 9, 9);            // two bytes: not in this format
  addRow("purged", 9, 9, 0);     // not live
  addRow("once", 1, 1);          // written, too rare to read back
  addRow("zero", 0, 3);
  addRow("two", 2, 1);
  addRow("\xe9t\xe9\x80\x81", 3, 4);  // bytes above 0x7F, one the code page leaves undefined
  addRow("a<&>\"'z", 2, 2);
  addRow("thirty-bytes-long-token-000030", 5, 5);
  std::string output;
  EXPECT_EQ(save(&output), 1);
  EXPECT_EQ(output, "");
  EXPECT_EQ(testsupport::readFile(path).substr(0, 97),
            "<ELEMENTS><ENTRIES W=\"800\" B=\"1200\"><E W=\"1\" B=\"57\">offer</E>"
            "<E W=\"41\" B=\"3\">meeting</E><E W=\"1\" ");

  EXPECT_EQ(load(&output), 1);
  EXPECT_EQ(output, loadOutput(7, 7));
  EXPECT_EQ(tokenDictionary.hamMessageTotal, 800);
  EXPECT_EQ(tokenDictionary.spamMessageTotal, 1200);
  EXPECT_EQ(tokenDictionary.phraseWordLimit, 1);
  EXPECT_EQ(tokenDictionary.phraseWordCount, 0);
  EXPECT_EQ(rows(), (std::vector<Row>{{"offer", 1, 57},
                                      {"meeting", 41, 3},
                                      {"zero", 0, 3},
                                      {"two", 2, 1},
                                      {"\xe9t\xe9\x80\x81", 3, 4},
                                      {"a<&>\"'z", 2, 2},
                                      {"thirty-bytes-long-token-000030", 5, 5}}));
}

TEST_F(XmlDictionaryTest, RowsXmlCannotHoldAreLeftOutSoTheFileLoadsBack) {
  tokenDictionary.hamMessageTotal = 1;
  for (int c = 1; c < 0x20; ++c) addRow(std::string("ab") + static_cast<char>(c) + "z", 3, 3);
  addRow("kept", 3, 3);
  std::string output;
  EXPECT_EQ(save(&output), 1);
  EXPECT_EQ(output, "");
  EXPECT_EQ(load(&output), 1);
  EXPECT_EQ(output, loadOutput(1, 1));
  EXPECT_EQ(rows(), (std::vector<Row>{{"kept", 3, 3}}));
}

TEST_F(XmlDictionaryTest, EmptyDictionaryKeepsItsTotals) {
  tokenDictionary.hamMessageTotal = 4;
  tokenDictionary.spamMessageTotal = -2;
  std::string output;
  EXPECT_EQ(save(&output), 1);
  EXPECT_EQ(testsupport::readFile(path), "<ELEMENTS><ENTRIES W=\"4\" B=\"-2\"/></ELEMENTS>");
  EXPECT_EQ(load(&output), 1);
  EXPECT_EQ(output, loadOutput(0, 0));
  EXPECT_EQ(tokenDictionary.hamMessageTotal, 4);
  EXPECT_EQ(tokenDictionary.spamMessageTotal, -2);
}

struct HandMade {
  const char* name;
  std::string content;
  std::string extraOutput;  // between the first line and the dots
  int dots;
  int32_t ham;
  int32_t spam;
  std::vector<Row> rows;
  std::string afterOutput;  // after the completion line
};

TEST_F(XmlDictionaryTest, HandMadeDocuments) {
  const std::string thirtyOne(31, 'x');
  const std::string thirty(30, 'y');
  const HandMade cases[] = {
      {"duplicates: the first wins, a dot each",
       "<ELEMENTS><ENTRIES W='5' B='6'><E W='3' B='0'>dup</E><E W='9' B='9'>dup</E></ENTRIES></ELEMENTS>",
       "", 2, 5, 6, {{"dup", 3, 0}}, ""},
      {"wrapped root and nested entries",
       "<?xml version='1.0' encoding='UTF-8'?>\n<ROOT>\n <X><ELEMENTS>\n  <ENTRIES W='1' B='2'>\n"
       "   <G><E W='3' B='3'>\n deep \n</E></G>\n  </ENTRIES>\n</ELEMENTS></X></ROOT>\n",
       "", 1, 1, 2, {{"deep", 3, 3}}, ""},
      {"several ENTRIES: totals from the first, entries from all",
       "<ELEMENTS><ENTRIES W='1' B='2'><E W='3' B='0'>one</E></ENTRIES>"
       "<ENTRIES W='8' B='9'><E W='0' B='3'>two</E></ENTRIES></ELEMENTS>",
       "", 2, 1, 2, {{"one", 3, 0}, {"two", 0, 3}}, ""},
      {"attributes that are not numbers read as 0",
       "<ELEMENTS><ENTRIES W='abc' B=' 12x'><E W='x' B='3'>yes</E><E W='1' B='two'>no</E>"
       "<E W='+2' B='-1'>nope</E><E W='99999999999' B='0'>big</E></ENTRIES></ELEMENTS>",
       "", 2, 0, 12, {{"yes", 0, 3}, {"big", 2147483647, 0}}, ""},
      {"short, long and empty tokens",
       "<ELEMENTS><ENTRIES W='1' B='1'><E W='3' B='3'>ab</E><E W='3' B='3'></E><E W='3' B='3'>" +
           thirtyOne + "</E><E W='3' B='3'>" + thirty + "</E></ENTRIES></ELEMENTS>",
       "", 1, 1, 1, {{thirty, 3, 3}},
       "Entries with a token longer than 30 bytes left out: 1\n"},
      {"no ENTRIES element",
       "<ELEMENTS><E W='3' B='3'>tok</E></ELEMENTS>",
       "Dictionary has no ENTRIES element: message totals taken as 0\n", 0, 0, 0, {}, ""},
      {"missing attributes",
       "<ELEMENTS><ENTRIES W='7'><E W='3'>noB</E><E B='3'>noW</E><E W='0' B='3'>ok!</E></ENTRIES>"
       "</ELEMENTS>",
       "Dictionary ENTRIES element has no B attribute: spam message total taken as 0\n", 1, 7, 0,
       {{"ok!", 0, 3}}, "Entries without a W or B attribute left out: 2\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::writeFile(path, c.content);
    std::string output;
    EXPECT_EQ(load(&output), 1);
    EXPECT_EQ(output, "Loading Dictionary..\n" + c.extraOutput + std::string(c.dots, '.') +
                          "\nLoading Dictionary Completed. (" + std::to_string(c.rows.size()) + ")\n" +
                          c.afterOutput);
    EXPECT_EQ(tokenDictionary.hamMessageTotal, c.ham);
    EXPECT_EQ(tokenDictionary.spamMessageTotal, c.spam);
    EXPECT_EQ(rows(), c.rows);
  }
}

TEST_F(XmlDictionaryTest, LoadStopsAtTheTableLimit) {
  testsupport::writeFile(path,
                         "<ELEMENTS><ENTRIES W='1' B='1'><E W='3' B='0'>last</E><E W='3' B='0'>over1</E>"
                         "<E W='3' B='0'>over2</E></ENTRIES></ELEMENTS>");
  testsupport::resetProcessDictionary();
  for (int32_t i = 0; i < kDictionaryRows - 1; ++i) {
    LoadedEntry loaded{};
    loaded.tokenLength = std::snprintf(loaded.tokenText, sizeof loaded.tokenText, "t%06d", i);
    loaded.hamCount = 3;
    addLoadedEntry(tokenDictionary, loaded);
  }
  std::snprintf(tokenDictionary.dictionaryPath, kDictionaryPathSize, "%s", path.c_str());
  testing::internal::CaptureStdout();
  EXPECT_EQ(loadXmlDictionary(tokenDictionary), 1);
  std::string output = testing::internal::GetCapturedStdout();
  EXPECT_EQ(output,
            "Loading Dictionary..\n.\nLoading Dictionary Completed. (200000)\n"
            "Dictionary full: 2 entries left out\n");
  EXPECT_EQ(tokenDictionary.entryCount, kDictionaryRows);
  EXPECT_STREQ(tokenDictionary.entries[kDictionaryRows - 1].tokenText, "last");
}

TEST_F(XmlDictionaryTest, MissingOrMalformedFileLeavesTheDictionaryEmpty) {
  std::string output;
  EXPECT_EQ(load(&output), 0);
  EXPECT_EQ(output.rfind("Loading Dictionary..\nError:\nCode = 0x800c0005\n", 0), 0u) << output;
  EXPECT_EQ(tokenDictionary.entryCount, 0);

  testsupport::writeFile(path, "<ELEMENTS><ENTRIES W='1' B='1'><E W='3' B='3'>tok</E>");
  EXPECT_EQ(load(&output), 0);
  EXPECT_EQ(output.find("Loading Completed"), std::string::npos);
  EXPECT_EQ(tokenDictionary.entryCount, 0);
  EXPECT_EQ(tokenDictionary.phraseWordLimit, 1);
}

TEST_F(XmlDictionaryTest, WithoutTheComponentNothingIsWrittenOrRead) {
  host.writeRegistry(
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Corvistane\\Corvistane\\Providers\\Store]\n"
      "\"XML Version\"=\"6\"\n");
  addRow("token", 3, 3);
  std::string output;
  EXPECT_EQ(save(&output), 0);
  EXPECT_EQ(output, "Unable to load MSXML Library\nXML Lib error or COM not Init\n");
  EXPECT_FALSE(testsupport::fileExists(path));

  testsupport::writeFile(path, "<ELEMENTS><ENTRIES W='1' B='1'/></ELEMENTS>");
  EXPECT_EQ(load(&output), 0);
  EXPECT_EQ(output,
            "Loading Dictionary..\nUnable to load MSXML Library\nError:\nCode = 80004003\n"
            "Code meaning = Invalid pointer\nSource = \nError Description = \n");
  EXPECT_EQ(tokenDictionary.hamMessageTotal, 0);
}

TEST_F(XmlDictionaryTest, FailedSaveIsReportedAndNotSuccess) {
  path = dir.file("missing-folder/dict.xml");
  addRow("token", 3, 3);
  std::string output;
  EXPECT_EQ(save(&output), 0);
  EXPECT_EQ(output.rfind("Error:\nCode = 8007", 0), 0u) << output;
  EXPECT_FALSE(testsupport::fileExists(path));
}

TEST_F(XmlDictionaryTest, SaveReplacesAnExistingFileWhole) {
  testsupport::writeFile(path, std::string(5000, 'x'));
  tokenDictionary.hamMessageTotal = 1;
  std::string output;
  EXPECT_EQ(save(&output), 1);
  EXPECT_EQ(testsupport::readFile(path), "<ELEMENTS><ENTRIES W=\"1\" B=\"0\"/></ELEMENTS>");
}

}  // namespace
