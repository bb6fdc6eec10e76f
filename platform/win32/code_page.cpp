// Code-page conversion over kernel32. Wide text is UTF-16, which is what
// wchar_t holds on Windows.
#include <windows.h>

#include "platform/platform.h"

namespace platform {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t is a UTF-16 unit on Windows");

}  // namespace

int multiByteToWideChar(unsigned codePage, uint32_t flags, const char* source,
                        int sourceLength, char16_t* destination, int destinationSize) {
  return ::MultiByteToWideChar(codePage, static_cast<DWORD>(flags), source, sourceLength,
                               reinterpret_cast<wchar_t*>(destination), destinationSize);
}

int wideCharToMultiByte(unsigned codePage, uint32_t flags, const char16_t* source,
                        int sourceLength, char* destination, int destinationSize) {
  return ::WideCharToMultiByte(codePage, static_cast<DWORD>(flags),
                               reinterpret_cast<const wchar_t*>(source), sourceLength,
                               destination, destinationSize, nullptr, nullptr);
}

}  // namespace platform
