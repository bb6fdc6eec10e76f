// The dictionary commands end to end: create, merge, prune, score and verify
// on small folders, with text and XML dictionaries, comparing the whole
// output and the files written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

using testsupport::banner;
using testsupport::maskTimes;
using testsupport::readFile;
using testsupport::writeFile;

// Three spam and two ham messages. In a create run they are trained in the
// order s1, h1, s2, s3, h2, and the first token of the run is the phrase
// "cheap pills".
class CliCommandsTest : public testing::Test {
 protected:
  void SetUp() override {
    testsupport::makeDir(spam);
    testsupport::makeDir(ham);
    writeFile(spam + "/s1.eml", "Subject: cheap pills\n\nbuy cheap pills now\n");
    writeFile(spam + "/s2.eml", "Subject: cheap offer\r\n\r\ncheap cheap offer\r\n");
    writeFile(spam + "/s3.eml", "Subject: pills offer\n\nfree pills\n");
    writeFile(ham + "/h1.eml", "Subject: team meeting\n\nagenda for the meeting\n");
    writeFile(ham + "/h2.eml", "Subject: meeting notes\n\nnotes from agenda\n");
  }

  std::string run(const std::vector<std::string>& args) {
    return maskTimes(testsupport::runTool(args, host.path()));
  }

  std::string create(const std::string& dictionary) {
    return run({"-c", dictionary, spam, ham});
  }

  testsupport::ScopedTempDir host;
  testsupport::ScopedTempDir work;
  std::string spam = work.file("spam");
  std::string ham = work.file("ham");
  std::string text = work.file("words.txt");
  std::string xml = work.file("words.xml");
};

const char kTrainingLines[] =
    "Ham added=1, Spam added=1\n"
    "Ham added=2, Spam added=3\n"
    "Ham added=2, Spam added=3\n"
    "\n"
    "Purged 4 items (Total Sum < 2)\n"
    "Purged 0 items (Significance < 0.000500)\n";

const char kCreateSummary[] =
    "Releasing Dictionary...\nDictionary Released.\n\n"
    "Dictionary Creation Completed:\nTime Taken: X milliseconds\nFiles Parsed: 5\n"
    "Dictionary Size: 10 tokens\n";

const char kCreatedText[] =
    "Token\t3\t2\ncheap\t4\t0\npills\t3\t0\nmeeting\t0\t3\nagenda\t0\t2\noffer\t3\t0\nnotes\t0\t2\n";

std::string textLoad(int tokens) {
  return "Loading Dictionary...\n\nDictionary Load Status:\nTime Taken: X milliseconds\n"
         "Dictionary Size: " + std::to_string(tokens) + " tokens\n\nDictionary Loaded.\n";
}

const char kRelease[] = "Releasing Dictionary...\nDictionary Released.\n";

TEST_F(CliCommandsTest, CreateTrainsInterleavedPurgesAndSaves) {
  EXPECT_EQ(create(text), banner() + "Creating " + text + " from Spam=" + spam + " and NoSpam=" +
                              ham + "\n" + kTrainingLines + kCreateSummary);
  EXPECT_EQ(readFile(text), kCreatedText);
}

TEST_F(CliCommandsTest, CreateReplacesAnExistingDictionary) {
  writeFile(text, "Token\t100\t100\nold\t50\t50\n");
  create(text);
  EXPECT_EQ(readFile(text), kCreatedText);
}

TEST_F(CliCommandsTest, CreateOnEmptyFoldersSavesAnEmptyDictionary) {
  const std::string none = work.file("none");
  testsupport::makeDir(none);
  EXPECT_EQ(run({"-c", text, none, none}),
            banner() + "Creating " + text + " from Spam=" + none + " and NoSpam=" + none +
                "\nHam added=0, Spam added=0\n\nPurged 0 items (Total Sum < 2)\n"
                "Purged 0 items (Significance < 0.000500)\n" + kRelease +
                "\nDictionary Creation Completed:\nTime Taken: X milliseconds\nFiles Parsed: 0\n"
                "Dictionary Size: 0 tokens\n");
  EXPECT_EQ(readFile(text), "Token\t0\t0\n");
}

