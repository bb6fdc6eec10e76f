#include "dictionary/token_dictionary.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <utility>

#include "dictionary/pruning.h"

TokenDictionary tokenDictionary;

// The index's hash table: open addressing with linear probing over a
// power-of-two number of slots, at most half of them used. A slot holds a
// key's hash and the node whose key it is; a free slot has no node. Keys are
// never removed one by one: the whole table goes with freeTokenIndex, and
// with it the blocks its nodes were cut from.
struct TokenIndexHashSlot {
  uint64_t hash;
  TokenIndexNode* node;
};

// A block of nodes: this header, then the nodes one after the other.
struct TokenIndexBlock {
  TokenIndexBlock* next;  // the block filled before this one
  size_t size;            // bytes for nodes after the header
  size_t used;
};

struct TokenIndexHash {
  TokenIndexHashSlot* slots;
  size_t mask;    // slot count - 1
  size_t used;    // slots holding a key
  uint64_t seed;  // this table's hash seed
  TokenIndexBlock* blocks;  // the block nodes are being cut from, or null
};

namespace {

void reportNoMemory() { std::printf("Insufficient memory available\n"); }

char* copyText(const char* text, size_t length) {
  char* copy = static_cast<char*>(std::malloc(length + 1));
  if (copy == nullptr) {
    reportNoMemory();
    return nullptr;
  }
  std::memcpy(copy, text, length);
  copy[length] = '\0';
  return copy;
}

// A hint to fetch the cache line of address; no effect on the program's
// results.
inline void prefetchLine(const void* address) {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(address);
#else
  (void)address;
#endif
}

constexpr size_t kFirstTableSlots = 1024;
constexpr size_t kBlockBytes = 64 * 1024;

// A seed that differs from run to run. Where the system offers no random
// source the clock and an address still vary it.
uint64_t freshSeed() {
  uint64_t seed = 0x9e3779b97f4a7c15ULL;
  try {
    std::random_device device;
    seed ^= (static_cast<uint64_t>(device()) << 32) ^ device();
  } catch (...) {
  }
  seed ^= static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  seed ^= static_cast<uint64_t>(reinterpret_cast<std::uintptr_t>(&seed));
  return seed;
}

uint64_t processSeed() {
  static const uint64_t seed = freshSeed();
  return seed;
}

inline uint64_t hashKey(const TokenIndexHash* table, const char* text) {
  uint64_t hash = 0xcbf29ce484222325ULL ^ table->seed;
  for (const unsigned char* at = reinterpret_cast<const unsigned char*>(text); *at != 0; ++at) {
    hash = (hash ^ *at) * 0x100000001b3ULL;
  }
  // Spreads the high bits into the low ones, which pick the slot.
  hash ^= hash >> 32;
  hash *= 0xd6e8feb86659fd93ULL;
  hash ^= hash >> 32;
  return hash;
}

TokenIndexHashSlot* allocateSlots(size_t count) {
  return static_cast<TokenIndexHashSlot*>(std::calloc(count, sizeof(TokenIndexHashSlot)));
}

// The slot that holds text, or the free slot where it would go.
inline TokenIndexHashSlot* probe(const TokenIndexHash* table, uint64_t hash, const char* text) {
  size_t at = static_cast<size_t>(hash) & table->mask;
  for (;;) {
    TokenIndexHashSlot* slot = &table->slots[at];
    if (slot->node == nullptr) return slot;
    if (slot->hash == hash && std::strcmp(slot->node->key, text) == 0) return slot;
    at = (at + 1) & table->mask;
  }
}

// Doubles the slots. False, with the table as it was, when the larger table
// cannot be had.
bool growTable(TokenIndexHash* table) {
  const size_t oldCount = table->mask + 1;
  if (oldCount > SIZE_MAX / 2 / sizeof(TokenIndexHashSlot)) return false;
  const size_t count = oldCount * 2;
  TokenIndexHashSlot* slots = allocateSlots(count);
  if (slots == nullptr) return false;
  TokenIndexHashSlot* old = table->slots;
  table->slots = slots;
  table->mask = count - 1;
  for (size_t i = 0; i < oldCount; ++i) {
    if (old[i].node == nullptr) continue;
    size_t at = static_cast<size_t>(old[i].hash) & table->mask;
    while (slots[at].node != nullptr) at = (at + 1) & table->mask;
    slots[at] = old[i];
  }
  std::free(old);
  return true;
}

// A node with a copy of text after it, cut from the table's blocks.
TokenIndexNode* newNode(TokenIndexHash* table, const char* text, size_t length) {
  constexpr size_t kAlign = alignof(TokenIndexNode);
  if (length > SIZE_MAX - sizeof(TokenIndexNode) - kAlign) {
    reportNoMemory();
    return nullptr;
  }
  const size_t bytes = (sizeof(TokenIndexNode) + length + 1 + kAlign - 1) & ~(kAlign - 1);
  TokenIndexBlock* block = table->blocks;
  if (block == nullptr || block->size - block->used < bytes) {
    const size_t size = std::max(kBlockBytes, bytes);
    block = static_cast<TokenIndexBlock*>(std::malloc(sizeof(TokenIndexBlock) + size));
    if (block == nullptr) {
      reportNoMemory();
      return nullptr;
    }
    block->next = table->blocks;
    block->size = size;
    block->used = 0;
    table->blocks = block;
  }
  static_assert(sizeof(TokenIndexBlock) % alignof(TokenIndexNode) == 0, "nodes stay aligned");
  auto* node = reinterpret_cast<TokenIndexNode*>(reinterpret_cast<char*>(block + 1) + block->used);
  block->used += bytes;
  node->key = reinterpret_cast<char*>(node + 1);
  std::memcpy(node->key, text, length);
  node->key[length] = '\0';
  node->keyTable = nullptr;
  node->entryIndex = -1;
  return node;
}

// The hash of text in root's index; 0 for an index without a table, which
// does not use it.
inline uint64_t keyHash(const TokenIndexNode* root, const char* text) {
  return root->keyTable == nullptr ? 0 : hashKey(root->keyTable, text);
}

TokenIndexNode* findNode(const TokenIndexNode* root, const char* text, uint64_t hash) {
  const TokenIndexHash* table = root->keyTable;
  if (table == nullptr) {
    // An index whose table could not be had holds its seed alone.
    return root->key != nullptr && std::strcmp(root->key, text) == 0
               ? const_cast<TokenIndexNode*>(root)
               : nullptr;
  }
  return probe(table, hash, text)->node;
}

// The node of text, created with no row when text was not in the index.
// Null only when memory for it cannot be had.
TokenIndexNode* insertNode(TokenIndexNode* root, const char* text, uint64_t hash) {
  TokenIndexHash* table = root->keyTable;
  if (table == nullptr) {
    if (TokenIndexNode* seed = findNode(root, text, hash)) return seed;
    reportNoMemory();
    return nullptr;
  }
  TokenIndexHashSlot* slot = probe(table, hash, text);
  if (slot->node != nullptr) return slot->node;
  if ((table->used + 1) * 2 > table->mask + 1) {
    if (!growTable(table)) {
      reportNoMemory();
      return nullptr;
    }
    slot = probe(table, hash, text);
  }
  TokenIndexNode* node = newNode(table, text, std::strlen(text));
  if (node == nullptr) return nullptr;
  slot->hash = hash;
  slot->node = node;
  ++table->used;
  return node;
}

// Work on a list of tokens goes in batches: the hashes of a whole batch are
// computed first and their slots fetched, so that the waits for memory of
// the batch overlap instead of coming one after the other.
constexpr int32_t kBatch = 64;

template <typename Entry>
void hashBatch(const TokenIndexNode* root, const Entry* entries, int32_t count,
               uint64_t* hashes) {
  const TokenIndexHash* table = root->keyTable;
  for (int32_t i = 0; i < count; ++i) {
    hashes[i] = keyHash(root, entries[i].tokenText);
    if (table != nullptr) prefetchLine(&table->slots[static_cast<size_t>(hashes[i]) & table->mask]);
  }
}

// Adds one occurrence whose key's hash is known; as addTokenOccurrence.
int addOccurrence(TokenDictionary& dictionary, const DictionaryEntry& entry, uint64_t hash) {
  // Training keeps one row of the table free. The test comes before the
  // index is consulted, so while the table is full even occurrences of
  // known tokens are dropped.
  if (dictionary.entryCount + 1 >= kDictionaryRows) {
    std::printf("*");
    cleanseDictionary(dictionary);
    if (dictionary.entryCount + 1 >= kDictionaryRows) return 0;
  }
  TokenIndexNode* node = insertNode(&dictionary.indexRoot, entry.tokenText, hash);
  if (node == nullptr) return 0;
  if (node->entryIndex == -1) {
    const int32_t row = dictionary.entryCount++;
    node->entryIndex = row;
    DictionaryEntry& added = dictionary.entries[row];
    added.tokenText = node->key;
    added.live = 1;
    if (dictionary.trainAsHam == 1) {
      added.hamCount = entry.hamCount;
      added.spamCount = 0;
    } else {
      added.hamCount = 0;
      added.spamCount = entry.spamCount;
    }
    return 1;
  }
  DictionaryEntry& known = dictionary.entries[node->entryIndex];
  if (dictionary.trainAsHam == 0) {
    known.spamCount += entry.spamCount;
  } else {
    known.hamCount += entry.hamCount;
  }
  return 1;
}

// Adds one row whose key's hash is known; as addLoadedEntry.
int addLoaded(TokenDictionary& dictionary, const LoadedEntry& loaded, uint64_t hash) {
  // A file may hold more rows than the table; those are refused, but a row
  // of a token already read is passed over as usual.
  if (dictionary.entryCount >= kDictionaryRows) {
    const TokenIndexNode* node = findNode(&dictionary.indexRoot, loaded.tokenText, hash);
    return node != nullptr && node->entryIndex >= 0 ? 1 : 0;
  }
  TokenIndexNode* node = insertNode(&dictionary.indexRoot, loaded.tokenText, hash);
  if (node == nullptr) return 1;
  // The first row of a token in a file wins.
  if (node->entryIndex >= 0) return 1;
  const int32_t row = dictionary.entryCount++;
  node->entryIndex = row;
  DictionaryEntry& added = dictionary.entries[row];
  added.tokenText = node->key;
  added.spamCount = loaded.spamCount;
  added.hamCount = loaded.hamCount;
  added.live = 1;
  return 1;
}

}  // namespace

