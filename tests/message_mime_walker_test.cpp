#include "message/mime_walker.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "host/filter_settings.h"
#include "message/message_reader.h"
#include "tests/test_support.h"

namespace {

// Reads a message file and returns the text the reader and the walker keep.
std::string readPath(const std::string& path) {
  auto message = std::make_unique<MessageTokens>();
  EXPECT_TRUE(setMessagePath(*message, path.c_str()));
  EXPECT_EQ(readMessageFile(*message), 1);
  EXPECT_EQ(static_cast<size_t>(message->textLength), std::string(message->text).size());
  return message->text;
}

std::string readContent(const std::string& content) {
  testsupport::ScopedTempDir dir;
  const std::string path = dir.file("message.eml");
  testsupport::writeFile(path, content);
  return readPath(path);
}

// A multipart/mixed message with boundary "outer" around the given body.
std::string mixed(const std::string& body) {
  return "Subject: test\nContent-Type: multipart/mixed; boundary=\"outer\"\n\n"
         "This is a multi-part message in MIME format.\n\n" +
         body;
}

struct WalkerCase {
  const char* name;
  std::string body;  // inside mixed()
  std::string expected;
};

TEST(MimeWalkerTest, SelectsAndDecodesTextParts) {
  const WalkerCase cases[] = {
      {"text part kept, base64 image skipped",
       "--outer\nContent-Type: text/plain; charset=us-ascii\n\nsee attached\n"
       "--outer\nContent-Type: image/png\nContent-Transfer-Encoding: base64\n\n"
       "iVBORw0KGgoAAAANSUhEUg==\n--outer--\n",
       "see attached\n"},
      {"delimiter in other letter case",
       "--OUTER\nContent-Type: text/plain\n\none\n--Outer\nContent-Type: text/plain\n\ntwo\n"
       "--OUTER--\n",
       "one\ntwo\n"},
      {"trailing blank in the content type skips the part",
       "--outer\nContent-Type: text/plain \n\nlost\n--outer--\n", ""},
      {"content type without the blank after the colon skips the part",
       "--outer\nContent-Type:text/plain\n\nlost\n--outer--\n", ""},
      {"content type in capitals",
       "--outer\ncontent-type: TEXT/PLAIN\n\nkept\n--outer--\n", "kept\n"},
      {"encoding does not carry over to the next part",
       "--outer\nContent-Type: text/plain\nContent-Transfer-Encoding: base64\n\nb25l\n"
       "--outer\nContent-Type: text/plain\n\nb25l\n--outer--\n",
       "oneb25l\n"},
      {"quoted-printable part",
       "--outer\nContent-Type: text/plain\nContent-Transfer-Encoding: quoted-printable\n\n"
       "price =3D 5=\n--outer--\n",
       "price = 5\n"},
      {"a base64 line the decoder rejects adds nothing",
       "--outer\nContent-Type: text/plain\nContent-Transfer-Encoding: base64\n\n"
       "b25l\nbad-line\nIHR3bw==\n--outer--\n",
       "one two"},
      {"preamble without a delimiter yields nothing",
       "no delimiter here\nContent-Type: text/plain\n\ntext\n", ""},
      {"multipart/related is skipped whole",
       "--outer\nContent-Type: multipart/related; boundary=\"rel\"\n\n--rel\n"
       "Content-Type: text/html\n\n<p>lost</p>\n--rel--\n\n"
       "--outer\nContent-Type: text/plain\n\nafter\n--outer--\n",
       "after\n"},
      {"lines after the closing delimiter are not read",
       "--outer\nContent-Type: text/plain\n\nin\n--outer--\nContent-Type: text/plain\n\nout\n",
       "in\n"},
  };
  for (const WalkerCase& c : cases) {
    EXPECT_EQ(readContent(mixed(c.body)), "test\n" + c.expected) << c.name;
  }
}

TEST(MimeWalkerTest, NestedAlternativeParts) {
  const WalkerCase cases[] = {
      {"alternative with a quoted boundary, then a third text part",
       "--outer\nContent-Type: multipart/alternative;\n boundary=\"alt\"\n\n"
       "--alt\nContent-Type: text/plain\n\nplain words\n"
       "--alt\nContent-Type: text/html\n\n<html><body>\n<p>html words</p>\n</body></html>\n"
       "--alt--\n\n"
       "--outer\nContent-Type: text/plain\n\nthird part\n--outer--\n",
       "plain words\n\nhtml words\n\nthird part\n"},
      // An unquoted boundary gives the nested delimiter "--", which every
      // line starting with two hyphens matches: the nested call reads on to
      // the end of the message and keeps the outer part's text too.
      {"unquoted nested boundary",
       "--outer\nContent-Type: multipart/alternative; boundary=alt\n\n"
       "--alt\nContent-Type: text/plain\n\nfirst\n"
       "--alt\nContent-Type: text/plain\n\nsecond\n--alt--\n\n"
       "--outer\nContent-Type: text/plain\n\nthird\n--outer--\n",
       "first\nsecond\nthird\n"},
      // Without a boundary the nested delimiter is empty: every line is a
      // delimiter and no part has a body.
      {"alternative without a boundary",
       "--outer\nContent-Type: multipart/alternative\n\n"
       "--alt\nContent-Type: text/plain\n\nlost\n--alt--\n",
       ""},
      // The closing delimiter is followed directly by the walker's own
      // delimiter: both are read as header lines of the next part.
      {"own delimiter right after a nested closing delimiter",
       "--outer\nContent-Type: multipart/alternative; boundary=\"alt\"\n\n"
       "--alt\nContent-Type: text/plain\n\nnested\n--alt--\n"
       "--outer\nContent-Type: text/plain\n\nnext\n--outer--\n",
       "nested\nnext\n"},
  };
  for (const WalkerCase& c : cases) {
    EXPECT_EQ(readContent(mixed(c.body)), "test\n" + c.expected) << c.name;
  }
}

TEST(MimeWalkerTest, NestedBoundaryTooLongSkipsThePart) {
  const std::string fits(251, 'n');
  const std::string tooLong(252, 'n');
  for (const std::string& boundary : {fits, tooLong}) {
    const std::string body = "--outer\nContent-Type: multipart/alternative; boundary=\"" +
                             boundary + "\"\n\n--" + boundary +
                             "\nContent-Type: text/plain\n\nnested\n--" + boundary +
                             "--\n\n--outer\nContent-Type: text/plain\n\nafter\n--outer--\n";
    const std::string expected = boundary.size() <= 251 ? "nested\nafter\n" : "after\n";
    EXPECT_EQ(readContent(mixed(body)), "test\n" + expected) << boundary.size();
  }
}

class HtmlPartTest : public testing::Test {
 protected:
  void SetUp() override { saved_ = filterSettings.processHtml; }
  void TearDown() override { filterSettings.processHtml = saved_; }

