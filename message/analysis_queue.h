// Reads and tokenizes the message files of a run ahead of the thread that
// uses their tokens.
//
// Training and verification take thousands of files one after the other.
// Reading a file and cutting it into tokens needs nothing from the
// dictionary, so worker threads do that for the files that come next while
// the caller's thread adds or scores the one before. The caller takes the
// messages strictly in the order given and does everything else itself, in
// that order, so what the tool prints and writes is the same as when it
// reads each file just before using it.
//
// A scoring queue can also score the messages against a dictionary nothing
// changes while it runs, so that the caller only prints and counts.
//
// The one state a message's tokens depend on is the phrase state left by the
// message before it. A worker cannot know it yet, so it forms the tokens from
// the state every message after the first leaves in practice (a phrase of
// one run, just ended); when take() finds that the state really was another,
// it forms them again from the real one before handing the message over.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "message/message_tokens.h"
#include "message/tokenizers.h"
#include "scoring/bayesian_combiner.h"

enum class AnalysisKind { Training, Scoring };

// One file to analyse, folder<sep>name, and, for training, the class its
// occurrences count into (non-zero: ham). The two texts belong to the
// caller and must outlive the queue; a run over a folder of many thousand
// files keeps no copy of each path.
struct AnalysisJob {
  const char* folder;
  const char* name;
  uint32_t countAsHam;
};

// A message as the caller takes it.
struct AnalysedMessage {
  MessageTokens message;  // path, text and token list
  int readResult;         // what readMessageFile returned: 0 when not read
  ScoreResult result;     // scoring: fresh, with the tokenizer's count of tokens formed
  PhraseState phraseBefore;  // the phrase state the tokens were formed from
  PhraseState phraseAfter;   // the phrase state the message left
  bool scored;  // scoring against a dictionary: result holds the score too
};

// How many worker threads a queue starts: -1 (the default) lets the queue
// choose from the processors there are; 0 analyses every message on the
// caller's thread when it is taken.
extern int analysisThreadSetting;

class MessageAnalysisQueue {
 public:
  // first is the phrase state the first message starts from. A scoring
  // queue given a dictionary also scores each message against it
  // (computeTokenScore), leaving the mode line to the caller; the dictionary
  // and the settings must not change while the queue runs.
  MessageAnalysisQueue(AnalysisKind kind, std::vector<AnalysisJob> jobs, PhraseState first,
                       const TokenDictionary* scoringDictionary = nullptr);
  ~MessageAnalysisQueue();
  MessageAnalysisQueue(const MessageAnalysisQueue&) = delete;
  MessageAnalysisQueue& operator=(const MessageAnalysisQueue&) = delete;

  // The next message in the order of the jobs, its tokens formed from the
  // phrase state phrase, which is advanced past it. Valid until giveBack.
  AnalysedMessage& take(PhraseState& phrase);

  // Frees the token texts of the message last taken and lets its record be
  // used again.
  void giveBack();

  // Worker threads running: 0 when every message is analysed on take().
  int workerCount() const;

 private:
  struct Shared;
  std::unique_ptr<Shared> shared_;
};
