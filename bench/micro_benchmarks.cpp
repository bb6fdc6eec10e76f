// Micro-benchmarks of the paths every message and every dictionary row goes
// through: the message reader, the two tokenizers, the message token list
// and the dictionary's token index.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "dictionary/token_dictionary.h"
#include "message/message_reader.h"
#include "message/message_tokens.h"
#include "message/tokenizers.h"
#include "scoring/bayesian_combiner.h"

namespace {

// Words of a plausible mail: repeats, letter case, punctuation, markup.
std::vector<std::string> vocabulary(size_t count, unsigned seed) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::mt19937 random(seed);
  std::vector<std::string> words;
  for (size_t i = 0; i < count; ++i) {
    const size_t length = 3 + random() % 10;
    std::string word;
    for (size_t j = 0; j < length; ++j) word += kLetters[random() % (sizeof kLetters - 1)];
    if (random() % 5 == 0) word += ",";
    words.push_back(word);
  }
  return words;
}

std::string bodyText(size_t bytes, unsigned seed) {
  const std::vector<std::string> words = vocabulary(600, seed);
  std::mt19937 random(seed + 1);
  std::string text;
  size_t column = 0;
  while (text.size() < bytes) {
    const std::string& word = words[random() % words.size()];
    text += word;
    column += word.size() + 1;
    if (column > 70) {
      text += "\n";
      column = 0;
    } else {
      text += random() % 9 == 0 ? "\t" : " ";
    }
  }
  return text;
}

std::string writeTemporary(const std::string& content) {
  char path[] = "/tmp/cvspam-bench-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) std::abort();
  if (write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size())) {
    std::abort();
  }
  close(fd);
  return path;
}

std::string singlePartMessage() {
  return "From: someone@example.com\r\nTo: you@example.com\r\nSubject: Your account is waiting\r\n"
         "Content-Type: text/html\r\n\r\n<html><body><font color=red>" +
         bodyText(8000, 3) + "</font></body></html>\r\n";
}

std::string multipartMessage() {
  std::string plain = bodyText(3000, 5);
  std::string html = "<p>" + bodyText(3000, 6) + "</p>";
  // The HTML part in base64, 76 characters a line.
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string encoded;
  for (size_t i = 0; i < html.size(); i += 3) {
    const unsigned a = static_cast<unsigned char>(html[i]);
    const unsigned b = i + 1 < html.size() ? static_cast<unsigned char>(html[i + 1]) : 0;
    const unsigned c = i + 2 < html.size() ? static_cast<unsigned char>(html[i + 2]) : 0;
    encoded += kAlphabet[a >> 2];
    encoded += kAlphabet[((a & 3) << 4) | (b >> 4)];
    encoded += i + 1 < html.size() ? kAlphabet[((b & 15) << 2) | (c >> 6)] : '=';
    encoded += i + 2 < html.size() ? kAlphabet[c & 63] : '=';
    if (encoded.size() % 77 == 76) encoded += "\n";
  }
  return "From: news@example.com\nSubject: This week\nMIME-Version: 1.0\n"
         "Content-Type: multipart/alternative; boundary=\"b1\"\n\n"
         "--b1\nContent-Type: text/plain\n\n" +
         plain + "\n--b1\nContent-Type: text/html\nContent-Transfer-Encoding: base64\n\n" +
         encoded + "\n--b1--\n";
}

void readMessage(benchmark::State& state, const std::string& content) {
  const std::string path = writeTemporary(content);
  auto message = std::make_unique<MessageTokens>();
  setMessagePath(*message, path.c_str());
  for (auto _ : state) {
    benchmark::DoNotOptimize(readMessageFile(*message));
    benchmark::DoNotOptimize(message->textLength);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * content.size()));
  unlink(path.c_str());
}

void BM_ReadSinglePartMessage(benchmark::State& state) { readMessage(state, singlePartMessage()); }
BENCHMARK(BM_ReadSinglePartMessage);

void BM_ReadMultipartMessage(benchmark::State& state) { readMessage(state, multipartMessage()); }
BENCHMARK(BM_ReadMultipartMessage);

std::unique_ptr<MessageTokens> messageWithText() {
  auto message = std::make_unique<MessageTokens>();
  const std::string text = bodyText(static_cast<size_t>(kMessageTextLimit) - 100, 9);
  std::memcpy(message->text, text.c_str(), text.size() + 1);
  message->textLength = static_cast<int32_t>(text.size());
  message->tokenCount = 0;
  return message;
}

