// Helpers shared by the POSIX stand-in's units: the host folder, the mapping
// of errno values to Windows error numbers, Windows-1252 and UTF-8 coding,
// and small file-system utilities. Private to platform/posix.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace platform {
namespace posix {

// The host folder that holds registry.reg and events.log: CVSPAM_HOST_DIR,
// or /var/lib/cvspamcmd when it is unset or empty. Read anew on every call.
std::string hostDirectory();

// The Windows error number that stands for an errno value.
uint32_t windowsErrorFromErrno(int error);

// Creates path and every missing folder above it (mkdir -p). Returns 0 or
// the errno value of the first failure.
int makeDirectories(const std::string& path);

// The calling process's file creation mask, read without changing it.
mode_t currentUmask();

// Windows-1252: the code point of a byte (every byte has one; the five bytes
// the code page leaves undefined map to the C1 control of the same value).
char32_t ansiToCodePoint(unsigned char byte);
// The byte of a code point, or -1 when the code page has none.
int codePointToAnsi(char32_t codePoint);

// Appends the UTF-8 form of a code point (a surrogate or a value beyond
// U+10FFFF is written as U+FFFD).
void appendUtf8(std::string& out, char32_t codePoint);

// Decodes one UTF-8 sequence starting at text[*position], advances
// *position past it and returns its code point. An invalid or truncated
// sequence gives U+FFFD and advances past its longest valid beginning (at
// least one byte); *valid tells which happened when it is not null.
char32_t decodeUtf8(const std::string& text, size_t* position, bool* valid = nullptr);

// True when the whole text is well-formed UTF-8.
bool isValidUtf8(const std::string& text);

// Windows-1252 bytes to UTF-8 and back. Code points without a byte become
// '?'.
std::string ansiToUtf8(const std::string& ansi);
std::string utf8ToAnsi(const std::string& utf8);

}  // namespace posix
}  // namespace platform
