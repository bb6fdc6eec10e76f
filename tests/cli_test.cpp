// The command line as an administrator meets it: the built tool run in a
// temporary host folder, its whole output compared.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

using testsupport::banner;
using testsupport::maskTimes;
using testsupport::runTool;

const std::string kUsage =
    "Usage: cvspamcmd [options] [dictionary, paths]\n\n"
    "    -c dictionary spampath hampath \n\tCreate Dictionary\n"
    "    -v dictionary messagepath \n\tVerify messages in the folder against the nominated "
    "Dictionary\n"
    "    -s dictionary message \n\tScore a single message against the nominated Dictionary\n"
    "    -m dictionary spampath hampath \n\tMerge Spam and NoSpam folders into nominated "
    "Dictionary\n"
    "    -r \n\tNotifies spam Filter to reload all dictionaries\n"
    "    -w \n\tNotifies MTA to save out current dictionary being trained\n"
    "    -p dictionary \n\tPrunes the Dictionary to allow insertion of more words\n"
    "\n";

class CliTest : public testing::Test {
 protected:
  std::string run(const std::vector<std::string>& args) { return runTool(args, host.path()); }
  testsupport::ScopedTempDir host;
  testsupport::ScopedTempDir work;
};

TEST_F(CliTest, NoArgumentsShowsBannerAndUsage) {
  EXPECT_EQ(run({}), banner() + kUsage);
  EXPECT_FALSE(testsupport::fileExists(host.file("registry.reg")));
}

TEST_F(CliTest, UnrecognisedCommandLinesShowUsage) {
  const std::vector<std::vector<std::string>> cases = {
      {"-S", "d", "m"}, {"-P", "d"},      {"-prune", "d"}, {"-"},          {"-s1", "d", "m"},
      {"-s", "d"},      {"-r", "extra"},  {"-w", "x"},     {"-c", "d", "s"}, {"-v", "d", "f", "x"},
      {"-m"},           {"-p"},           {""}};
  for (const auto& args : cases) {
    EXPECT_EQ(run(args), banner() + kUsage) << args[0] << " with " << args.size() << " arguments";
  }
  EXPECT_FALSE(testsupport::fileExists(host.file("registry.reg")));
}

TEST_F(CliTest, NotificationsWriteTheirValueIntoANewHostFolder) {
  const std::string fresh = host.file("new/host");
  EXPECT_EQ(runTool({"-r"}, fresh), banner() + "Notifying clients to reload\n");
  uint32_t value = 0;
  ASSERT_TRUE(testsupport::readFilterSetting(fresh, "Bayesian-Reload", &value));
  EXPECT_EQ(value, 1u);
  EXPECT_FALSE(testsupport::readFilterSetting(fresh, "Bayesian-Save", &value));
  EXPECT_EQ(runTool({"-w"}, fresh), banner() + "Notifying MTA to save out current dictionary\n");
  ASSERT_TRUE(testsupport::readFilterSetting(fresh, "Bayesian-Save", &value));
  EXPECT_EQ(value, 1u);
#ifndef _WIN32
  const std::string registry = testsupport::readFile(fresh + "/registry.reg");
  EXPECT_EQ(registry.rfind("Windows Registry Editor Version 5.00", 0), 0u) << registry;
#endif
}

TEST_F(CliTest, NotificationKeepsEverythingElseInTheRegistry) {
#ifdef _WIN32
  GTEST_SKIP() << "the registry file of the host folder is the POSIX platform's";
#endif
  testsupport::writeFile(host.file("registry.reg"),
                         testsupport::filterKeyRegistry({"\"Bayesian Training Mode\"=dword:00000000",
                                                         "\"Bayesian-Save\"=dword:00000001"}) +
                             "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Elsewhere]\n\"Name\"=\"a \\\"quoted\\\" \\\\ text\"\n");
  run({"-w"});
  run({"-r"});
  const std::string registry = testsupport::readFile(host.file("registry.reg"));
  for (const char* kept : {"\"Bayesian Training Mode\"=dword:00000000",
                           "\"Bayesian-Save\"=dword:00000001", "\"Bayesian-Reload\"=dword:00000001",
                           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Elsewhere]",
                           "\"Name\"=\"a \\\"quoted\\\" \\\\ text\""}) {
    EXPECT_NE(registry.find(kept), std::string::npos) << kept << "\n" << registry;
  }
}

