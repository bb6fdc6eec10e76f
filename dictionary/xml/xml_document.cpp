#include "dictionary/xml/xml_document.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "host/event_log.h"
#include "host/filter_settings.h"
#include "platform/platform.h"

using platform::xml::ComError;
using platform::xml::ComPtr;
using platform::xml::DomDocument;
using platform::xml::DomNamedNodeMap;
using platform::xml::DomNode;
using platform::xml::DomParseError;
using platform::xml::HRESULT;
using platform::xml::WideString;

int xmlVersion = 0;

namespace {

constexpr uint32_t kDomCreationEventId = 0x40000001;
constexpr uint16_t kEventInformation = 4;

// A narrow name, value or text as the component takes it; a failed
// conversion raises, as converting to a COM string does.
WideString wideOf(const char* text) {
  if (text == nullptr) return WideString();
  WideString wide;
  HRESULT result = toWide(text, platform::kCodePageAnsi, &wide);
  if (platform::xml::failed(result)) throw ComError(result);
  return wide;
}

// Adds one attribute named name with value to the element's attribute map.
void addAttribute(const ComPtr<DomDocument>& document, const ComPtr<DomNamedNodeMap>& attributes,
                  const char* name, const char* value) {
  ComPtr<DomNode> attribute =
      document->createNode(platform::xml::kNodeAttribute, wideOf(name), WideString());
  attribute->putText(wideOf(value));
  attributes->setNamedItem(attribute.get());
}

}  // namespace

ComPtr<DomDocument> createXmlDocument(const char* failureMessage) {
  if (xmlVersion == 0) {
    char version[64];
    if (readSettingString(kStoreKey, "XML Version", version, sizeof version)) {
      xmlVersion = version[0] == '4' ? 4 : version[0] == '6' ? 6 : 3;
    } else {
      xmlVersion = 3;
    }
  }

  ComPtr<DomDocument> document;
  HRESULT result = -1;  // versions 4 and 6 have no component here
  if (xmlVersion == 3) result = platform::xml::createDomDocument30(&document);
  if (document) return document;

  char text[512];
  std::snprintf(text, sizeof text, "[%d] Error creating DOM instance", static_cast<int>(result));
  reportToEventLog(kEventInformation, kDefaultEventSource, kDomCreationEventId, text);
  if (failureMessage != nullptr && failureMessage[0] != '\0') std::printf("%s\n", failureMessage);
  return nullptr;
}

ComPtr<DomNode> loadXmlDocument(const ComPtr<DomDocument>& document, const char* path) {
  WideString widePath;
  toWide(path, platform::kCodePageAnsi, &widePath);  // an empty path simply fails to load
  try {
    if (document->load(widePath)) return document->documentElement();
    ComPtr<DomParseError> error = document->parseError();
    HRESULT code = error->errorCode();
    long line = error->line();
    long position = error->linepos();
    std::string reason = toNarrowString(error->reason());
    std::printf("Error:\n");
    std::printf("Code = 0x%x\n", static_cast<unsigned>(code));
    std::printf("Source = Line : %ld; Char : %ld\n", line, position);
    std::printf("Error Description = %s\n", reason.c_str());
    return nullptr;
  } catch (const ComError& error) {
    reportComError(error);
    return nullptr;
  } catch (...) {
    std::printf("Error: Unknown Error\n");
    return nullptr;
  }
}

ComPtr<DomNode> appendElement(const ComPtr<DomDocument>& document, const ComPtr<DomNode>& parent,
                              const char* name, const char* attribute1Name,
                              const char* attribute1Value, const char* attribute2Name,
                              const char* attribute2Value, const char* text) {
  try {
    ComPtr<DomNode> element =
        document->createNode(platform::xml::kNodeElement, wideOf(name), WideString());
    ComPtr<DomNamedNodeMap> attributes = element->attributes();
    if (attribute1Name != nullptr) addAttribute(document, attributes, attribute1Name, attribute1Value);
    if (attribute2Name != nullptr) addAttribute(document, attributes, attribute2Name, attribute2Value);
    if (text != nullptr) element->putText(wideOf(text));
    parent->appendChild(element.get());
    return element;
  } catch (const ComError& error) {
    reportComError(error);
    return nullptr;
  } catch (...) {
    std::printf("Unknown error!");
    return nullptr;
  }
}

void reportComError(const ComError& error) {
  const uint32_t code = static_cast<uint32_t>(error.error());
  std::string meaning;
  if (platform::xml::formatSystemMessage(error.error(), &meaning)) {
    while (!meaning.empty() && (meaning.back() == '\n' || meaning.back() == '\r')) meaning.pop_back();
  } else {
    char text[64];
    if (code > 0x80040200u && code <= 0x8004FFFFu) {
      std::snprintf(text, sizeof text, "IDispatch error #%d", static_cast<int>(code - 0x80040200u));
    } else {
      std::snprintf(text, sizeof text, "Unknown error 0x%0lX", static_cast<unsigned long>(code));
    }
    meaning = text;
  }
  // Without an error-information object both texts are empty.
  std::string source = toNarrowString(error.source());
  std::string description = toNarrowString(error.description());
  std::printf("Error:\n");
  std::printf("Code = %08lx\n", static_cast<unsigned long>(code));
  std::printf("Code meaning = %s\n", meaning.c_str());
  std::printf("Source = %s\n", source.c_str());
  std::printf("Error Description = %s\n", description.c_str());
}

char* toNarrow(const WideString& text, char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return nullptr;
  int written = platform::wideCharToMultiByte(platform::kCodePageAnsi, 0, text.c_str(), -1, buffer, size);
  if (written <= 0) {
    // Never hand back a text without its terminator.
    buffer[0] = '\0';
    return nullptr;
  }
  buffer[size - 1] = '\0';
  return buffer;
}

std::string toNarrowString(const WideString& text) {
  int size = platform::wideCharToMultiByte(platform::kCodePageAnsi, 0, text.c_str(), -1, nullptr, 0);
  if (size <= 0) return std::string();
  std::string narrow(static_cast<size_t>(size), '\0');
  if (platform::wideCharToMultiByte(platform::kCodePageAnsi, 0, text.c_str(), -1, &narrow[0], size) <= 0)
    return std::string();
  narrow.resize(std::strlen(narrow.c_str()));
  return narrow;
}

HRESULT toWide(const char* text, unsigned codePage, WideString* out) {
  if (out == nullptr) return platform::xml::kEPointer;
  out->clear();
  if (text == nullptr) return platform::xml::kEUnexpected;
  int length = platform::multiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
  if (length < 1) return platform::xml::kEUnexpected;
  try {
    out->assign(static_cast<size_t>(length), u'\0');
  } catch (const std::bad_alloc&) {
    return platform::xml::kEOutOfMemory;
  }
  if (platform::multiByteToWideChar(codePage, 0, text, -1, &(*out)[0], length) < 1) {
    out->clear();
    return platform::xml::kEUnexpected;
  }
  out->resize(static_cast<size_t>(length) - 1);  // the terminator
  return platform::xml::kSOk;
}