TEST_F(CliCommandsTest, CreateWithTrainingModeOneSavesTwice) {
  writeFile(host.file("registry.reg"),
            testsupport::filterKeyRegistry({"\"Bayesian Training Mode\"=dword:00000001"}));
  const std::string output = create(text);
  EXPECT_NE(output.find("(Significance < 0.000500)\nSaving Dictionary...\nDictionary Saved.\n"
                        "Releasing Dictionary...\n"),
            std::string::npos)
      << output;
  EXPECT_EQ(readFile(text), kCreatedText);
}

TEST_F(CliCommandsTest, MergeAddsToTheLoadedDictionary) {
  create(text);
  const std::string spam2 = work.file("spam2");
  const std::string ham2 = work.file("ham2");
  testsupport::makeDir(spam2);
  testsupport::makeDir(ham2);
  writeFile(spam2 + "/m.eml", "Subject: cheap pills\n\ncheap\n");
  writeFile(ham2 + "/n.eml", "Subject: meeting\n\nnotes\n");
  EXPECT_EQ(run({"-m", text, spam2, ham2}),
            banner() + "Merge " + text + " from Spam=" + spam2 + " and NoSpam=" + ham2 + "\n" +
                textLoad(6) + "Ham added=1, Spam added=1\nHam added=1, Spam added=1\n\n" +
                kRelease);
  // Merge starts a new phrase: its first token is again a two-run phrase.
  EXPECT_EQ(readFile(text),
            "Token\t4\t3\ncheap\t5\t0\npills\t3\t0\nmeeting\t0\t4\nagenda\t0\t2\noffer\t3\t0\n"
            "notes\t0\t3\ncheap pills\t1\t0\n");
}

TEST_F(CliCommandsTest, MergeIntoAMissingDictionaryCreatesIt) {
  EXPECT_EQ(run({"-m", text, spam, ham}),
            banner() + "Merge " + text + " from Spam=" + spam + " and NoSpam=" + ham +
                "\nLoading Dictionary...\n\nLoading Dictionary Failed.\nDictionary Loaded.\n"
                "Ham added=1, Spam added=1\nHam added=2, Spam added=3\nHam added=2, Spam added=3\n\n" +
                kRelease);
  // Nothing is purged by a merge.
  EXPECT_EQ(readFile(text),
            "Token\t3\t2\ncheap pills\t1\t0\ncheap\t4\t0\npills\t3\t0\nteam\t0\t1\nmeeting\t0\t3\n"
            "agenda\t0\t2\noffer\t3\t0\nfree\t1\t0\nnotes\t0\t2\nfrom\t0\t1\n");
}

TEST_F(CliCommandsTest, PruneCleansesOnceThenSaves) {
  writeFile(text, "Token\t4\t3\ncheap\t5\t0\nrare\t1\t0\neven\t2\t2\npills\t3\t0\n");
  EXPECT_EQ(run({"-p", text}),
            banner() + "Prune " + text + " \n" + textLoad(4) +
                "Clensing Dictionary\nPurged 1 items (Total Sum < 2)\n"
                "Purged 0 items (Significance < 0.000500)\n" + kRelease + textLoad(3) + kRelease);
  EXPECT_EQ(readFile(text), "Token\t4\t3\ncheap\t5\t0\neven\t2\t2\npills\t3\t0\n");
}

