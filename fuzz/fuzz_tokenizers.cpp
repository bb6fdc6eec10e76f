// Both tokenizers over a message text, with phrase limits of one to four
// words: the first byte picks the limit, the rest is the text.
#include <cstring>
#include <memory>

#include "dictionary/token_dictionary.h"
#include "fuzz/fuzz_support.h"
#include "message/message_tokens.h"
#include "message/tokenizers.h"
#include "scoring/bayesian_combiner.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::silenceOutput();
  resetDictionary(tokenDictionary);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static auto message = std::make_unique<MessageTokens>();
  const size_t length = std::min(size - 1, static_cast<size_t>(kMessageTextLimit - 1));
  std::memcpy(message->text, data + 1, length);
  message->text[length] = '\0';
  message->textLength = static_cast<int32_t>(std::strlen(message->text));
  tokenDictionary.phraseWordLimit = 1 + data[0] % 4;
  tokenDictionary.phraseWordCount = 0;

  message->tokenCount = 0;
  message->countAsHam = data[0] & 0x80 ? 1 : 0;
  tokenizeForTraining(*message, tokenDictionary);
  if (message->tokenCount < 0 || message->tokenCount > kMessageTokenSlots) {
    fuzzsupport::propertyBroken("token count");
  }
  for (int32_t i = 0; i < message->tokenCount; ++i) {
    const size_t tokenLength = std::strlen(message->tokens[i].tokenText);
    if (tokenLength < 3 || tokenLength > 30) fuzzsupport::propertyBroken("token length");
  }
  freeMessageTokens(*message);

  ScoreResult result{};
  tokenizeForScoring(*message, tokenDictionary, result);
  if (message->tokenCount < 0 || message->tokenCount > kMessageTokenSlots ||
      result.emittedTokens < message->tokenCount) {
    fuzzsupport::propertyBroken("scoring token count");
  }
  freeMessageTokens(*message);
  message->tokenCount = 0;
  return 0;
}
