// The XML dictionary: ELEMENTS holds one ENTRIES element whose attributes W
// and B give the ham and spam message totals, and ENTRIES holds one E
// element per row, W and B its ham and spam counts and its text the token.
#include "dictionary/xml/xml_dictionary.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dictionary/xml/xml_document.h"
#include "platform/platform.h"

using platform::xml::ComError;
using platform::xml::ComPtr;
using platform::xml::DomDocument;
using platform::xml::DomNamedNodeMap;
using platform::xml::DomNode;
using platform::xml::DomNodeList;
using platform::xml::WideString;

namespace {

constexpr const char* kLibraryFailure = "Unable to load MSXML Library";
// The loader converts a token into this many bytes, terminator included.
constexpr int kXmlTokenBufferSize = 31;

// A token XML cannot hold as element text: the control characters are not
// allowed at all, and white space at either end of an element's text or a
// carriage return does not survive reading back.
bool hasControlByte(const char* text) {
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
    if (*p < 0x20) return true;
  }
  return false;
}

// Reads text as atol does (leading blanks, optional sign, digits; anything
// else gives 0), held to the 32-bit range.
int32_t numberOf(const std::string& text) {
  long long value = std::strtoll(text.c_str(), nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

// The number held by the attribute name of attributes; false when the
// element has no such attribute.
bool readAttributeNumber(const ComPtr<DomNamedNodeMap>& attributes, const char16_t* name,
                         int32_t* value) {
  ComPtr<DomNode> attribute = attributes->getNamedItem(name);
  if (!attribute) return false;
  *value = numberOf(toNarrowString(attribute->getText()));
  return true;
}

// Sets the message totals from the first ENTRIES element under ELEMENTS.
// A missing element or attribute leaves that total at 0, and says so.
void readTotals(const ComPtr<DomDocument>& document, TokenDictionary& dictionary) {
  ComPtr<DomNode> entries = document->selectSingleNode(u"//ELEMENTS/ENTRIES");
  if (!entries) {
    std::printf("Dictionary has no ENTRIES element: message totals taken as 0\n");
    return;
  }
  ComPtr<DomNamedNodeMap> attributes = entries->attributes();
  int32_t total = 0;
  if (readAttributeNumber(attributes, u"W", &total)) {
    dictionary.hamMessageTotal = total;
  } else {
    std::printf("Dictionary ENTRIES element has no W attribute: ham message total taken as 0\n");
  }
  if (readAttributeNumber(attributes, u"B", &total)) {
    dictionary.spamMessageTotal = total;
  } else {
    std::printf("Dictionary ENTRIES element has no B attribute: spam message total taken as 0\n");
  }
}

}  // namespace

ComPtr<DomNode> appendRootElement(const ComPtr<DomDocument>& document) {
  ComPtr<DomNode> documentNode = document;
  ComPtr<DomNode> root;
  try {
    root = document->createNode(platform::xml::kNodeElement, u"ELEMENTS", WideString());
  } catch (...) {
    return nullptr;  // no document: the caller reports it
  }
  try {
    documentNode->appendChild(root.get());
  } catch (const ComError& error) {
    reportComError(error);
    return nullptr;
  }
  return root;
}

int saveXmlDictionary(TokenDictionary& dictionary) {
  ComPtr<DomDocument> document = createXmlDocument(kLibraryFailure);
  ComPtr<DomNode> root = appendRootElement(document);
  if (!document) {
    std::printf("XML Lib error or COM not Init\n");
    return 0;
  }

  char ham[16];
  char spam[16];
  std::snprintf(ham, sizeof ham, "%ld", static_cast<long>(dictionary.hamMessageTotal));
  std::snprintf(spam, sizeof spam, "%ld", static_cast<long>(dictionary.spamMessageTotal));
  appendElement(document, root, "ENTRIES", "W", ham, "B", spam, nullptr);

  try {
    // Without its ENTRIES element the file would lose the totals and every
    // row: nothing is written.
    ComPtr<DomNode> entries = document->selectSingleNode(u"//ELEMENTS//ENTRIES");
    if (!entries) throw ComError(platform::xml::kEPointer);

    for (int32_t i = 0; i < dictionary.entryCount; ++i) {
      const DictionaryEntry& row = dictionary.entries[i];
      if (row.live != 1 || row.tokenText == nullptr || std::strlen(row.tokenText) <= 2) continue;
      // Such a row would make a file that cannot be read back as written.
      if (hasControlByte(row.tokenText)) continue;
      std::snprintf(ham, sizeof ham, "%ld", static_cast<long>(row.hamCount));
      std::snprintf(spam, sizeof spam, "%ld", static_cast<long>(row.spamCount));
      appendElement(document, entries, "E", "W", ham, "B", spam, row.tokenText);
    }

    WideString path;
    platform::xml::HRESULT result = toWide(dictionary.dictionaryPath, platform::kCodePageAnsi, &path);
    if (platform::xml::failed(result)) throw ComError(result);
    document->save(path);
  } catch (const ComError& error) {
    reportComError(error);
    return 0;
  }
  return 1;
}

int loadXmlDictionary(TokenDictionary& dictionary) {
  std::printf("Loading Dictionary..\n");
  ComPtr<DomDocument> document = createXmlDocument(kLibraryFailure);
  // The document and its entry list are held in the dictionary while the
  // load runs; the local pointers own them.
  dictionary.xmlDocument = document.get();
  dictionary.phraseWordLimit = 1;
  dictionary.phraseWordCount = 0;

  if (!loadXmlDocument(document, dictionary.dictionaryPath)) {
    dictionary.xmlDocument = nullptr;
    return 0;
  }

  long leftOut = 0;     // refused by a full table
  long incomplete = 0;  // an E without W or B
  long tooLong = 0;     // a token longer than the buffer holds
  ComPtr<DomNodeList> list;
  try {
    readTotals(document, dictionary);
    list = document->selectNodes(u"//ELEMENTS/ENTRIES//E");
    dictionary.xmlEntryList = list.get();
    const long n = list->length();
    for (long i = 0; i < n; ++i) {
      ComPtr<DomNode> node = list->item(i);
      ComPtr<DomNamedNodeMap> attributes = node->attributes();
      int32_t spamCount = 0;
      int32_t hamCount = 0;
      if (!readAttributeNumber(attributes, u"B", &spamCount) ||
          !readAttributeNumber(attributes, u"W", &hamCount)) {
        ++incomplete;
        continue;
      }
      if (static_cast<int64_t>(spamCount) + hamCount <= 2) continue;

      char token[kXmlTokenBufferSize];
      if (toNarrow(node->getText(), token, sizeof token) == nullptr) {
        ++tooLong;
        continue;
      }
      const size_t length = std::strlen(token);
      if (length <= 2) continue;
      LoadedEntry loaded;
      std::memcpy(loaded.tokenText, token, length + 1);
      loaded.tokenLength = static_cast<int32_t>(length);
      loaded.hamCount = hamCount;
      loaded.spamCount = spamCount;
      if (addLoadedEntry(dictionary, loaded) == 0) {
        ++leftOut;
        continue;
      }
      std::printf(".");
    }
  } catch (const ComError& error) {
    // What was read before the failure stays loaded.
    reportComError(error);
  }
  list.reset();
  dictionary.xmlEntryList = nullptr;
  document.reset();
  dictionary.xmlDocument = nullptr;

  std::printf("\nLoading Dictionary Completed. (%ld)\n", static_cast<long>(dictionary.entryCount));
  if (leftOut > 0) std::printf("Dictionary full: %ld entries left out\n", leftOut);
  if (incomplete > 0) std::printf("Entries without a W or B attribute left out: %ld\n", incomplete);
  if (tooLong > 0) std::printf("Entries with a token longer than 30 bytes left out: %ld\n", tooLong);
  return 1;
}