TEST_F(CliCommandsTest, ScoreAndVerifyAgainstATextDictionary) {
  create(text);
  const std::string message = work.file("offer.eml");
  writeFile(message, "Subject: cheap offer\n\ncheap pills\n");
  // A text dictionary leaves the phrase limit at 0: single-run tokens only.
  EXPECT_EQ(run({"-s", text, message}),
            banner() + "Testing " + message + " against dictionary " + text + "\n" + textLoad(6) +
                " W: 0.999999\nResult=<RESULT><WC>4</WC><WF>4</WF><SV>0.000000</SV>"
                "<CV>0.000000</CV><SP>99.999893</SP></RESULT>\n" + kRelease);

  const std::string folder = work.file("check");
  testsupport::makeDir(folder + "/sub");
  writeFile(folder + "/a.eml", "Subject: cheap offer\n\ncheap pills\n");
  writeFile(folder + "/B.eml", "Subject: meeting notes\n\nagenda\n");
  writeFile(folder + "/.hidden", "Subject: cheap\n\n");
  writeFile(host.file("registry.reg"),
            testsupport::filterKeyRegistry({"\"Bayesian Calculation Mode\"=dword:00000000"}));
  EXPECT_EQ(run({"-v", text, folder}),
            banner() + "Verify " + text + " against directory =" + folder + "\n" + textLoad(6) +
                "a.eml: R: 0.999999\nB.eml: R: 0.000001\nResults: \r\n"
                "Percentile: 0% 1\nPercentile: 10% 0\nPercentile: 20% 0\nPercentile: 30% 0\n"
                "Percentile: 40% 0\nPercentile: 50% 0\nPercentile: 60% 0\nPercentile: 70% 0\n"
                "Percentile: 80% 0\nPercentile: 90% 1\n\nDictionary Verify Completed:\n"
                "Time Taken: X milliseconds\nVerified: 2 files\nDictionary Size: 6 tokens\n" +
                kRelease);
}

TEST_F(CliCommandsTest, VerifyOfAMissingFolderPrintsNoReport) {
  create(text);
  const std::string missing = work.file("missing");
  EXPECT_EQ(run({"-v", text, missing}), banner() + "Verify " + text + " against directory =" +
                                            missing + "\n" + textLoad(6) + kRelease);
}

const char kCreatedXml[] =
    "<ELEMENTS><ENTRIES W=\"2\" B=\"3\"><E W=\"0\" B=\"4\">cheap</E><E W=\"0\" B=\"3\">pills</E>"
    "<E W=\"3\" B=\"0\">meeting</E><E W=\"2\" B=\"0\">agenda</E><E W=\"0\" B=\"3\">offer</E>"
    "<E W=\"2\" B=\"0\">notes</E></ENTRIES></ELEMENTS>";

TEST_F(CliCommandsTest, XmlDictionaryIsCreatedAndScored) {
  const std::string upper = work.file("words.XmL");
  EXPECT_EQ(create(upper), banner() + "Creating " + upper + " from Spam=" + spam +
                               " and NoSpam=" + ham + "\n" + kTrainingLines + kCreateSummary);
  EXPECT_EQ(readFile(upper), kCreatedXml);

  const std::string message = work.file("offer.eml");
  writeFile(message, "Subject: cheap offer\n\ncheap pills\n");
  // Only entries with more than two occurrences come back, and an XML load
  // starts a phrase: the first token scored is "cheap offer".
  EXPECT_EQ(run({"-s", upper, message}),
            banner() + "Testing " + message + " against dictionary " + upper +
                "\nLoading Dictionary...\nLoading Dictionary..\n....\n"
                "Loading Dictionary Completed. (4)\nDictionary Loaded.\n W: 0.999847\n"
                "Result=<RESULT><WC>3</WC><WF>2</WF><SV>0.000000</SV><CV>0.000000</CV>"
                "<SP>99.984695</SP></RESULT>\n" + kRelease);
}

