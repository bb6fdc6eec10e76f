#include "message/message_reader.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/test_support.h"

namespace {

struct ReadOutcome {
  int result;
  std::string text;
};

// Writes content to a message file and reads it.
ReadOutcome readMessage(const std::string& content) {
  testsupport::ScopedTempDir dir;
  const std::string path = dir.file("message.eml");
  testsupport::writeFile(path, content);
  auto message = std::make_unique<MessageTokens>();
  EXPECT_TRUE(setMessagePath(*message, path.c_str()));
  ReadOutcome outcome;
  outcome.result = readMessageFile(*message);
  outcome.text = message->text;
  EXPECT_EQ(static_cast<size_t>(message->textLength), outcome.text.size());
  return outcome;
}

struct ReaderCase {
  const char* name;
  std::string content;
  std::string expected;
};

TEST(MessageReaderTest, HeaderPhase) {
  const ReaderCase cases[] = {
      {"headers only, no blank line", "From: a@example.com\nSubject: hi there\nTo: b\n",
       "hi there\n"},
      {"last line without line end is not examined", "From: a\nSubject: hi", ""},
      {"subject without the blank after the colon", "Subject:hi\n\nbody\n", "body\n"},
      {"subject name in capitals", "SUBJECT: Hi\n\nbody\n", "Hi\nbody\n"},
      {"later subject replaces the earlier", "Subject: one\nSubject: two\n\nbody\n",
       "two\nbody\n"},
      {"folded subject continuation is not taken", "Subject: one\n two\n\nbody\n",
       "one\nbody\n"},
      {"a header line of 2047 characters ends the headers at its line feed",
       "X-Long: " + std::string(2047 - 8, 'x') + "\nSubject: late\n\nbody\n",
       "Subject: late\n\nbody\n"},
      {"CR LF line ends", "Subject: hi\r\n\r\nbody line\r\n", "hi\nbody line\n"},
  };
  for (const ReaderCase& c : cases) {
    const ReadOutcome outcome = readMessage(c.content);
    EXPECT_EQ(outcome.result, 1) << c.name;
    EXPECT_EQ(outcome.text, c.expected) << c.name;
  }
}

TEST(MessageReaderTest, SinglePartBody) {
  const ReaderCase cases[] = {
      {"quoted-printable soft break keeps its line feed",
       "Content-Transfer-Encoding: quoted-printable\n\nCaf=C3=A9 =\nnext\n",
       "Caf\xc3\xa9 \nnext\n"},
      {"base64 lines, blank line adds nothing",
       "Content-Transfer-Encoding: base64\n\nSGVsbG8g\nd29ybGQh\n\n", "Hello world!"},
      {"a base64 line the decoder rejects adds nothing",
       "Content-Transfer-Encoding: BASE64\n\nSGVsbG8\nSGVsbA==\n", "Hell"},
      {"later transfer encoding line wins",
       "Content-Transfer-Encoding: base64\nContent-Transfer-Encoding: 7bit\n\nSGVsbA==\n",
       "SGVsbA==\n"},
      {"HTML keeps its tags",
       "Content-Type: text/html\n\n<p>Hello <b>there</b></p>\n",
       "<p>Hello <b>there</b></p>\n"},
      {"last body line without line end is taken", "Subject: s\n\nend", "s\nend"},
      {"multipart without boundary is one part",
       "Content-Type: multipart/mixed\n\n--x\nContent-Type: text/plain\n\nhello\n--x--\n",
       "--x\nContent-Type: text/plain\n\nhello\n--x--\n"},
      {"boundary before the multipart line is ignored",
       "X-Note: boundary=\"x\"\nContent-Type: multipart/mixed\n\n--x\n\nhello\n--x--\n",
       "--x\n\nhello\n--x--\n"},
  };
  for (const ReaderCase& c : cases) {
    const ReadOutcome outcome = readMessage(c.content);
    EXPECT_EQ(outcome.result, 1) << c.name;
    EXPECT_EQ(outcome.text, c.expected) << c.name;
  }
}

TEST(MessageReaderTest, MultipartBoundaryLines) {
  const std::string body = "\n\n--b1\nContent-Type: text/plain\n\nkept\n--b1--\n";
  const ReaderCase cases[] = {
      {"quoted boundary on the content-type line",
       "Content-Type: multipart/mixed; boundary=\"b1\"" + body, "kept\n"},
      {"bare boundary on a folded line",
       "Content-Type: multipart/mixed;\n\tboundary=b1" + body, "kept\n"},
      {"header name and parameter in other case",
       "content-type: MULTIPART/mixed; BOUNDARY=\"b1\"" + body, "kept\n"},
      // The trailing blank is part of the bare value, so --b2 alone never
      // matches and the preamble runs to the end of the file.
      {"bare value keeps a trailing blank",
       "Content-Type: multipart/alternative;\n\tboundary=b2 \n\n--b2\n"
       "Content-Type: text/plain\n\nlost\n--b2--\n",
       ""},
  };
  for (const ReaderCase& c : cases) {
    const ReadOutcome outcome = readMessage(c.content);
    EXPECT_EQ(outcome.result, 1) << c.name;
    EXPECT_EQ(outcome.text, c.expected) << c.name;
  }
}

TEST(MessageReaderTest, BoundaryTooLongForTheDelimiterIsReadAsOnePart) {
  for (size_t length : {251u, 252u, 300u}) {
    const std::string boundary(length, 'q');
    const std::string content = "Content-Type: multipart/mixed; boundary=\"" + boundary +
                                "\"\n\n--" + boundary + "\nContent-Type: text/plain\n\nkept\n--" +
                                boundary + "--\n";
    const ReadOutcome outcome = readMessage(content);
    EXPECT_EQ(outcome.result, 1);
    if (length <= 251) {
      EXPECT_EQ(outcome.text, "kept\n") << length;
    } else {
      // No usable boundary: every body line is kept as it is.
      EXPECT_EQ(outcome.text.size(), content.size() - content.find("\n\n") - 2) << length;
    }
  }
}

TEST(MessageReaderTest, LinesThatWouldReachTheLimitAreLeftOut) {
  const std::string first(15949, 'a');
  const std::string tooLong(59, 'b');
  const std::string fits(39, 'c');
  const ReadOutcome outcome =
      readMessage("\n" + first + "\n" + tooLong + "\n" + fits + "\n");
  EXPECT_EQ(outcome.text, first + "\n" + fits + "\n");
}

TEST(MessageReaderTest, HugeMessageStaysUnderTheLimit) {
  // A line of a megabyte without a line end, then many short lines.
  std::string content = "Subject: big\n\n" + std::string(1 << 20, 'z');
  for (int i = 0; i < 20000; ++i) content += "\nline of body text";
  const ReadOutcome outcome = readMessage(content);
  EXPECT_EQ(outcome.result, 1);
  EXPECT_LT(outcome.text.size(), static_cast<size_t>(kMessageTextLimit));
  EXPECT_EQ(outcome.text.compare(0, 6, "big\nzz"), 0);
}

TEST(MessageReaderTest, UnreadableFileGivesNothing) {
  testsupport::ScopedTempDir dir;
  for (const std::string& path : {dir.file("missing.eml"), dir.path()}) {
    auto message = std::make_unique<MessageTokens>();
    ASSERT_TRUE(setMessagePath(*message, path.c_str()));
    message->text[0] = 'x';
    message->textLength = 1;
    EXPECT_EQ(readMessageFile(*message), 0) << path;
    EXPECT_STREQ(message->text, "");
    EXPECT_EQ(message->textLength, 0);
  }
}

}  // namespace