void BM_TokenizeForTraining(benchmark::State& state) {
  auto message = messageWithText();
  tokenDictionary.phraseWordLimit = 1;
  tokenDictionary.phraseWordCount = 1;
  for (auto _ : state) {
    message->tokenCount = 0;
    message->countAsHam = 0;
    tokenizeForTraining(*message, tokenDictionary);
    benchmark::DoNotOptimize(message->tokenCount);
    freeMessageTokens(*message);
  }
}
BENCHMARK(BM_TokenizeForTraining);

void BM_TokenizeForScoring(benchmark::State& state) {
  auto message = messageWithText();
  tokenDictionary.phraseWordLimit = 0;
  tokenDictionary.phraseWordCount = 0;
  ScoreResult result{};
  for (auto _ : state) {
    result.emittedTokens = 0;
    tokenizeForScoring(*message, tokenDictionary, result);
    benchmark::DoNotOptimize(result.emittedTokens);
    freeMessageTokens(*message);
  }
}
BENCHMARK(BM_TokenizeForScoring);

// One message's worth of occurrences: state.range(0) distinct tokens (up to
// the list's 400), each seen three times.
void BM_CountMessageToken(benchmark::State& state) {
  const std::vector<std::string> words = vocabulary(static_cast<size_t>(state.range(0)), 11);
  std::vector<const char*> occurrences;
  for (int repeat = 0; repeat < 3; ++repeat) {
    for (const std::string& word : words) occurrences.push_back(word.c_str());
  }
  std::shuffle(occurrences.begin(), occurrences.end(), std::mt19937(12));
  auto message = std::make_unique<MessageTokens>();
  for (auto _ : state) {
    message->tokenCount = 0;
    message->countAsHam = 1;
    for (const char* token : occurrences) countMessageToken(*message, token);
    benchmark::DoNotOptimize(message->tokenCount);
    freeMessageTokens(*message);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * occurrences.size()));
}
BENCHMARK(BM_CountMessageToken)->Arg(50)->Arg(400);

std::vector<std::string> indexKeys(size_t count, bool sorted) {
  std::vector<std::string> keys;
  char key[32];
  for (size_t i = 0; i < count; ++i) {
    std::snprintf(key, sizeof key, "%zx%s", (i * 2654435761u) % 1000003, i % 3 ? "tok" : "Word");
    keys.push_back(key);
  }
  if (sorted) std::sort(keys.begin(), keys.end());
  return keys;
}

// Builds an index of state.range(0) keys and frees it again.
void indexInsert(benchmark::State& state, bool sorted) {
  const std::vector<std::string> keys = indexKeys(static_cast<size_t>(state.range(0)), sorted);
  for (auto _ : state) {
    TokenIndexNode root{};
    seedIndexRoot(&root);
    int32_t row = 0;
    for (const std::string& key : keys) {
      int32_t* slot = insertTokenKey(&root, key.c_str());
      if (*slot == -1) *slot = row++;
    }
    benchmark::DoNotOptimize(row);
    freeTokenIndex(&root);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * keys.size()));
}

void BM_IndexInsertRandom(benchmark::State& state) { indexInsert(state, false); }
BENCHMARK(BM_IndexInsertRandom)->Arg(1000)->Arg(200000)->Unit(benchmark::kMillisecond);

void BM_IndexInsertSorted(benchmark::State& state) { indexInsert(state, true); }
BENCHMARK(BM_IndexInsertSorted)->Arg(1000)->Arg(200000)->Unit(benchmark::kMillisecond);

// Looks up keys of which half are in an index of state.range(0) keys.
void BM_IndexFind(benchmark::State& state) {
  const size_t count = static_cast<size_t>(state.range(0));
  const std::vector<std::string> keys = indexKeys(count * 2, false);
  TokenIndexNode root{};
  seedIndexRoot(&root);
  for (size_t i = 0; i < count; ++i) *insertTokenKey(&root, keys[2 * i].c_str()) = int32_t(i);
  std::vector<const char*> probes;
  for (const std::string& key : keys) probes.push_back(key.c_str());
  std::shuffle(probes.begin(), probes.end(), std::mt19937(13));
  size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(findTokenEntry(&root, probes[next]));
    if (++next == probes.size()) next = 0;
  }
  freeTokenIndex(&root);
}
BENCHMARK(BM_IndexFind)->Arg(1000)->Arg(200000);

}  // namespace

BENCHMARK_MAIN();
