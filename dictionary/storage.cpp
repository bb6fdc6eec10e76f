#include "dictionary/storage.h"

#include <cstdio>

#include "dictionary/text_dictionary.h"
#include "dictionary/xml/xml_dictionary.h"
#include "host/filter_settings.h"
#include "message/text_search.h"
#include "platform/platform.h"

namespace {

// Filled by the remote stub's start of Windows Sockets.
platform::WsaData socketsStartup;

}  // namespace

StorageKind storageKindOf(const char* path) {
  if (findNoCase(path, ".XML", -1, -1) != nullptr) return StorageKind::Xml;
  if (findNoCase(path, "HTTP://", -1, -1) != nullptr) return StorageKind::Remote;
  return StorageKind::Text;
}

int loadDictionary(TokenDictionary& dictionary) {
  resetDictionary(dictionary);
  switch (storageKindOf(dictionary.dictionaryPath)) {
    case StorageKind::Xml:
      loadXmlDictionary(dictionary);
      break;
    case StorageKind::Remote:
      openRemoteDictionary();
      break;
    case StorageKind::Text:
      loadTextDictionary(dictionary);
      break;
  }
  return 1;
}

int saveDictionary(TokenDictionary& dictionary) {
  switch (storageKindOf(dictionary.dictionaryPath)) {
    case StorageKind::Xml:
      saveXmlDictionary(dictionary);
      break;
    case StorageKind::Remote:
      closeRemoteDictionary();
      break;
    case StorageKind::Text:
      saveTextDictionary(dictionary);
      break;
  }
  return 1;
}

int releaseDictionary(TokenDictionary& dictionary) {
  if (filterSettings.trainingMode == 1) {
    std::printf("Saving Dictionary...\n");
    saveDictionary(tokenDictionary);
    std::printf("Dictionary Saved.\n");
  }
  std::printf("Releasing Dictionary...\n");
  freeDictionaryMemory(dictionary);
  std::printf("Dictionary Released.\n");
  return 1;
}

int openRemoteDictionary() {
  std::printf("Initiating Shared Dictionary Service with Remote Corvistane Content Analysis Service\n");
  platform::wsaStartup(0x0101, &socketsStartup);
  std::printf("Opened Session Corvistane Content Analysis Service\n");
  return 0;
}

int closeRemoteDictionary() {
  std::printf("Closing Session Corvistane Content Analysis Service\n");
  platform::wsaCleanup();
  std::printf("Closed Session Corvistane Content Analysis Service\n");
  return 0;
}
