// The XML DOM document component of the platform layer.
#include "platform/xml_dom.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "tests/test_support.h"

namespace {

using platform::xml::ComError;
using platform::xml::ComPtr;
using platform::xml::DomDocument;
using platform::xml::DomNode;
using platform::xml::DomNodeList;
using platform::xml::HRESULT;
using platform::xml::WideString;

WideString wide(const std::string& ascii) { return WideString(ascii.begin(), ascii.end()); }

std::string narrow(const WideString& text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

class XmlDomTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::coInitializeEx(nullptr, platform::kCoInitMultithreaded);
    ASSERT_EQ(platform::xml::createDomDocument30(&document), platform::xml::kSOk);
    ASSERT_TRUE(document);
  }
  void TearDown() override {
    document.reset();
    platform::coUninitialize();
  }

  bool loadText(const std::string& content) {
    testsupport::writeFile(dir.file("doc.xml"), content);
    return document->load(wide(dir.file("doc.xml")));
  }

  ComPtr<DomNode> element(const std::string& name) {
    return document->createNode(platform::xml::kNodeElement, wide(name), u"");
  }

  void setAttribute(const ComPtr<DomNode>& node, const std::string& name, const std::string& value) {
    ComPtr<DomNode> attribute = document->createNode(platform::xml::kNodeAttribute, wide(name), u"");
    attribute->putText(wide(value));
    node->attributes()->setNamedItem(attribute.get());
  }

  std::string names(const ComPtr<DomNodeList>& list) {
    std::string out;
    for (long i = 0; i < list->length(); ++i) {
      if (!out.empty()) out += ",";
      out += narrow(list->item(i)->getText());
    }
    return out;
  }

  testsupport::ScopedTempDir dir;
  ComPtr<DomDocument> document;
};

TEST(XmlDomCreateTest, FailsWithoutComOnTheThread) {
  ComPtr<DomDocument> document;
  EXPECT_EQ(platform::xml::createDomDocument30(&document), platform::xml::kCoENotInitialized);
  EXPECT_FALSE(document);
  EXPECT_EQ(platform::xml::createDomDocument30(nullptr), platform::xml::kEPointer);
}

TEST(XmlDomCreateTest, CallThroughNullPointerRaisesEPointerWithoutErrorInfo) {
  ComPtr<DomDocument> document;
  try {
    document->documentElement();
    FAIL() << "no exception";
  } catch (const ComError& error) {
    EXPECT_EQ(error.error(), platform::xml::kEPointer);
    EXPECT_FALSE(error.hasErrorInfo());
  }
}

TEST(XmlDomCreateTest, SystemMessagesOfTheRaisedCodes) {
  std::string text;
  EXPECT_TRUE(platform::xml::formatSystemMessage(platform::xml::kEPointer, &text));
  EXPECT_EQ(text, "Invalid pointer\r\n");
  EXPECT_TRUE(platform::xml::formatSystemMessage(platform::xml::kCoENotInitialized, &text));
  EXPECT_EQ(text, "CoInitialize has not been called.\r\n");
  EXPECT_FALSE(platform::xml::formatSystemMessage(static_cast<HRESULT>(0x80040201u), &text));
  EXPECT_EQ(text, "");
}

TEST_F(XmlDomTest, SavesBuiltTreeWithoutDeclarationOrWhiteSpaceAndLoadsItBack) {
  ComPtr<DomNode> root = element("ELEMENTS");
  document->appendChild(root.get());
  ComPtr<DomNode> entries = element("ENTRIES");
  setAttribute(entries, "W", "800");
  setAttribute(entries, "B", "1200");
  root->appendChild(entries.get());
  ComPtr<DomNode> e = element("E");
  setAttribute(e, "W", "1");
  setAttribute(e, "B", "57");
  e->putText(u"a<b&c\u00e9");
  entries->appendChild(e.get());

  document->save(wide(dir.file("out.xml")));
  EXPECT_EQ(testsupport::readFile(dir.file("out.xml")),
            "<ELEMENTS><ENTRIES W=\"800\" B=\"1200\"><E W=\"1\" B=\"57\">a&lt;b&amp;c\xc3\xa9</E>"
            "</ENTRIES></ELEMENTS>");

  ComPtr<DomDocument> again;
  ASSERT_EQ(platform::xml::createDomDocument30(&again), platform::xml::kSOk);
  ASSERT_TRUE(again->load(wide(dir.file("out.xml"))));
  ComPtr<DomNode> first = again->selectSingleNode(u"//ELEMENTS/ENTRIES//E");
  ASSERT_TRUE(first);
  EXPECT_EQ(first->getText(), u"a<b&c\u00e9");
  EXPECT_EQ(first->attributes()->getNamedItem(u"B")->getText(), u"57");
  EXPECT_FALSE(first->attributes()->getNamedItem(u"X"));
  EXPECT_EQ(again->documentElement()->nodeName(), u"ELEMENTS");
}