int32_t findTokenEntry(const TokenIndexNode* root, const char* text) {
  const TokenIndexNode* node = findNode(root, text, keyHash(root, text));
  return node == nullptr ? -1 : node->entryIndex;
}

int32_t* insertTokenKey(TokenIndexNode* root, const char* text) {
  TokenIndexNode* node = insertNode(root, text, keyHash(root, text));
  return node == nullptr ? nullptr : &node->entryIndex;
}

void seedIndexRoot(TokenIndexNode* root) {
  root->key = copyText("Z", 1);
  root->entryIndex = -1;
  // Without its table the index holds the seed alone.
  root->keyTable = nullptr;
  if (root->key == nullptr) return;
  TokenIndexHashSlot* slots = allocateSlots(kFirstTableSlots);
  if (slots == nullptr) return;
  root->keyTable =
      new (std::nothrow) TokenIndexHash{slots, kFirstTableSlots - 1, 0, processSeed(), nullptr};
  if (root->keyTable == nullptr) {
    std::free(slots);
    return;
  }
  TokenIndexHash* table = root->keyTable;
  TokenIndexHashSlot* slot = probe(table, hashKey(table, root->key), root->key);
  slot->hash = hashKey(table, root->key);
  slot->node = root;
  table->used = 1;
}

void freeTokenIndex(TokenIndexNode* root) {
  if (TokenIndexHash* table = root->keyTable) {
    for (TokenIndexBlock* block = table->blocks; block != nullptr;) {
      TokenIndexBlock* next = block->next;
      std::free(block);
      block = next;
    }
    std::free(table->slots);
    delete table;
    root->keyTable = nullptr;
  }
  std::free(root->key);
  root->key = nullptr;
}

