// The XML document access layer: creating, loading, building elements,
// error reports and the ANSI conversions.
#include "dictionary/xml/xml_document.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "tests/test_support.h"

namespace {

using platform::xml::ComError;
using platform::xml::ComPtr;
using platform::xml::DomDocument;
using platform::xml::DomNode;
using platform::xml::WideString;

std::string storeKeyRegistry(const std::string& valueLine) {
  return "Windows Registry Editor Version 5.00\n\n"
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Corvistane\\Corvistane\\Providers\\Store]\n" +
         valueLine + "\n";
}

class XmlDocumentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    xmlVersion = 0;
    platform::coInitializeEx(nullptr, platform::kCoInitMultithreaded);
  }
  void TearDown() override {
    platform::coUninitialize();
    xmlVersion = 0;
  }

  ComPtr<DomDocument> create(const char* failureMessage, std::string* output) {
    testing::internal::CaptureStdout();
    ComPtr<DomDocument> document = createXmlDocument(failureMessage);
    *output = testing::internal::GetCapturedStdout();
    return document;
  }

  testsupport::ScopedHostDir host;
  testsupport::ScopedTempDir dir;
};

TEST_F(XmlDocumentTest, VersionSettingChoosesTheComponent) {
  const struct {
    const char* valueLine;  // empty: no value at all
    int version;
  } cases[] = {
      {"", 3},
      {"\"XML Version\"=\"\"", 3},
      {"\"XML Version\"=\"3\"", 3},
      {"\"XML Version\"=\"0\"", 3},
      {"\"XML Version\"=\"x\"", 3},
      {"\"XML Version\"=\"4\"", 4},
      {"\"XML Version\"=\"6.0\"", 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.valueLine);
    xmlVersion = 0;
    host.writeRegistry(storeKeyRegistry(c.valueLine));
    std::string output;
    ComPtr<DomDocument> document = create("Unable to load MSXML Library", &output);
    EXPECT_EQ(xmlVersion, c.version);
    EXPECT_EQ(static_cast<bool>(document), c.version == 3);
    EXPECT_EQ(output, c.version == 3 ? "" : "Unable to load MSXML Library\n");
  }
}

TEST_F(XmlDocumentTest, CreationFailureGoesToTheEventLog) {
  host.writeRegistry(storeKeyRegistry("\"XML Version\"=\"6\""));
  std::string output;
  EXPECT_FALSE(create("Unable to load MSXML Library", &output));
  EXPECT_EQ(output, "Unable to load MSXML Library\n");
  const std::string events = host.readEvents();
  EXPECT_NE(events.find("\t4\tCorvistane\t0x40000001\tCorvistane Bayesian Utility ("), std::string::npos)
      << events;
  EXPECT_NE(events.find("\t[-1] Error creating DOM instance\n"), std::string::npos) << events;
}

TEST_F(XmlDocumentTest, VersionIsReadOncePerProcess) {
  host.writeRegistry(storeKeyRegistry("\"XML Version\"=\"6\""));
  std::string output;
  EXPECT_FALSE(create("", &output));
  EXPECT_EQ(output, "");  // an empty failure message prints nothing
  host.writeRegistry(storeKeyRegistry("\"XML Version\"=\"3\""));
  EXPECT_FALSE(create("", &output));
  EXPECT_EQ(xmlVersion, 6);

  xmlVersion = 0;
  EXPECT_TRUE(create("", &output));
  host.writeRegistry(storeKeyRegistry("\"XML Version\"=\"6\""));
  EXPECT_TRUE(create("", &output));
}

TEST_F(XmlDocumentTest, CreationFailsWithoutCom) {
  platform::coUninitialize();
  std::string output;
  EXPECT_FALSE(create("Unable to load MSXML Library", &output));
  platform::coInitializeEx(nullptr, platform::kCoInitMultithreaded);
  EXPECT_EQ(output, "Unable to load MSXML Library\n");
  EXPECT_NE(host.readEvents().find("\t[-2147221008] Error creating DOM instance"), std::string::npos);
}