TEST_F(CliCommandsTest, XmlDictionaryIsMergedAndPruned) {
  create(xml);
  const std::string spam2 = work.file("spam2");
  testsupport::makeDir(spam2);
  writeFile(spam2 + "/m.eml", "Subject: cheap pills\n\ncheap\n");
  EXPECT_EQ(run({"-m", xml, spam2, ham}),
            banner() + "Merge " + xml + " from Spam=" + spam2 + " and NoSpam=" + ham +
                "\nLoading Dictionary...\nLoading Dictionary..\n....\n"
                "Loading Dictionary Completed. (4)\nDictionary Loaded.\n"
                // One spam file against two ham: the spam side waits a pass,
                // and its search result keeps the run going one pass more.
                "Ham added=1, Spam added=0\nHam added=2, Spam added=1\nHam added=2, Spam added=1\n"
                "Ham added=2, Spam added=1\n\n" + kRelease);
  // Trained h1 (whose first token is the phrase "team meeting"), m, h2.
  const std::string merged =
      "<ELEMENTS><ENTRIES W=\"4\" B=\"4\"><E W=\"0\" B=\"6\">cheap</E><E W=\"0\" B=\"4\">pills</E>"
      "<E W=\"5\" B=\"0\">meeting</E><E W=\"0\" B=\"3\">offer</E>"
      "<E W=\"1\" B=\"0\">team meeting</E><E W=\"2\" B=\"0\">agenda</E>"
      "<E W=\"2\" B=\"0\">notes</E><E W=\"1\" B=\"0\">from</E></ENTRIES></ELEMENTS>";
  EXPECT_EQ(readFile(xml), merged);

  // Prune reloads only entries of three or more occurrences, so the
  // cleanse's purge finds nothing more to drop.
  EXPECT_EQ(run({"-p", xml}),
            banner() + "Prune " + xml + " \nLoading Dictionary...\nLoading Dictionary..\n....\n"
                "Loading Dictionary Completed. (4)\nDictionary Loaded.\nClensing Dictionary\n"
                "Purged 0 items (Total Sum < 2)\nPurged 0 items (Significance < 0.000500)\n" +
                kRelease + "Loading Dictionary...\nLoading Dictionary..\n....\n"
                "Loading Dictionary Completed. (4)\nDictionary Loaded.\n" + kRelease);
  EXPECT_EQ(readFile(xml),
            "<ELEMENTS><ENTRIES W=\"4\" B=\"4\"><E W=\"0\" B=\"6\">cheap</E><E W=\"0\" B=\"4\">pills</E>"
            "<E W=\"5\" B=\"0\">meeting</E><E W=\"0\" B=\"3\">offer</E></ENTRIES></ELEMENTS>");
}

TEST_F(CliCommandsTest, XmlComponentVersionSixFailsWithAnEvent) {
  writeFile(host.file("registry.reg"),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Corvistane\\Corvistane\\Providers\\Store]\n"
            "\"XML Version\"=\"6.0\"\n");
  const std::string missing = work.file("missing.eml");
  EXPECT_EQ(run({"-s", xml, missing}),
            banner() + "Testing " + missing + " against dictionary " + xml +
                "\nLoading Dictionary...\nLoading Dictionary..\nUnable to load MSXML Library\n"
                "Error:\nCode = 80004003\nCode meaning = Invalid pointer\nSource = \n"
                "Error Description = \nDictionary Loaded.\nResult=<RESULT>FAIL</RESULT>\n" +
                kRelease);
  const std::string events = readFile(host.file("events.log"));
  EXPECT_NE(events.find("\t4\tCorvistane\t0x40000001\tCorvistane Bayesian Utility ("),
            std::string::npos)
      << events;
  // The last-error code in the line is whatever the thread held at the time.
  EXPECT_TRUE(testing::internal::RE::PartialMatch(
      events, testing::internal::RE("\\) error: -?[0-9]+\t\\[-1\\] Error creating DOM instance\n")))
      << events;

  // A save fails the same way and writes nothing.
  const std::string output = create(xml);
  EXPECT_NE(output.find("Unable to load MSXML Library\nXML Lib error or COM not Init\n"),
            std::string::npos)
      << output;
  EXPECT_FALSE(testsupport::fileExists(xml));
}

}  // namespace