int32_t longestIndexProbe(const TokenIndexNode* root) {
  const TokenIndexHash* table = root->keyTable;
  if (table == nullptr) return 0;
  size_t longest = 0;
  for (size_t at = 0; at <= table->mask; ++at) {
    const TokenIndexHashSlot& slot = table->slots[at];
    if (slot.node == nullptr) continue;
    const size_t home = static_cast<size_t>(slot.hash) & table->mask;
    longest = std::max(longest, ((at - home) & table->mask) + 1);
  }
  return static_cast<int32_t>(longest);
}

int addTokenOccurrence(TokenDictionary& dictionary, const DictionaryEntry& entry) {
  return addOccurrence(dictionary, entry, keyHash(&dictionary.indexRoot, entry.tokenText));
}

int addTokenOccurrences(TokenDictionary& dictionary, const DictionaryEntry* entries,
                        int32_t count) {
  uint64_t hashes[kBatch];
  for (int32_t first = 0; first < count; first += kBatch) {
    const int32_t size = std::min(kBatch, count - first);
    hashBatch(&dictionary.indexRoot, entries + first, size, hashes);
    // A cleanse on the way seeds a new index, whose keys hash the same way.
    for (int32_t i = 0; i < size; ++i) addOccurrence(dictionary, entries[first + i], hashes[i]);
  }
  return 1;
}