TEST_F(CliTest, NotificationWithoutRightsPrintsOnlyItsLine) {
#ifdef _WIN32
  GTEST_SKIP() << "a host folder that cannot be made is the POSIX platform's";
#endif
  // A host folder below a plain file can never be created, whoever runs.
  testsupport::writeFile(host.file("plain"), "x");
  const std::string blocked = host.file("plain/host");
  EXPECT_EQ(runTool({"-r"}, blocked), banner() + "Notifying clients to reload\n");
  EXPECT_FALSE(testsupport::fileExists(blocked));
}

TEST_F(CliTest, ScoreOpensAndClosesTheDictionaryAroundAFailedMessage) {
  const std::string dictionary = work.file("words.txt");
  testsupport::writeFile(dictionary, "Token\t3\t4\nmoney\t5\t0\n");
  const std::string missing = work.file("missing.eml");
  EXPECT_EQ(maskTimes(run({"-s", dictionary, missing})),
            banner() + "Testing " + missing + " against dictionary " + dictionary +
                "\nLoading Dictionary...\n\nDictionary Load Status:\nTime Taken: X milliseconds\n"
                "Dictionary Size: 1 tokens\n\nDictionary Loaded.\nResult=<RESULT>FAIL</RESULT>\n"
                "Releasing Dictionary...\nDictionary Released.\n");
  EXPECT_EQ(testsupport::readFile(dictionary), "Token\t3\t4\nmoney\t5\t0\n");
}

TEST_F(CliTest, TrainingModeOneRewritesTheDictionaryOnClose) {
  testsupport::setFilterSetting(host.path(), "Bayesian Training Mode", 1);
  const std::string dictionary = work.file("words.txt");
  testsupport::writeFile(dictionary, "Header\t3\t4\r\nmoney\t5\t0\r\n");
  const std::string output = maskTimes(run({"-s", dictionary, work.file("missing.eml")}));
  EXPECT_NE(output.find("Result=<RESULT>FAIL</RESULT>\nSaving Dictionary...\nDictionary Saved.\n"
                        "Releasing Dictionary...\nDictionary Released.\n"),
            std::string::npos)
      << output;
  EXPECT_EQ(testsupport::readFile(dictionary), "Token\t3\t4\nmoney\t5\t0\n");
}

TEST_F(CliTest, RemoteDictionaryOnlyOpensAndClosesItsSession) {
  testsupport::setFilterSetting(host.path(), "Bayesian Training Mode", 1);
  const std::string missing = work.file("missing.eml");
  EXPECT_EQ(run({"-s", "http://server/words", missing}),
            banner() + "Testing " + missing +
                " against dictionary http://server/words\nLoading Dictionary...\n"
                "Initiating Shared Dictionary Service with Remote Corvistane Content Analysis "
                "Service\nOpened Session Corvistane Content Analysis Service\nDictionary Loaded.\n"
                "Result=<RESULT>FAIL</RESULT>\nSaving Dictionary...\n"
                "Closing Session Corvistane Content Analysis Service\n"
                "Closed Session Corvistane Content Analysis Service\nDictionary Saved.\n"
                "Releasing Dictionary...\nDictionary Released.\n");
}

TEST_F(CliTest, OverlongDictionaryPathIsRefused) {
  const std::string longPath = work.path() + "/" + std::string(1100, 'd');
  EXPECT_EQ(run({"-p", longPath}),
            banner() + "Prune " + longPath + " \nDictionary path too long (more than 1023 "
                "characters), nothing done: " + longPath + "\n");
  const std::string output = run({"-c", longPath, work.path(), work.path()});
  EXPECT_NE(output.find("Dictionary path too long"), std::string::npos);
  EXPECT_EQ(output.find("Creation"), std::string::npos);
}

}  // namespace