class XmlLoadTest : public XmlDocumentTest {
 protected:
  void SetUp() override {
    XmlDocumentTest::SetUp();
    std::string ignored;
    document = create("", &ignored);
    ASSERT_TRUE(document);
  }
  void TearDown() override {
    document.reset();
    XmlDocumentTest::TearDown();
  }
  ComPtr<DomNode> load(const std::string& path, std::string* output) {
    testing::internal::CaptureStdout();
    ComPtr<DomNode> root = loadXmlDocument(document, path.c_str());
    *output = testing::internal::GetCapturedStdout();
    return root;
  }
  ComPtr<DomDocument> document;
};

TEST_F(XmlLoadTest, ReturnsTheRootElement) {
  testsupport::writeFile(dir.file("d.xml"), "<ELEMENTS><ENTRIES W=\"1\" B=\"2\"/></ELEMENTS>");
  std::string output;
  ComPtr<DomNode> root = load(dir.file("d.xml"), &output);
  ASSERT_TRUE(root);
  EXPECT_EQ(root->nodeName(), u"ELEMENTS");
  EXPECT_EQ(output, "");
}

TEST_F(XmlLoadTest, MissingFilePrintsTheParseErrorReport) {
  std::string output;
  EXPECT_FALSE(load(dir.file("absent.xml"), &output));
  EXPECT_EQ(output,
            "Error:\nCode = 0x800c0005\nSource = Line : 0; Char : 0\n"
            "Error Description = The system cannot locate the resource specified.\n");
}