int addLoadedEntry(TokenDictionary& dictionary, const LoadedEntry& loaded) {
  return addLoaded(dictionary, loaded, keyHash(&dictionary.indexRoot, loaded.tokenText));
}

int32_t addLoadedEntries(TokenDictionary& dictionary, const LoadedEntry* rows, int32_t count) {
  uint64_t hashes[kBatch];
  int32_t refused = 0;
  for (int32_t first = 0; first < count; first += kBatch) {
    const int32_t size = std::min(kBatch, count - first);
    hashBatch(&dictionary.indexRoot, rows + first, size, hashes);
    for (int32_t i = 0; i < size; ++i) {
      if (addLoaded(dictionary, rows[first + i], hashes[i]) == 0) ++refused;
    }
  }
  return refused;
}

void findTokenEntries(const TokenDictionary& dictionary, const DictionaryEntry* entries,
                      int32_t count, int32_t* rows) {
  const TokenIndexNode* root = &dictionary.indexRoot;
  uint64_t hashes[kBatch];
  for (int32_t first = 0; first < count; first += kBatch) {
    const int32_t size = std::min(kBatch, count - first);
    hashBatch(root, entries + first, size, hashes);
    for (int32_t i = 0; i < size; ++i) {
      const TokenIndexNode* node = findNode(root, entries[first + i].tokenText, hashes[i]);
      rows[first + i] = node == nullptr ? -1 : node->entryIndex;
      // The row is fetched while the next keys are found.
      if (rows[first + i] >= 0 && rows[first + i] < kDictionaryRows) {
        prefetchLine(&dictionary.entries[rows[first + i]]);
      }
    }
  }
}

int lookupTokenCounts(const TokenDictionary& dictionary, TokenCounts& counts) {
  const int32_t row = findTokenEntry(&dictionary.indexRoot, counts.tokenText);
  if (row < 0) {
    counts.spamCount = 0;
    counts.hamCount = 0;
    return 0;
  }
  counts.hamCount = dictionary.entries[row].hamCount;
  counts.spamCount = dictionary.entries[row].spamCount;
  return 1;
}

void resetDictionary(TokenDictionary& dictionary) {
  dictionary.spamMessageTotal = 0;
  dictionary.entryCount = 0;
  dictionary.hamMessageTotal = 0;
  seedIndexRoot(&dictionary.indexRoot);
}

void clearDictionary(TokenDictionary& dictionary) {
  dictionary.entryCount = 0;
  dictionary.trainAsHam = 0;
  dictionary.hamMessageTotal = 0;
  dictionary.spamMessageTotal = 0;
  // Rows that are clear already are only read: writing every row would make
  // the system provide memory for the whole table, which a run seldom fills.
  for (DictionaryEntry& row : dictionary.entries) {
    if (row.tokenText != nullptr || row.hamCount != 0 || row.spamCount != 0 || row.live != 0) {
      row = DictionaryEntry{nullptr, 0, 0, 0};
    }
  }
  resetDictionary(dictionary);
}

void freeDictionaryMemory(TokenDictionary& dictionary) {
  // A row's text is its key in the index, freed with the index.
  for (int32_t row = 0; row < dictionary.entryCount && row < kDictionaryRows; ++row) {
    dictionary.entries[row].tokenText = nullptr;
  }
  if (dictionary.indexRoot.key != nullptr) freeTokenIndex(&dictionary.indexRoot);
}
