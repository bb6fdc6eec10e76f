#include "dictionary/token_dictionary.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "dictionary/pruning.h"

TokenDictionary tokenDictionary;

// The hash table beside the tree: open addressing with linear probing over a
// power-of-two number of slots, at most half of them used. A slot holds a
// key's hash and the node whose key it is; a free slot has no node. Keys are
// never removed one by one: the whole table goes with freeTokenIndex.
struct TokenIndexHashSlot {
  uint64_t hash;
  TokenIndexNode* node;
};

struct TokenIndexHash {
  TokenIndexHashSlot* slots;
  size_t mask;  // slot count - 1
  size_t used;  // slots holding a key
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

// ---- The hash table beside the tree

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

uint64_t hashKey(const char* text) {
  uint64_t hash = 0xcbf29ce484222325ULL;
  for (const unsigned char* at = reinterpret_cast<const unsigned char*>(text); *at != 0; ++at) {
    hash = (hash ^ *at) * 0x100000001b3ULL;
  }
  // Spreads the low bits, which pick the slot.
  hash ^= hash >> 32;
  hash *= 0xd6e8feb86659fd93ULL;
  hash ^= hash >> 32;
  return hash;
}

TokenIndexHashSlot* allocateSlots(size_t count) {
  return static_cast<TokenIndexHashSlot*>(std::calloc(count, sizeof(TokenIndexHashSlot)));
}

// The slot that holds text, or the free slot where it would go.
TokenIndexHashSlot* probe(const TokenIndexHash* table, uint64_t hash, const char* text) {
  size_t at = static_cast<size_t>(hash) & table->mask;
  for (;;) {
    TokenIndexHashSlot* slot = &table->slots[at];
    if (slot->node == nullptr) return slot;
    if (slot->hash == hash && std::strcmp(slot->node->key, text) == 0) return slot;
    at = (at + 1) & table->mask;
  }
}

// Stores a key that is not in the table yet; the table has room for it.
void addToTable(TokenIndexHash* table, TokenIndexNode* node) {
  const uint64_t hash = hashKey(node->key);
  TokenIndexHashSlot* slot = probe(table, hash, node->key);
  if (slot->node == nullptr) ++table->used;
  slot->hash = hash;
  slot->node = node;
}

void freeTable(TokenIndexNode* root) {
  if (root->keyTable == nullptr) return;
  std::free(root->keyTable->slots);
  delete root->keyTable;
  root->keyTable = nullptr;
}

// Makes room for one more key, doubling the slots when half are used. When
// the larger table cannot be had, the index goes on without a table.
void reserveOneKey(TokenIndexNode* root) {
  TokenIndexHash* table = root->keyTable;
  if (table == nullptr || (table->used + 1) * 2 <= table->mask + 1) return;
  const size_t count = (table->mask + 1) * 2;
  TokenIndexHashSlot* slots = allocateSlots(count);
  if (slots == nullptr) {
    freeTable(root);
    return;
  }
  TokenIndexHashSlot* old = table->slots;
  const size_t oldCount = table->mask + 1;
  table->slots = slots;
  table->mask = count - 1;
  for (size_t i = 0; i < oldCount; ++i) {
    if (old[i].node == nullptr) continue;
    size_t at = static_cast<size_t>(old[i].hash) & table->mask;
    while (slots[at].node != nullptr) at = (at + 1) & table->mask;
    slots[at] = old[i];
  }
  std::free(old);
}

// ---- The tree
//
// The index is an AA tree. Below the root the two rebalancing steps relink
// nodes as usual. The root node is part of the dictionary record and must
// stay there, so at the root they exchange the key and row number of the
// root with those of its child instead and rearrange the children below;
// the shape is the same either way. The hash table follows a key moved that
// way to its new node.
//
// A node and the copy of its key are one heap block, the key just after the
// node. Only the root's seed "Z" is a block of its own; as no other node can
// hold the text "Z", that text tells where the seed's copy went.
char* inlineKey(TokenIndexNode* node) { return reinterpret_cast<char*>(node + 1); }

TokenIndexNode* newNode(const char* text, size_t length) {
  auto* node = static_cast<TokenIndexNode*>(std::malloc(sizeof(TokenIndexNode) + length + 1));
  if (node == nullptr) {
    reportNoMemory();
    return nullptr;
  }
  node->key = inlineKey(node);
  std::memcpy(node->key, text, length);
  node->key[length] = '\0';
  node->entryIndex = -1;
  node->level = 1;
  node->lower = nullptr;
  node->higher = nullptr;
  node->keyTable = nullptr;
  return node;
}

void swapPayload(TokenIndexHash* table, TokenIndexNode* a, TokenIndexNode* b) {
  if (table != nullptr) {
    TokenIndexHashSlot* slotOfA = probe(table, hashKey(a->key), a->key);
    TokenIndexHashSlot* slotOfB = probe(table, hashKey(b->key), b->key);
    slotOfA->node = b;
    slotOfB->node = a;
  }
  std::swap(a->key, b->key);
  std::swap(a->entryIndex, b->entryIndex);
}

// At the root: a lower child on the same level becomes the parent.
void skewRoot(TokenIndexHash* table, TokenIndexNode* top) {
  TokenIndexNode* left = top->lower;
  if (left == nullptr || left->level != top->level) return;
  swapPayload(table, top, left);
  TokenIndexNode* a = left->lower;
  TokenIndexNode* b = left->higher;
  TokenIndexNode* right = top->higher;
  top->lower = a;
  top->higher = left;
  left->lower = b;
  left->higher = right;
}

// At the root: two higher children on the same level, the middle one rises.
void splitRoot(TokenIndexHash* table, TokenIndexNode* top) {
  TokenIndexNode* right = top->higher;
  if (right == nullptr || right->higher == nullptr || right->higher->level != top->level) {
    return;
  }
  swapPayload(table, top, right);
  TokenIndexNode* outer = right->higher;
  TokenIndexNode* a = top->lower;
  TokenIndexNode* b = right->lower;
  top->lower = right;
  top->higher = outer;
  right->lower = a;
  right->higher = b;
  top->level += 1;
}

// Below the root: the same two steps, returning the subtree's new top.
TokenIndexNode* skew(TokenIndexNode* top) {
  TokenIndexNode* left = top->lower;
  if (left == nullptr || left->level != top->level) return top;
  top->lower = left->higher;
  left->higher = top;
  return left;
}

TokenIndexNode* split(TokenIndexNode* top) {
  TokenIndexNode* right = top->higher;
  if (right == nullptr || right->higher == nullptr || right->higher->level != top->level) {
    return top;
  }
  top->higher = right->lower;
  right->lower = top;
  right->level += 1;
  return right;
}

// What an insertion found or made.
struct Insertion {
  TokenIndexNode* node = nullptr;  // the node that holds the text
  bool added = false;              // a node was created
  bool failed = false;             // a node could not be allocated
};

// Links the text in below the child link of parent unless it is there, and
// rebalances on the way back up. A new node enters the hash table at once.
void insertInto(TokenIndexNode*& link, TokenIndexHash* table, const char* text, size_t length,
                Insertion& insertion);

void insertBelowNode(TokenIndexNode*& top, TokenIndexHash* table, const char* text,
                     size_t length, Insertion& insertion) {
  // Both children are fetched while the key is compared: the walk goes on
  // to one of them.
  if (top->lower != nullptr) prefetchLine(top->lower);
  if (top->higher != nullptr) prefetchLine(top->higher);
  const int order = compareTokenKeys(top->key, text);
  if (order == 0) {
    insertion.node = top;
    return;
  }
  insertInto(order < 0 ? top->higher : top->lower, table, text, length, insertion);
  if (!insertion.added) return;
  top = skew(top);
  top = split(top);
}

void insertInto(TokenIndexNode*& link, TokenIndexHash* table, const char* text, size_t length,
                Insertion& insertion) {
  if (link != nullptr) {
    insertBelowNode(link, table, text, length, insertion);
    return;
  }
  TokenIndexNode* created = newNode(text, length);
  if (created == nullptr) {
    insertion.failed = true;
    return;
  }
  if (table != nullptr) addToTable(table, created);
  link = created;
  insertion.node = created;
  insertion.added = true;
}

// Inserts text into the tree of root. Null only when a node cannot be
// allocated.
TokenIndexNode* insertIntoTree(TokenIndexNode* root, const char* text) {
  const int order = compareTokenKeys(root->key, text);
  if (order == 0) return root;
  Insertion insertion;
  TokenIndexHash* table = root->keyTable;
  insertInto(order < 0 ? root->higher : root->lower, table, text, std::strlen(text), insertion);
  if (insertion.failed) return nullptr;
  if (!insertion.added) return insertion.node;
  char* key = insertion.node->key;
  skewRoot(table, root);
  splitRoot(table, root);
  // The rebalancing at the root may have moved the new key into the root.
  return insertion.node->key == key ? insertion.node : root;
}

TokenIndexNode* findInTree(TokenIndexNode* root, const char* text) {
  TokenIndexNode* node = root;
  while (node != nullptr) {
    const int order = compareTokenKeys(node->key, text);
    if (order == 0) return node;
    node = order < 0 ? node->higher : node->lower;
  }
  return nullptr;
}

TokenIndexNode* findNode(TokenIndexNode* root, const char* text) {
  if (root->keyTable == nullptr) return findInTree(root, text);
  return probe(root->keyTable, hashKey(text), text)->node;
}

// Frees the nodes and with each its own key. A key a node took over from
// another node goes with that node; the seed's copy is freed by the caller.
void freeSubtree(TokenIndexNode* node) {
  if (node == nullptr) return;
  freeSubtree(node->lower);
  freeSubtree(node->higher);
  std::free(node);
}

}  // namespace