 private:
  int32_t saved_ = 1;
};

TEST_F(HtmlPartTest, TagsAreRemovedAcrossLinesAndParts) {
  filterSettings.processHtml = 1;
  const WalkerCase cases[] = {
      {"tags removed, words joined where a tag stood",
       "--outer\nContent-Type: text/html\n\n<p>Hello\nworld <b>bold</b></p>\n--outer--\n",
       "Hello\nworld bold\n"},
      {"the call starts inside a tag",
       "--outer\nContent-Type: text/html\n\nno tag on this line\n<p>after\n--outer--\n",
       "after\n"},
      {"a tag spanning lines",
       "--outer\nContent-Type: text/html\n\n<p>one <a\nhref=\"x\">two</a>\n--outer--\n",
       "one two\n"},
      {"the tag state carries into the next part",
       "--outer\nContent-Type: text/html\n\n<b>one</b> <i\n"
       "--outer\nContent-Type: text/html\n\ntwo> three\n--outer--\n",
       "one  three\n"},
      {"a piece starting at a closing bracket loses it",
       "--outer\nContent-Type: text/html\n\n<p>x\n> quoted\n--outer--\n", "x\n quoted\n"},
      {"text/plain keeps its angle brackets",
       "--outer\nContent-Type: text/plain\n\n<not a tag>\n--outer--\n", "<not a tag>\n"},
  };
  for (const WalkerCase& c : cases) {
    EXPECT_EQ(readContent(mixed(c.body)), "test\n" + c.expected) << c.name;
  }
}

TEST_F(HtmlPartTest, TagsAreKeptWhenHtmlProcessingIsOff) {
  filterSettings.processHtml = 0;
  EXPECT_EQ(readContent(mixed("--outer\nContent-Type: text/html\n\n<p>Hello\n--outer--\n")),
            "test\n<p>Hello\n");
}

// A message whose text sits inside levels nested multipart/alternative
// parts, with a text part after them at the top level. Boundaries have a
// fixed width so that no delimiter is a prefix of another.
void writeNestedMessage(const std::string& path, int levels) {
  FILE* file = std::fopen(path.c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::fprintf(file, "Subject: deep\nContent-Type: multipart/mixed; boundary=\"L000000\"\n\n");
  for (int level = 1; level <= levels; ++level) {
    std::fprintf(file, "--L%06d\nContent-Type: multipart/alternative; boundary=\"L%06d\"\n\n",
                 level - 1, level);
  }
  std::fprintf(file, "--L%06d\nContent-Type: text/plain\n\ninnermost\n--L%06d--\n\n", levels,
               levels);
  for (int level = levels - 1; level >= 1; --level) std::fprintf(file, "--L%06d--\n\n", level);
  std::fprintf(file, "--L000000\nContent-Type: text/plain\n\noutermost\n--L000000--\n");
  std::fclose(file);
}

TEST(MimeWalkerNestingTest, NestingIsWalkedUpToTheLimit) {
  testsupport::ScopedTempDir dir;
  const std::string path = dir.file("nested.eml");
  const struct {
    int levels;
    const char* expected;
  } cases[] = {
      {1, "deep\ninnermost\noutermost\n"},
      {kMimeNestingLimit, "deep\ninnermost\noutermost\n"},
      {kMimeNestingLimit + 1, "deep\noutermost\n"},
      {100000, "deep\noutermost\n"},
  };
  for (const auto& c : cases) {
    writeNestedMessage(path, c.levels);
    EXPECT_EQ(readPath(path), c.expected) << c.levels << " levels";
  }
}

TEST(MimeWalkerFixtureTest, NewsletterWithAlternativeAndAttachment) {
  const std::string path =
      testsupport::sourceDir() + "/tests/fixtures/messages/newsletter-alternative.eml";
  EXPECT_EQ(readPath(path),
            "Spring garden club news\n"
            "Hello members,\n"
            "The seed swap is on Saturday at ten.\n"
            "\n"
            "Hello members,\n"
            "The seed swap is on Saturday at ten.\n"
            "\n"
            "Bring labels for your jars.\n");
}

}  // namespace