TEST_F(XmlDomTest, AnEmptyDocumentSavesAsAnEmptyFile) {
  ComPtr<DomNode> unattached = element("ELEMENTS");  // made, never appended
  document->save(wide(dir.file("empty.xml")));
  EXPECT_TRUE(testsupport::fileExists(dir.file("empty.xml")));
  EXPECT_EQ(testsupport::readFile(dir.file("empty.xml")), "");
}

TEST_F(XmlDomTest, SaveIntoMissingFolderRaisesAndWritesNothing) {
  document->appendChild(element("ELEMENTS").get());
  EXPECT_THROW(document->save(wide(dir.file("missing/out.xml"))), ComError);
}

TEST_F(XmlDomTest, PatternsSelectInDocumentOrderWithoutDuplicates) {
  ASSERT_TRUE(loadText(
      "<R><ELEMENTS><ENTRIES W='1'><E>a</E><X><E>b</E></X></ENTRIES>"
      "<ELEMENTS><ENTRIES W='2'><E>c</E></ENTRIES></ELEMENTS></ELEMENTS>"
      "<ENTRIES><E>outside</E></ENTRIES><ELEMENTS><ENTRIES W='3'><E>d</E></ENTRIES></ELEMENTS></R>"));
  EXPECT_EQ(names(document->selectNodes(u"//ELEMENTS/ENTRIES//E")), "a,b,c,d");
  EXPECT_EQ(names(document->selectNodes(u"//ELEMENTS/ENTRIES/E")), "a,c,d");
  EXPECT_EQ(document->selectNodes(u"//ELEMENTS//ENTRIES")->length(), 3);
  EXPECT_EQ(document->selectSingleNode(u"//ELEMENTS/ENTRIES")->attributes()->getNamedItem(u"W")->getText(),
            u"1");
  EXPECT_EQ(names(document->selectNodes(u"/R/ENTRIES/E")), "outside");
  EXPECT_FALSE(document->selectSingleNode(u"//NOTHERE"));
  EXPECT_EQ(document->selectNodes(u"//NOTHERE")->length(), 0);
  EXPECT_FALSE(document->selectNodes(u"//E")->item(99));
  EXPECT_THROW(document->selectNodes(u"//E[1]"), ComError);
}

TEST_F(XmlDomTest, ElementTextIsTheTrimmedTextOfItsDescendants) {
  ASSERT_TRUE(loadText("<R>\n  <E W=' 7 '>\n   tok<b>en</b>  \n</E>\n</R>\n"));
  ComPtr<DomNode> e = document->selectSingleNode(u"//E");
  EXPECT_EQ(e->getText(), u"token");
  EXPECT_EQ(e->attributes()->getNamedItem(u"W")->getText(), u" 7 ");
  e->putText(u"new");
  EXPECT_EQ(e->getText(), u"new");
  EXPECT_EQ(document->selectNodes(u"//b")->length(), 0);
}

struct BadDocument {
  const char* name;
  std::string content;
  long line;
  long linepos;
};

