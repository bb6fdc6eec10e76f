// The process-wide token dictionary: a fixed table of rows, the message
// totals the probabilities are computed against, the dictionary's path, the
// counters that training and the tokenizers share, and the index from a
// token's text to its row.
#pragma once

#include <cstdint>

namespace platform::xml {
class DomDocument;
class DomNodeList;
}  // namespace platform::xml

constexpr int32_t kDictionaryRows = 200000;
constexpr int kDictionaryPathSize = 1024;
constexpr int kLoadedTokenSize = 64;

// One row of the table, and also one entry of a message's token list.
struct DictionaryEntry {
  // The token. In a row, the index's copy of its key, which lives as long as
  // the index; in a message's token list, the list's own copy; null in a
  // cleared row.
  char* tokenText;
  int32_t hamCount;   // occurrences in the ham messages trained
  int32_t spamCount;  // occurrences in the spam messages trained
  int32_t live;       // 1: kept and saved; 0: purged
};

// One node of the token index.
//
// The index maps a token's text to its row. Its root lives in the dictionary
// record and is seeded with the key "Z"; a key that has no row yet (only the
// seed) holds entryIndex -1.
//
// The index is a hash table over its nodes: open addressing with linear
// probing, at most half of the slots used, doubled as it fills. Finding a key
// costs one or two probes whatever the order the keys arrive in, so a
// dictionary file whose rows are sorted by token loads as fast as any other.
// The hash is seeded afresh in every process, so that tokens chosen in
// advance, in a crafted message or file, cannot be made to pile onto the
// same slots.
//
// Nodes other than the root, with the copy of their key after them, come
// from large blocks the table owns; the root's seed key is a heap copy of its
// own. Every key is freed with the index by freeTokenIndex.
struct TokenIndexHash;
struct TokenIndexNode {
  char* key;                // the token text, freed with the index
  TokenIndexHash* keyTable; // root only: the table of every key; null elsewhere
  int32_t entryIndex;       // row number in the table, or -1
};

// One row as parsed by a dictionary loader.
struct LoadedEntry {
  char tokenText[kLoadedTokenSize];
  int32_t tokenLength;
  int32_t hamCount;
  int32_t spamCount;
};

// What a lookup fills.
struct TokenCounts {
  const char* tokenText;
  int32_t hamCount;
  int32_t spamCount;
};

struct TokenDictionary {
  DictionaryEntry entries[kDictionaryRows];
  int32_t entryCount;
  int32_t trainAsHam;  // class of the message being added: 1 ham, 0 spam
  char dictionaryPath[kDictionaryPathSize];
  int32_t hamMessageTotal;
  int32_t spamMessageTotal;
  int32_t cleanseCount;
  int32_t phraseWordLimit;
  int32_t phraseWordCount;
  platform::xml::DomDocument* xmlDocument;  // held by the XML loader while it runs
  platform::xml::DomNodeList* xmlEntryList;
  TokenIndexNode indexRoot;
};

// The one dictionary of the process, zero-filled at start.
extern TokenDictionary tokenDictionary;

// ---- Index operations

// The row number of text, or -1 when the index has no row for it.
int32_t findTokenEntry(const TokenIndexNode* root, const char* text);

// The entryIndex slot of text's node, created with -1 when text was not in
// the index; the caller stores the new row number through it. Null only when
// memory for the node or a larger table cannot be had ("Insufficient memory
// available" is printed); the index is unchanged then.
int32_t* insertTokenKey(TokenIndexNode* root, const char* text);

// Gives the root a fresh heap copy of "Z" with no row and no children.
void seedIndexRoot(TokenIndexNode* root);

// Frees every node but the root, the table, and the root's key.
void freeTokenIndex(TokenIndexNode* root);

// The most slots a find has to look at in the index as it stands: how well
// the hash spreads the keys it holds. 0 for an index without a table.
int32_t longestIndexProbe(const TokenIndexNode* root);

// ---- Dictionary operations

// Adds one token-list entry of a trained message. 1 when counted, 0 when
// dropped because the table is full even after a cleanse.
int addTokenOccurrence(TokenDictionary& dictionary, const DictionaryEntry& entry);

// Adds a row read from a dictionary file; the first row of a token wins.
// Returns 1; 0 when the table has no free row (the row is not added).
int addLoadedEntry(TokenDictionary& dictionary, const LoadedEntry& loaded);

// The same for a list: addTokenOccurrences adds entries 0 to count - 1 in
// order as addTokenOccurrence would (returns 1); addLoadedEntries adds rows
// in order as addLoadedEntry would and returns how many were refused;
// findTokenEntries gives each entry's row as findTokenEntry would (-1 for
// none). Working through a list at once lets the waits for memory of
// neighbouring tokens overlap.
int addTokenOccurrences(TokenDictionary& dictionary, const DictionaryEntry* entries,
                        int32_t count);
int32_t addLoadedEntries(TokenDictionary& dictionary, const LoadedEntry* rows, int32_t count);
void findTokenEntries(const TokenDictionary& dictionary, const DictionaryEntry* entries,
                      int32_t count, int32_t* rows);

// 1 and the row's counts when the token has a row; 0 and zero counts if not.
int lookupTokenCounts(const TokenDictionary& dictionary, TokenCounts& counts);

// Empties the dictionary logically before a load: totals and entryCount to
// zero, a freshly seeded index root.
void resetDictionary(TokenDictionary& dictionary);

// Empties the whole table, then resets.
void clearDictionary(TokenDictionary& dictionary);

// Frees the token index, and with it the token text of every row in use,
// which the rows no longer point to. The rows' counts, entryCount and the
// totals stay as they are; only a reset makes the dictionary usable again.
// Freeing twice frees nothing more.
void freeDictionaryMemory(TokenDictionary& dictionary);
