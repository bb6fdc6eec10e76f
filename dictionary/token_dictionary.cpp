#include "dictionary/token_dictionary.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "dictionary/pruning.h"

TokenDictionary tokenDictionary;

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

// The index is an AA tree. Its root node is part of the dictionary record
// and must stay there, so the two rebalancing steps never relink a node into
// its parent: they exchange the key and row number of a node with those of
// its child and rearrange the children below, leaving every node where its
// parent points.
void swapPayload(TokenIndexNode* a, TokenIndexNode* b) {
  std::swap(a->key, b->key);
  std::swap(a->entryIndex, b->entryIndex);
}

// A lower child on the same level becomes the parent.
void skew(TokenIndexNode* top) {
  TokenIndexNode* left = top->lower;
  if (left == nullptr || left->level != top->level) return;
  swapPayload(top, left);
  TokenIndexNode* a = left->lower;
  TokenIndexNode* b = left->higher;
  TokenIndexNode* right = top->higher;
  top->lower = a;
  top->higher = left;
  left->lower = b;
  left->higher = right;
}

// Two higher children on the same level: the middle one rises a level.
void split(TokenIndexNode* top) {
  TokenIndexNode* right = top->higher;
  if (right == nullptr || right->higher == nullptr || right->higher->level != top->level) {
    return;
  }
  swapPayload(top, right);
  TokenIndexNode* outer = right->higher;
  TokenIndexNode* a = top->lower;
  TokenIndexNode* b = right->lower;
  top->lower = right;
  top->higher = outer;
  right->lower = a;
  right->higher = b;
  top->level += 1;
}

// Inserts text below node unless it is there already. False only when a new
// node cannot be allocated.
bool insertBelow(TokenIndexNode* node, const char* text) {
  const int order = compareTokenKeys(node->key, text);
  if (order == 0) return true;
  TokenIndexNode** child = order < 0 ? &node->higher : &node->lower;
  if (*child == nullptr) {
    auto* created = static_cast<TokenIndexNode*>(std::malloc(sizeof(TokenIndexNode)));
    if (created == nullptr) {
      reportNoMemory();
      return false;
    }
    created->key = copyText(text, std::strlen(text));
    if (created->key == nullptr) {
      std::free(created);
      return false;
    }
    created->entryIndex = -1;
    created->level = 1;
    created->lower = nullptr;
    created->higher = nullptr;
    *child = created;
  } else if (!insertBelow(*child, text)) {
    return false;
  }
  skew(node);
  split(node);
  return true;
}

TokenIndexNode* findNode(TokenIndexNode* root, const char* text) {
  TokenIndexNode* node = root;
  while (node != nullptr) {
    const int order = compareTokenKeys(node->key, text);
    if (order == 0) return node;
    node = order < 0 ? node->higher : node->lower;
  }
  return nullptr;
}

void freeSubtree(TokenIndexNode* node) {
  if (node == nullptr) return;
  freeSubtree(node->lower);
  freeSubtree(node->higher);
  std::free(node->key);
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
    if (!insertBelow(root, text)) return nullptr;
    // Rebalancing may have moved the new key into another node.
    node = findNode(root, text);
  }
  return &node->entryIndex;
}

void seedIndexRoot(TokenIndexNode* root) {
  root->key = copyText("Z", 1);
  root->entryIndex = -1;
  root->level = 1;
  root->lower = nullptr;
  root->higher = nullptr;
}

void freeTokenIndex(TokenIndexNode* root) {
  freeSubtree(root->lower);
  freeSubtree(root->higher);
  std::free(root->key);
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
