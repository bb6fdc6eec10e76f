// Helpers shared by the POSIX stand-in's units.
#include "platform/posix/posix_common.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace platform {
namespace posix {

namespace {

constexpr const char* kPosixDefaultHostDirectory = "/var/lib/cvspamcmd";

// Code points of the bytes 0x80 to 0x9F in Windows-1252; the rest of the code
// page is ISO 8859-1, where byte and code point are equal.
constexpr char16_t kPosixWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr char32_t kPosixReplacement = 0xFFFD;

}  // namespace

std::string hostDirectory() {
  const char* value = std::getenv("CVSPAM_HOST_DIR");
  if (value == nullptr || value[0] == '\0') return kPosixDefaultHostDirectory;
  return value;
}

uint32_t windowsErrorFromErrno(int error) {
  switch (error) {
    case 0:
      return kErrorSuccess;
    case ENOENT:
      return kErrorFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return kErrorAccessDenied;
    case EBADF:
      return kErrorInvalidHandle;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    case EINVAL:
      return kErrorInvalidParameter;
    case ENOSPC:
    case EDQUOT:
      return 112;  // ERROR_DISK_FULL
    case EEXIST:
      return 183;  // ERROR_ALREADY_EXISTS
    case EMFILE:
    case ENFILE:
      return 4;  // ERROR_TOO_MANY_OPEN_FILES
    default:
      return kErrorWriteFault;
  }
}

int makeDirectories(const std::string& path) {
  if (path.empty()) return ENOENT;
  struct stat info;
  if (stat(path.c_str(), &info) == 0) return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
  size_t end = path.size();
  while (end > 1 && path[end - 1] == '/') --end;
  const size_t slash = path.rfind('/', end - 1);
  if (slash != std::string::npos && slash > 0) {
    const int parent = makeDirectories(path.substr(0, slash));
    if (parent != 0) return parent;
  }
  if (mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) return errno;
  if (stat(path.c_str(), &info) != 0) return errno;
  return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

mode_t currentUmask() {
  // umask() can only be read by setting it, which races with other threads
  // creating files; the kernel reports it in /proc/self/status instead.
  FILE* status = std::fopen("/proc/self/status", "re");
  if (status != nullptr) {
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr) {
      if (std::strncmp(line, "Umask:", 6) == 0) {
        std::fclose(status);
        return static_cast<mode_t>(std::strtoul(line + 6, nullptr, 8) & 0777);
      }
    }
    std::fclose(status);
  }
  return 022;
}

char32_t ansiToCodePoint(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) return kPosixWindows1252High[byte - 0x80];
  return byte;
}

int codePointToAnsi(char32_t codePoint) {
  if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) {
    return static_cast<int>(codePoint);
  }
  for (int i = 0; i < 32; ++i) {
    if (kPosixWindows1252High[i] == codePoint) return 0x80 + i;
  }
  return -1;
}

void appendUtf8(std::string& out, char32_t codePoint) {
  if (codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
    codePoint = kPosixReplacement;
  }
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

char32_t decodeUtf8(const std::string& text, size_t* position, bool* valid) {
  const size_t start = *position;
  const auto byteAt = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byteAt(start);
  if (valid != nullptr) *valid = true;
  if (lead < 0x80) {
    *position = start + 1;
    return lead;
  }
  int length;
  char32_t codePoint;
  unsigned char low = 0x80;  // the range allowed for the second byte
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    codePoint = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    codePoint = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    codePoint = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing beyond U+10FFFF
  } else {
    *position = start + 1;
    if (valid != nullptr) *valid = false;
    return kPosixReplacement;
  }
  size_t i = start + 1;
  for (int k = 1; k < length; ++k, ++i) {
    const unsigned char next = i < text.size() ? byteAt(i) : 0;
    const bool fits = i < text.size() && (k == 1 ? (next >= low && next <= high)
                                                 : (next >= 0x80 && next <= 0xBF));
    if (!fits) {
      *position = i;
      if (valid != nullptr) *valid = false;
      return kPosixReplacement;
    }
    codePoint = (codePoint << 6) | (next & 0x3F);
  }
  *position = i;
  return codePoint;
}

bool isValidUtf8(const std::string& text) {
  size_t position = 0;
  while (position < text.size()) {
    bool valid;
    decodeUtf8(text, &position, &valid);
    if (!valid) return false;
  }
  return true;
}

std::string ansiToUtf8(const std::string& ansi) {
  std::string out;
  out.reserve(ansi.size());
  for (char c : ansi) appendUtf8(out, ansiToCodePoint(static_cast<unsigned char>(c)));
  return out;
}

std::string utf8ToAnsi(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t position = 0;
  while (position < utf8.size()) {
    const int byte = codePointToAnsi(decodeUtf8(utf8, &position));
    out += byte < 0 ? '?' : static_cast<char>(byte);
  }
  return out;
}

}  // namespace posix
}  // namespace platform