TEST_F(XmlLoadTest, MalformedAndRefusedDocumentsPrintTheirPosition) {
  const struct {
    const char* content;
    const char* position;
  } cases[] = {
      {"<ELEMENTS>\n<ENTRIES></ELEMENTS>", "Source = Line : 2; Char : "},
      {"<!DOCTYPE ELEMENTS [<!ENTITY x SYSTEM \"/etc/passwd\">]>\n<ELEMENTS>&x;</ELEMENTS>",
       "Source = Line : 1; Char : "},
      {"<ELEMENTS/>\n\n<ELEMENTS/>", "Source = Line : 3; Char : 1\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content);
    testsupport::writeFile(dir.file("bad.xml"), c.content);
    std::string output;
    EXPECT_FALSE(load(dir.file("bad.xml"), &output));
    EXPECT_EQ(output.rfind("Error:\nCode = 0x", 0), 0u) << output;
    EXPECT_NE(output.find(c.position), std::string::npos) << output;
    EXPECT_NE(output.find("\nError Description = "), std::string::npos);
    EXPECT_EQ(output.find("passwd\n"), output.npos);
    EXPECT_EQ(output.find("root:"), output.npos);  // no external entity was read
  }
}

TEST_F(XmlLoadTest, NullDocumentIsReportedAsInvalidPointer) {
  document.reset();
  std::string output;
  EXPECT_FALSE(load(dir.file("absent.xml"), &output));
  EXPECT_EQ(output,
            "Error:\nCode = 80004003\nCode meaning = Invalid pointer\nSource = \n"
            "Error Description = \n");
}

class XmlAppendTest : public XmlLoadTest {
 protected:
  ComPtr<DomNode> append(const ComPtr<DomNode>& parent, const char* name, const char* a1,
                         const char* v1, const char* a2, const char* v2, const char* text,
                         std::string* output) {
    testing::internal::CaptureStdout();
    ComPtr<DomNode> node = appendElement(document, parent, name, a1, v1, a2, v2, text);
    *output = testing::internal::GetCapturedStdout();
    return node;
  }
};

TEST_F(XmlAppendTest, BuildsElementsWithAttributesInOrder) {
  std::string output;
  ComPtr<DomNode> root = append(document, "R", nullptr, nullptr, nullptr, nullptr, nullptr, &output);
  ASSERT_TRUE(root);
  EXPECT_TRUE(append(root, "E", "W", "1", "B", "57", "offer", &output));
  EXPECT_TRUE(append(root, "E", "B", "2", "W", "3", nullptr, &output));
  EXPECT_TRUE(append(root, "E", nullptr, nullptr, "B", "4", "\xe9t\xe9", &output));
  EXPECT_TRUE(append(root, "X", nullptr, nullptr, nullptr, nullptr, nullptr, &output));
  EXPECT_EQ(output, "");
  const std::string path = dir.file("out.xml");
  document->save(WideString(path.begin(), path.end()));
  EXPECT_EQ(testsupport::readFile(dir.file("out.xml")),
            "<R><E W=\"1\" B=\"57\">offer</E><E B=\"2\" W=\"3\"/><E B=\"4\">\xc3\xa9t\xc3\xa9</E>"
            "<X/></R>");
}

TEST_F(XmlAppendTest, FailuresPrintTheComErrorReport) {
  std::string output;
  EXPECT_FALSE(append(nullptr, "E", "W", "1", nullptr, nullptr, "tok", &output));
  EXPECT_EQ(output,
            "Error:\nCode = 80004003\nCode meaning = Invalid pointer\nSource = \n"
            "Error Description = \n");

  ComPtr<DomNode> root = append(document, "R", nullptr, nullptr, nullptr, nullptr, nullptr, &output);
  EXPECT_FALSE(append(root, "E", "W", "1", nullptr, nullptr, "a\x01z", &output));
  EXPECT_EQ(output.rfind("Error:\nCode = 80070057\nCode meaning = The parameter is incorrect.\n"
                         "Source = XML DOM document\nError Description = ",
                         0),
            0u)
      << output;
  EXPECT_FALSE(root->selectSingleNode(u"E"));  // nothing half-built was appended

  document.reset();
  EXPECT_FALSE(append(root, "E", nullptr, nullptr, nullptr, nullptr, nullptr, &output));
  EXPECT_NE(output.find("Code = 80004003\n"), std::string::npos);
}

TEST(XmlComErrorReportTest, CodeMeanings) {
  const struct {
    uint32_t code;
    const char* meaning;
  } cases[] = {
      {0x80004005u, "Unspecified error"},
      {0x8007000Eu, "Not enough memory resources are available to complete this operation."},
      {0x800401F0u, "CoInitialize has not been called."},
      {0x8000FFFFu, "Catastrophic failure"},
      {0x80040201u, "IDispatch error #1"},
      {0x8004FFFFu, "IDispatch error #65023"},
      {0x80040200u, "Unknown error 0x80040200"},
      {0x0000BEEFu, "Unknown error 0xBEEF"},
  };
  for (const auto& c : cases) {
    testing::internal::CaptureStdout();
    reportComError(ComError(static_cast<int32_t>(c.code), u"Src", u"Something \u00e9"));
    std::string output = testing::internal::GetCapturedStdout();
    char code[16];
    std::snprintf(code, sizeof code, "%08lx", static_cast<unsigned long>(c.code));
    EXPECT_EQ(output, std::string("Error:\nCode = ") + code + "\nCode meaning = " + c.meaning +
                          "\nSource = Src\nError Description = Something \xe9\n");
  }
}

TEST(XmlTextConversionTest, EveryAnsiByteSurvivesTheRoundTrip) {
  std::string all;
  for (int b = 1; b <= 0xFF; ++b) all += static_cast<char>(b);
  WideString wide;
  ASSERT_EQ(toWide(all.c_str(), platform::kCodePageAnsi, &wide), platform::xml::kSOk);
  EXPECT_EQ(wide.size(), 255u);
  EXPECT_EQ(wide[0x80 - 1], u'\u20ac');  // the euro sign
  char back[256];
  ASSERT_EQ(toNarrow(wide, back, sizeof back), back);
  EXPECT_EQ(std::string(back), all);

  for (int b = 1; b <= 0xFF; ++b) {
    const char one[2] = {static_cast<char>(b), 0};
    WideString w;
    ASSERT_EQ(toWide(one, platform::kCodePageAnsi, &w), platform::xml::kSOk);
    char narrow[4];
    ASSERT_TRUE(toNarrow(w, narrow, sizeof narrow));
    EXPECT_EQ(static_cast<unsigned char>(narrow[0]), b);
    EXPECT_EQ(narrow[1], 0);
  }
}

TEST(XmlTextConversionTest, TooSmallBufferGivesNoUnterminatedText) {
  char buffer[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(toNarrow(u"abcd", buffer, sizeof buffer), nullptr);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(toNarrow(u"abc", buffer, sizeof buffer), buffer);
  EXPECT_STREQ(buffer, "abc");

  WideString wide = u"left";
  EXPECT_EQ(toWide(nullptr, platform::kCodePageAnsi, &wide), platform::xml::kEUnexpected);
  EXPECT_EQ(toWide("", platform::kCodePageAnsi, &wide), platform::xml::kSOk);
  EXPECT_EQ(wide, u"");
}

}  // namespace