int compareTokenKeys(const char* a, const char* b) {
  const int order = std::strcmp(a, b);  // strcmp compares as unsigned char
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

int32_t findTokenEntry(const TokenIndexNode* root, const char* text) {
  const TokenIndexNode* node = findNode(const_cast<TokenIndexNode*>(root), text);
  return node == nullptr ? -1 : node->entryIndex;
}

int32_t* insertTokenKey(TokenIndexNode* root, const char* text) {
  TokenIndexNode* node = findNode(root, text);
  if (node == nullptr) {
    reserveOneKey(root);
    node = insertIntoTree(root, text);
    if (node == nullptr) return nullptr;
  }
  return &node->entryIndex;
}

void prefetchTokenEntries(const TokenDictionary& dictionary, const DictionaryEntry* entries,
                          int32_t count) {
  const TokenIndexHash* table = dictionary.indexRoot.keyTable;
  if (table == nullptr) return;
  // In batches: first every slot, then the node each first slot names, then
  // that node's row, so each round's fetches run side by side.
  constexpr int32_t kBatch = 64;
  uint64_t hashes[kBatch];
  const TokenIndexNode* nodes[kBatch];
  for (int32_t first = 0; first < count; first += kBatch) {
    const int32_t size = std::min(kBatch, count - first);
    for (int32_t i = 0; i < size; ++i) {
      hashes[i] = hashKey(entries[first + i].tokenText);
      prefetchLine(&table->slots[static_cast<size_t>(hashes[i]) & table->mask]);
    }
    for (int32_t i = 0; i < size; ++i) {
      const TokenIndexHashSlot& slot = table->slots[static_cast<size_t>(hashes[i]) & table->mask];
      nodes[i] = slot.hash == hashes[i] ? slot.node : nullptr;
      if (nodes[i] != nullptr) prefetchLine(nodes[i]);
    }
    for (int32_t i = 0; i < size; ++i) {
      if (nodes[i] == nullptr) continue;
      const int32_t row = nodes[i]->entryIndex;
      if (row >= 0 && row < kDictionaryRows) prefetchLine(&dictionary.entries[row]);
    }
  }
}

void seedIndexRoot(TokenIndexNode* root) {
  root->key = copyText("Z", 1);
  root->entryIndex = -1;
  root->level = 1;
  root->lower = nullptr;
  root->higher = nullptr;
  // Without its table the index is searched through the tree.
  root->keyTable = nullptr;
  if (root->key == nullptr) return;
  TokenIndexHashSlot* slots = allocateSlots(kFirstTableSlots);
  if (slots == nullptr) return;
  root->keyTable = new (std::nothrow) TokenIndexHash{slots, kFirstTableSlots - 1, 0};
  if (root->keyTable == nullptr) {
    std::free(slots);
    return;
  }
  addToTable(root->keyTable, root);
}

void freeTokenIndex(TokenIndexNode* root) {
  freeTable(root);
  // The seed's copy is found while every key can still be read: keys move
  // between nodes, and no other node can hold the text "Z".
  TokenIndexNode* seedHolder = root->key != nullptr ? findInTree(root, "Z") : nullptr;
  char* seedKey = seedHolder != nullptr ? seedHolder->key : nullptr;
  freeSubtree(root->lower);
  freeSubtree(root->higher);
  std::free(seedKey);
  root->key = nullptr;
  root->lower = nullptr;
  root->higher = nullptr;
}

int addTokenOccurrence(TokenDictionary& dictionary, const DictionaryEntry& entry) {
  // Training keeps one row of the table free. The test comes before the
  // index is consulted, so while the table is full even occurrences of
  // known tokens are dropped.
  if (dictionary.entryCount + 1 >= kDictionaryRows) {
    std::printf("*");
    cleanseDictionary(dictionary);
    if (dictionary.entryCount + 1 >= kDictionaryRows) return 0;
  }
  int32_t* slot = insertTokenKey(&dictionary.indexRoot, entry.tokenText);
  if (slot == nullptr) return 0;
  if (*slot == -1) {
    char* text = copyText(entry.tokenText, std::strlen(entry.tokenText));
    if (text == nullptr) return 0;  // the key stays in the index without a row
    const int32_t row = dictionary.entryCount++;
    *slot = row;
    DictionaryEntry& added = dictionary.entries[row];
    added.tokenText = text;
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
  DictionaryEntry& known = dictionary.entries[*slot];
  if (dictionary.trainAsHam == 0) {
    known.spamCount += entry.spamCount;
  } else {
    known.hamCount += entry.hamCount;
  }
  return 1;
}

int addLoadedEntry(TokenDictionary& dictionary, const LoadedEntry& loaded) {
  // The first row of a token in a file wins.
  if (findTokenEntry(&dictionary.indexRoot, loaded.tokenText) >= 0) return 1;
  // A file may hold more rows than the table; those are refused.
  if (dictionary.entryCount >= kDictionaryRows) return 0;
  int32_t* slot = insertTokenKey(&dictionary.indexRoot, loaded.tokenText);
  if (slot == nullptr) return 1;
  char* text = copyText(loaded.tokenText, static_cast<size_t>(loaded.tokenLength));
  if (text == nullptr) return 1;
  const int32_t row = dictionary.entryCount++;
  *slot = row;
  DictionaryEntry& added = dictionary.entries[row];
  added.tokenText = text;
  added.spamCount = loaded.spamCount;
  added.hamCount = loaded.hamCount;
  added.live = 1;
  return 1;
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
  for (DictionaryEntry& row : dictionary.entries) row = DictionaryEntry{nullptr, 0, 0, 0};
  resetDictionary(dictionary);
}

void freeDictionaryMemory(TokenDictionary& dictionary) {
  for (int32_t row = 0; row < dictionary.entryCount && row < kDictionaryRows; ++row) {
    std::free(dictionary.entries[row].tokenText);
    dictionary.entries[row].tokenText = nullptr;
  }
  if (dictionary.indexRoot.key != nullptr) freeTokenIndex(&dictionary.indexRoot);
}
