#include "cli/entry_point.h"

#include <cstdio>
#include <cstring>

#include "cli/command_procedures.h"
#include "dictionary/token_dictionary.h"
#include "host/filter_notifications.h"
#include "host/filter_settings.h"
#include "platform/platform.h"
#include "scoring/folder_verification.h"
#include "scoring/message_scoring.h"

namespace {

const char* const kUsage[] = {
    "Usage: cvspamcmd [options] [dictionary, paths]\n\n",
    "    -c dictionary spampath hampath \n\tCreate Dictionary\n",
    "    -v dictionary messagepath \n\tVerify messages in the folder against the nominated Dictionary\n",
    "    -s dictionary message \n\tScore a single message against the nominated Dictionary\n",
    "    -m dictionary spampath hampath \n\tMerge Spam and NoSpam folders into nominated Dictionary\n",
    "    -r \n\tNotifies spam Filter to reload all dictionaries\n",
    "    -w \n\tNotifies MTA to save out current dictionary being trained\n",
    "    -p dictionary \n\tPrunes the Dictionary to allow insertion of more words\n",
    "\n",
};

void printUsage() {
  for (const char* line : kUsage) std::fputs(line, stdout);
}

// An option matches only when it equals the literal exactly, terminator
// included: "-S", "-s1" and "-" do not match "-s".
bool isOption(const char* argument, const char* option) {
  return std::strcmp(argument, option) == 0;
}

void scoreCommand(const char* dictionary, const char* message) {
  std::printf("Testing %s against dictionary %s\n", message, dictionary);
  if (!dictionaryPathFits(dictionary)) return;
  char result[kResultRecordSize];
  openDictionary(dictionary);
  scoreMessage(tokenDictionary, message, result, sizeof result);
  std::printf("Result=%s\n", result);
  closeDictionary();
}

void createCommand(const char* dictionary, const char* spam, const char* ham) {
  std::printf("Creating %s from Spam=%s and NoSpam=%s\n", dictionary, spam, ham);
  if (dictionaryPathFits(dictionary)) createDictionary(spam, ham, dictionary);
}

void verifyCommand(const char* dictionary, const char* folder) {
  std::printf("Verify %s against directory =%s\n", dictionary, folder);
  if (!dictionaryPathFits(dictionary)) return;
  openDictionary(dictionary);
  verifyFolder(tokenDictionary, folder);
  closeDictionary();
}

void mergeCommand(const char* dictionary, const char* spam, const char* ham) {
  std::printf("Merge %s from Spam=%s and NoSpam=%s\n", dictionary, spam, ham);
  if (dictionaryPathFits(dictionary)) mergeIntoDictionary(spam, ham, dictionary);
}

void pruneCommand(const char* dictionary) {
  std::printf("Prune %s \n", dictionary);
  if (dictionaryPathFits(dictionary)) pruneDictionary(dictionary);
}

// Runs the command the arguments name; false when none matches.
bool dispatch(int argc, char** argv) {
  const char* option = argv[1];
  if (isOption(option, "-s") && argc == 4) {
    scoreCommand(argv[2], argv[3]);
  } else if (isOption(option, "-c") && argc == 5) {
    createCommand(argv[2], argv[3], argv[4]);
  } else if (isOption(option, "-v") && argc == 4) {
    verifyCommand(argv[2], argv[3]);
  } else if (isOption(option, "-m") && argc == 5) {
    mergeCommand(argv[2], argv[3], argv[4]);
  } else if (isOption(option, "-r") && argc == 2) {
    std::printf("Notifying clients to reload\n");
    notifyReload();
  } else if (isOption(option, "-w") && argc == 2) {
    std::printf("Notifying MTA to save out current dictionary\n");
    setDwordValue(platform::RegHive::LocalMachine, kFilterKey, "Bayesian-Save", 1);
  } else if (isOption(option, "-p") && argc == 3) {
    pruneCommand(argv[2]);
  } else {
    return false;
  }
  return true;
}

}  // namespace

int runCommandLine(int argc, char** argv) {
  std::fputs(kBannerLine1, stdout);
  std::fputs(kBannerLine2, stdout);
  if (argc < 2) {
    printUsage();
    return 1;
  }
  platform::coInitializeEx(nullptr, platform::kCoInitMultithreaded);
  // The settings are read before the option is looked at, so even an
  // unknown option reads the registry.
  loadFilterSettings();
  const bool ran = dispatch(argc, argv);
  platform::coUninitialize();
  if (!ran) printUsage();
  std::fflush(stdout);
  return 1;
}