TEST_F(XmlDomTest, LoadFailuresLeaveAParseErrorWithPosition) {
  const BadDocument cases[] = {
      {"mismatched end tag", "<a>\n  <b></a>", 2, 0},
      {"unclosed element", "<a><b>", 1, 0},
      {"empty file", "", 1, 1},
      {"two top level elements", "<a/>\n<b/>", 2, 1},
      {"text outside the element", "<a/>text", 1, 0},
      {"control character", "<a>\n x\x01y</a>", 2, 3},
      {"document type with entity",
       "<!DOCTYPE a [<!ENTITY e SYSTEM \"file:///etc/passwd\">]>\n<a>&e;</a>", 1, 0},
      {"internal entity bomb",
       "<?xml version=\"1.0\"?>\n<!DOCTYPE a [<!ENTITY x \"xxxxxxxx\"><!ENTITY y \"&x;&x;&x;\">]><a>&y;</a>",
       2, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(loadText(c.content));
    auto error = document->parseError();
    EXPECT_NE(error->errorCode(), 0);
    EXPECT_FALSE(error->reason().empty());
    EXPECT_EQ(error->line(), c.line);
    if (c.linepos != 0) {
      EXPECT_EQ(error->linepos(), c.linepos);
    }
    EXPECT_GE(error->linepos(), 1);
    EXPECT_FALSE(document->documentElement());
  }
}

TEST_F(XmlDomTest, MissingFileFailsWithResourceNotFound) {
  EXPECT_FALSE(document->load(wide(dir.file("absent.xml"))));
  auto error = document->parseError();
  EXPECT_EQ(static_cast<uint32_t>(error->errorCode()), 0x800C0005u);
  EXPECT_FALSE(error->reason().empty());
  EXPECT_EQ(error->line(), 0);
}

TEST_F(XmlDomTest, RefusesTextsXmlCannotCarry) {
  ComPtr<DomNode> e = element("E");
  ComPtr<DomNode> attribute = document->createNode(platform::xml::kNodeAttribute, u"W", u"");
  for (char16_t c : {u'\x01', u'\x08', u'\x0b', u'\x0c', u'\x1f'}) {
    WideString text = u"ab";
    text += c;
    try {
      e->putText(text);
      ADD_FAILURE() << "accepted " << static_cast<int>(c);
    } catch (const ComError& error) {
      EXPECT_EQ(error.error(), platform::xml::kEInvalidArg);
      EXPECT_TRUE(error.hasErrorInfo());
      EXPECT_FALSE(error.description().empty());
    }
    EXPECT_THROW(attribute->putText(text), ComError);
  }
  e->putText(u"tab\tand\nline");
  EXPECT_EQ(e->getText(), u"tab\tand\nline");
}

TEST_F(XmlDomTest, StructuralMistakesRaise) {
  ComPtr<DomNode> a = element("A");
  ComPtr<DomNode> b = element("B");
  a->appendChild(b.get());
  EXPECT_THROW(b->appendChild(a.get()), ComError);  // its own descendant
  EXPECT_THROW(a->appendChild(nullptr), ComError);
  document->appendChild(a.get());
  EXPECT_THROW(document->appendChild(element("C").get()), ComError);  // second root
  EXPECT_THROW(element("bad name"), ComError);
  EXPECT_THROW(document->createNode(platform::xml::kNodeElement, u"E", u"urn:x"), ComError);
  EXPECT_FALSE(document->attributes());
}

TEST_F(XmlDomTest, DeeplyNestedDocumentsDoNotExhaustTheStack) {
  // Up to 256 levels of elements load; deeper documents are refused, also
  // 200,000 levels, which must not exhaust the stack on the way.
  for (int depth : {254, 255, 200000}) {
    SCOPED_TRACE(depth);
    std::string content;
    content.reserve(depth * 8 + 64);
    content += "<ELEMENTS><ENTRIES W='1' B='2'>";
    for (int i = 0; i < depth; ++i) content += "<E>";
    content += "tok";
    for (int i = 0; i < depth; ++i) content += "</E>";
    content += "</ENTRIES></ELEMENTS>";
    if (depth + 2 > 256) {
      EXPECT_FALSE(loadText(content));
      EXPECT_EQ(static_cast<uint32_t>(document->parseError()->errorCode()), 0xC00CE5F4u);
      EXPECT_EQ(document->parseError()->linepos(), 31 + 3 * 254 + 1);  // at the 257th level
      continue;
    }
    ASSERT_TRUE(loadText(content));
    EXPECT_EQ(document->selectNodes(u"//ELEMENTS/ENTRIES//E")->length(), depth);
    EXPECT_EQ(document->documentElement()->getText(), u"tok");
    document->save(wide(dir.file("deep.xml")));
    EXPECT_EQ(testsupport::readFile(dir.file("deep.xml")).size(), content.size());
  }
}

}  // namespace
