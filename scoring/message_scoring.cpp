// Scores one message file into its result record.
#include "scoring/message_scoring.h"

#include <cstdio>

#include "SERVICES/Library/xMutexLock.h"
#include "cli/command_procedures.h"
#include "message/analysis_queue.h"
#include "message/message_reader.h"
#include "message/message_tokens.h"
#include "message/tokenizers.h"
#include "scoring/bayesian_combiner.h"

platform::MutexHandle scoringMutexHandle = nullptr;

namespace {

constexpr const char* kFailureRecord = "<RESULT>FAIL</RESULT>";

// Writes text into out when it fits whole; otherwise leaves out empty.
bool writeRecord(char* out, int outSize, int length) {
  if (length >= 0 && length < outSize) return true;
  if (outSize > 0) out[0] = '\0';
  return false;
}

void writeFailureRecord(char* out, int outSize) {
  if (outSize <= 0) return;
  writeRecord(out, outSize, snprintf(out, static_cast<size_t>(outSize), "%s", kFailureRecord));
}

// Scores a message that was read and tokenized into result, unless that
// was done already, and writes its record.
void scoreTokenizedMessage(TokenDictionary& dictionary, const MessageTokens& message,
                           ScoreResult& result, bool scored, char* out, int outSize) {
  {
    xMutexLock lock(scoringMutexHandle, -1);
    if (dictionaryLoaded == 1) {
      if (scored) {
        printScoreLine(result);
      } else {
        scoreTokens(dictionary, message, result);
      }
    }
  }

  if (outSize > 0) {
    int length = snprintf(out, static_cast<size_t>(outSize),
                          "<RESULT><WC>%ld</WC><WF>%ld</WF><SV>%f</SV><CV>%f</CV><SP>%f</SP>"
                          "</RESULT>",
                          static_cast<long>(result.emittedTokens),
                          static_cast<long>(result.foundOccurrences),
                          static_cast<double>(static_cast<float>(result.spamFrequency)),
                          static_cast<double>(static_cast<float>(result.hamFrequency)),
                          static_cast<double>(static_cast<float>(result.probability * 100.0)));
    // A buffer too small for the whole record gets the failure form rather
    // than a record cut short.
    if (!writeRecord(out, outSize, length)) writeFailureRecord(out, outSize);
  }
}

}  // namespace

int32_t scoreMessage(TokenDictionary& dictionary, const char* path, char* out, int outSize) {
  ScoreResult result = freshScoreResult();
  if (outSize > 0) out[0] = '\0';

  MessageTokens message;
  message.tokenCount = 0;
  writeFailureRecord(out, outSize);
  // A path that does not fit the record is never cut short and read: the
  // message is reported as one that cannot be opened.
  if (!setMessagePath(message, path)) return 1;
  if (readMessageFile(message) == 0) return 1;

  tokenizeForScoring(message, dictionary, result);
  scoreTokenizedMessage(dictionary, message, result, false, out, outSize);
  freeMessageTokens(message);
  return 1;
}

int32_t scoreAnalysedMessage(TokenDictionary& dictionary, AnalysedMessage& analysed, char* out,
                             int outSize) {
  if (outSize > 0) out[0] = '\0';
  writeFailureRecord(out, outSize);
  if (analysed.readResult == 0) return 1;
  scoreTokenizedMessage(dictionary, analysed.message, analysed.result, analysed.scored, out,
                        outSize);
  return 1;
}
