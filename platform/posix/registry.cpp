// Registry of the POSIX stand-in: every hive in one file, registry.reg in the
// host folder, in the registry editor's export format.
//
// The file is read anew for every open and query, so a change made by
// another process shows at once. A change takes an exclusive lock on
// registry.reg.lock, reads the file again under it, and writes the whole
// registry to a new temporary file that is then renamed over registry.reg:
// writers never lose each other's changes and readers never see a
// half-written file.
//
// In memory, key paths, value names and the text of string values written
// as "..." are kept in UTF-8, so nothing the file holds is lost when it is
// written back; callers see them in the ANSI code page (Windows-1252). Other
// values are kept as the raw bytes the file gives for them.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/posix_common.h"

namespace platform {

struct RegKeyRecord {
  std::string path;  // UTF-8, hive name first: "HKEY_LOCAL_MACHINE\\SOFTWARE\\..."
  uint32_t access;
};

namespace {

constexpr long kPosixErrorBadDb = 1009;  // ERROR_BADDB: the registry file is damaged
constexpr size_t kPosixLargestRegistry = 256u << 20;
constexpr const char* kPosixHeader5 = "Windows Registry Editor Version 5.00";
constexpr const char* kPosixHeader4 = "REGEDIT4";

struct PosixRegValue {
  std::string name;  // UTF-8; empty for the default value
  uint32_t type = kRegNone;
  bool quoted = false;  // a "..." string: its text is in text, else bytes
  std::string text;
  std::string bytes;
};

struct PosixRegKey {
  std::string path;  // UTF-8, canonical hive name first
  std::vector<PosixRegValue> values;
};

struct PosixRegistry {
  std::vector<PosixRegKey> keys;
};

enum class PosixLoad { Loaded, Missing, Unreadable, Damaged };

std::string posixFold(const std::string& text) {
  std::string folded = text;
  for (char& c : folded) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return folded;
}

bool posixSameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && posixFold(a) == posixFold(b);
}

// The canonical name of a hive as a .reg file may spell it, or "".
std::string posixCanonicalHive(const std::string& name) {
  static const char* const kHives[][2] = {
      {"HKEY_LOCAL_MACHINE", "HKLM"}, {"HKEY_CURRENT_USER", "HKCU"},
      {"HKEY_CLASSES_ROOT", "HKCR"},  {"HKEY_USERS", "HKU"},
      {"HKEY_CURRENT_CONFIG", "HKCC"}, {"HKEY_PERFORMANCE_DATA", ""},
      {"HKEY_DYN_DATA", ""}};
  for (const auto& hive : kHives) {
    if (posixSameName(name, hive[0]) || (hive[1][0] != '\0' && posixSameName(name, hive[1]))) {
      return hive[0];
    }
  }
  return "";
}

// A key path with its hive made canonical and no trailing separator; "" when
// the hive is unknown.
std::string posixCanonicalPath(const std::string& path) {
  const size_t slash = path.find('\\');
  const std::string hive = posixCanonicalHive(path.substr(0, slash));
  if (hive.empty()) return "";
  std::string rest = slash == std::string::npos ? "" : path.substr(slash + 1);
  while (!rest.empty() && rest.back() == '\\') rest.pop_back();
  return rest.empty() ? hive : hive + "\\" + rest;
}

PosixRegKey* posixFindKey(PosixRegistry& registry, const std::string& path) {
  for (PosixRegKey& key : registry.keys) {
    if (posixSameName(key.path, path)) return &key;
  }
  return nullptr;
}

// A key exists when the file names it or names a key below it, as importing
// such a file creates every key on the way.
bool posixKeyExists(PosixRegistry& registry, const std::string& path) {
  if (path.find('\\') == std::string::npos) return true;  // a hive
  const std::string below = posixFold(path) + "\\";
  for (const PosixRegKey& key : registry.keys) {
    const std::string folded = posixFold(key.path);
    if (folded == below.substr(0, below.size() - 1) || folded.compare(0, below.size(), below) == 0) {
      return true;
    }
  }
  return false;
}

PosixRegValue* posixFindValue(PosixRegKey& key, const std::string& name) {
  for (PosixRegValue& value : key.values) {
    if (posixSameName(value.name, name)) return &value;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Reading the file.

// The file's text in UTF-8, whatever encoding it came in.
std::string posixDecodeFile(const std::string& raw) {
  if (raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFF &&
      static_cast<unsigned char>(raw[1]) == 0xFE) {
    std::string text;
    text.reserve(raw.size());
    const size_t units = (raw.size() - 2) / 2;
    const auto unitAt = [&](size_t i) {
      return static_cast<char32_t>(static_cast<unsigned char>(raw[2 + 2 * i]) |
                                   (static_cast<unsigned char>(raw[3 + 2 * i]) << 8));
    };
    for (size_t i = 0; i < units; ++i) {
      char32_t unit = unitAt(i);
      if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
        const char32_t next = unitAt(i + 1);
        if (next >= 0xDC00 && next <= 0xDFFF) {
          unit = 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
          ++i;
        }
      }
      posix::appendUtf8(text, unit);
    }
    return text;
  }
  if (raw.size() >= 3 && raw.compare(0, 3, "\xEF\xBB\xBF") == 0) return raw.substr(3);
  // Without a byte-order mark: UTF-8 when the whole file is well-formed
  // UTF-8, else the ANSI code page.
  if (posix::isValidUtf8(raw)) return raw;
  return posix::ansiToUtf8(raw);
}

std::string posixTrim(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r')) {
    --end;
  }
  return text.substr(begin, end - begin);
}

// Reads a "..." string starting at text[*position] (the opening quote).
bool posixParseQuoted(const std::string& text, size_t* position, std::string* out) {
  out->clear();
  size_t i = *position + 1;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '"') {
      *position = i + 1;
      return true;
    }
    if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"')) {
      *out += text[i + 1];
      i += 2;
      continue;
    }
    *out += c;
    ++i;
  }
  return false;
}

int posixHexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "00,1f, a0": bytes of one or two hex digits separated by commas.
bool posixParseHexList(const std::string& list, std::string* bytes) {
  bytes->clear();
  size_t i = 0;
  for (;;) {
    while (i < list.size() && (list[i] == ' ' || list[i] == '\t')) ++i;
    if (i == list.size()) return true;
    int value = 0;
    int digits = 0;
    while (i < list.size() && posixHexDigit(list[i]) >= 0 && digits < 2) {
      value = value * 16 + posixHexDigit(list[i++]);
      ++digits;
    }
    if (digits == 0) return false;
    *bytes += static_cast<char>(value);
    while (i < list.size() && (list[i] == ' ' || list[i] == '\t')) ++i;
    if (i == list.size()) return true;
    if (list[i] != ',') return false;
    ++i;
  }
}

bool posixStartsWithNoCase(const std::string& text, const char* prefix) {
  const size_t length = std::strlen(prefix);
  return text.size() >= length && posixSameName(text.substr(0, length), prefix);
}

// Parses the decoded file. False with the 1-based line and a reason when a
// line cannot be understood.
bool posixParse(const std::string& text, PosixRegistry* registry, int* errorLine,
                std::string* reason) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  const auto fail = [&](size_t index, const char* why) {
    *errorLine = static_cast<int>(index + 1);
    *reason = why;
    return false;
  };
  const std::string header = posixTrim(lines[0]);
  if (header != kPosixHeader5 && header != kPosixHeader4) {
    return fail(0, "not a registry file (the first line must be \"Windows Registry Editor "
                   "Version 5.00\" or \"REGEDIT4\")");
  }
  PosixRegKey* current = nullptr;
  bool skippingDeletedKey = false;
  for (size_t index = 1; index < lines.size(); ++index) {
    const std::string line = posixTrim(lines[index]);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      const size_t close = line.rfind(']');
      if (close == std::string::npos || posixTrim(line.substr(close + 1)) != "") {
        return fail(index, "a key line must end with ']'");
      }
      std::string name = line.substr(1, close - 1);
      const bool deletion = !name.empty() && name[0] == '-';
      if (deletion) name.erase(0, 1);
      const std::string path = posixCanonicalPath(name);
      if (path.empty()) return fail(index, "unknown registry hive");
      if (deletion) {
        // "[-KEY]" removes the key and everything below it.
        const std::string folded = posixFold(path);
        std::vector<PosixRegKey> kept;
        for (PosixRegKey& key : registry->keys) {
          const std::string other = posixFold(key.path);
          if (other != folded && other.compare(0, folded.size() + 1, folded + "\\") != 0) {
            kept.push_back(std::move(key));
          }
        }
        registry->keys = std::move(kept);
        current = nullptr;
        skippingDeletedKey = true;
        continue;
      }
      current = posixFindKey(*registry, path);
      if (current == nullptr) {
        registry->keys.push_back(PosixRegKey{path, {}});
        current = &registry->keys.back();
      }
      skippingDeletedKey = false;
      continue;
    }
    if (line[0] != '"' && line[0] != '@') return fail(index, "unrecognised line");
    if (current == nullptr && !skippingDeletedKey) {
      return fail(index, "a value before the first key");
    }
    PosixRegValue value;
    size_t position = 0;
    if (line[0] == '@') {
      position = 1;
    } else if (!posixParseQuoted(line, &position, &value.name)) {
      return fail(index, "unterminated value name");
    }
    while (position < line.size() && (line[position] == ' ' || line[position] == '\t')) {
      ++position;
    }
    if (position == line.size() || line[position] != '=') return fail(index, "'=' expected");
    std::string data = posixTrim(line.substr(position + 1));
    bool remove = false;
    if (!data.empty() && data[0] == '"') {
      size_t end = 0;
      if (!posixParseQuoted(data, &end, &value.text)) return fail(index, "unterminated string");
      if (posixTrim(data.substr(end)) != "") return fail(index, "text after the string");
      value.type = kRegSz;
      value.quoted = true;
    } else if (data == "-") {
      remove = true;
    } else if (posixStartsWithNoCase(data, "dword:")) {
      const std::string digits = posixTrim(data.substr(6));
      if (digits.empty() || digits.size() > 8) return fail(index, "a dword needs 1 to 8 hex digits");
      uint32_t number = 0;
      for (char c : digits) {
        if (posixHexDigit(c) < 0) return fail(index, "a dword needs 1 to 8 hex digits");
        number = number * 16 + static_cast<uint32_t>(posixHexDigit(c));
      }
      value.type = kRegDword;
      for (int shift = 0; shift < 32; shift += 8) {
        value.bytes += static_cast<char>((number >> shift) & 0xFF);
      }
    } else if (posixStartsWithNoCase(data, "hex")) {
      size_t colon = data.find(':');
      if (colon == std::string::npos) return fail(index, "':' expected after hex");
      const std::string kind = data.substr(3, colon - 3);
      if (kind.empty()) {
        value.type = kRegBinary;
      } else {
        if (kind.size() < 3 || kind.front() != '(' || kind.back() != ')' || kind.size() > 10) {
          return fail(index, "hex(N) expected");
        }
        uint32_t type = 0;
        for (size_t k = 1; k + 1 < kind.size(); ++k) {
          if (posixHexDigit(kind[k]) < 0) return fail(index, "hex(N) expected");
          type = type * 16 + static_cast<uint32_t>(posixHexDigit(kind[k]));
        }
        value.type = type;
      }
      std::string list = data.substr(colon + 1);
      // A trailing backslash continues the list on the next line.
      while (!list.empty() && list.back() == '\\') {
        list.pop_back();
        if (index + 1 >= lines.size()) break;
        list += posixTrim(lines[++index]);
      }
      if (!posixParseHexList(list, &value.bytes)) return fail(index, "bad hex byte list");
    } else {
      return fail(index, "unknown kind of value data");
    }
    if (current == nullptr) continue;  // a value of a deleted key
    PosixRegValue* existing = posixFindValue(*current, value.name);
    if (remove) {
      if (existing != nullptr) {
        current->values.erase(current->values.begin() + (existing - current->values.data()));
      }
    } else if (existing != nullptr) {
      *existing = std::move(value);
    } else {
      current->values.push_back(std::move(value));
    }
  }
  return true;
}

// A damaged file is reported once per process for each fault.
void posixReportDamage(const std::string& path, int line, const std::string& reason) {
  static std::mutex reportedLock;
  static std::set<std::string> reported;
  const std::string message =
      "registry.reg line " + std::to_string(line) + ": " + reason + "; " + path +
      " is ignored\n";
  std::lock_guard<std::mutex> hold(reportedLock);
  if (!reported.insert(message).second) return;
  std::fputs(message.c_str(), stderr);
  std::fflush(stderr);
}

std::string posixRegistryPath(const std::string& folder) { return folder + "/registry.reg"; }

// Reads and parses registry.reg of the host folder. A file that is missing
// or damaged leaves the registry empty; *error receives errno for an
// unreadable one.
PosixLoad posixLoad(const std::string& folder, PosixRegistry* registry, int* error) {
  registry->keys.clear();
  const std::string path = posixRegistryPath(folder);
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = errno;
    return (errno == ENOENT || errno == ENOTDIR) ? PosixLoad::Missing : PosixLoad::Unreadable;
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    *error = S_ISREG(info.st_mode) ? errno : EACCES;
    close(fd);
    return PosixLoad::Unreadable;
  }
  if (static_cast<size_t>(info.st_size) > kPosixLargestRegistry) {
    close(fd);
    posixReportDamage(path, 1, "the file is too large");
    return PosixLoad::Damaged;
  }
  std::string raw;
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      *error = errno;
      close(fd);
      return PosixLoad::Unreadable;
    }
    raw.append(buffer, static_cast<size_t>(got));
    if (raw.size() > kPosixLargestRegistry) {
      close(fd);
      posixReportDamage(path, 1, "the file is too large");
      return PosixLoad::Damaged;
    }
  }
  close(fd);
  if (raw.empty()) return PosixLoad::Loaded;
  int line = 0;
  std::string reason;
  if (!posixParse(posixDecodeFile(raw), registry, &line, &reason)) {
    registry->keys.clear();
    posixReportDamage(path, line, reason);
    return PosixLoad::Damaged;
  }
  return PosixLoad::Loaded;
}

// ---------------------------------------------------------------------------
// Writing the file.

std::string posixEscape(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == '\\' || c == '"') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

void posixAppendHexList(std::string& out, const std::string& bytes, size_t lineLength) {
  static const char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0xF];
    lineLength += 2;
    if (i + 1 == bytes.size()) break;
    out += ',';
    ++lineLength;
    // Long lists go on over several lines, as the registry editor writes them.
    if (lineLength >= 77) {
      out += "\\\n  ";
      lineLength = 2;
    }
  }
}

std::string posixSerialise(const PosixRegistry& registry) {
  std::string out = std::string(kPosixHeader5) + "\n\n";
  for (const PosixRegKey& key : registry.keys) {
    out += "[" + key.path + "]\n";
    for (const PosixRegValue& value : key.values) {
      const size_t lineStart = out.size();
      out += value.name.empty() ? "@" : "\"" + posixEscape(value.name) + "\"";
      out += '=';
      if (value.quoted) {
        out += "\"" + posixEscape(value.text) + "\"";
      } else if (value.type == kRegDword && value.bytes.size() == 4) {
        uint32_t number = 0;
        for (int i = 3; i >= 0; --i) number = (number << 8) | static_cast<unsigned char>(value.bytes[i]);
        char digits[16];
        std::snprintf(digits, sizeof digits, "dword:%08x", number);
        out += digits;
      } else {
        char kind[24];
        if (value.type == kRegBinary) {
          std::snprintf(kind, sizeof kind, "hex:");
        } else {
          std::snprintf(kind, sizeof kind, "hex(%x):", static_cast<unsigned>(value.type));
        }
        out += kind;
        posixAppendHexList(out, value.bytes, out.size() - lineStart);
      }
      out += '\n';
    }
    out += '\n';
  }
  return out;
}

bool posixWriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t put = write(fd, data.data() + done, data.size() - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(put);
  }
  return true;
}

// Writes the registry over registry.reg through a temporary file. Returns 0
// or errno.
int posixReplaceFile(const std::string& folder, const PosixRegistry& registry) {
  const std::string path = posixRegistryPath(folder);
  std::string pattern = folder + "/.registry.reg.XXXXXX";
  std::vector<char> temporary(pattern.begin(), pattern.end());
  temporary.push_back('\0');
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat old;
  const mode_t mode =
      stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : (0644 & ~posix::currentUmask());
  int error = 0;
  if (!posixWriteAll(fd, posixSerialise(registry)) || fsync(fd) != 0 || fchmod(fd, mode) != 0) {
    error = errno;
  }
  if (close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && rename(temporary.data(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    unlink(temporary.data());
    return error;
  }
  const int folderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    fsync(folderFd);
    close(folderFd);
  }
  return 0;
}

long posixErrorNumber(int error) { return static_cast<long>(posix::windowsErrorFromErrno(error)); }

// Applies change to the registry as it is now, under the writers' lock, and
// writes the result back when change reports that it changed something.
// Returns 0 or a Windows error number.
long posixChangeRegistry(const std::function<bool(PosixRegistry&)>& change) {
  const std::string folder = posix::hostDirectory();
  int error = posix::makeDirectories(folder);
  if (error != 0) return posixErrorNumber(error);
  const std::string lockPath = folder + "/registry.reg.lock";
  const int lockFd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lockFd < 0) return posixErrorNumber(errno);
  while (flock(lockFd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      error = errno;
      close(lockFd);
      return posixErrorNumber(error);
    }
  }
  long result = 0;
  PosixRegistry registry;
  switch (posixLoad(folder, &registry, &error)) {
    case PosixLoad::Unreadable:
      result = posixErrorNumber(error);
      break;
    case PosixLoad::Damaged:
      // Writing would throw away whatever the damaged file holds.
      result = kPosixErrorBadDb;
      break;
    case PosixLoad::Missing:
    case PosixLoad::Loaded:
      if (change(registry)) {
        error = posixReplaceFile(folder, registry);
        if (error != 0) result = posixErrorNumber(error);
      } else if (faccessat(AT_FDCWD, folder.c_str(), W_OK, AT_EACCESS) != 0) {
        result = posixErrorNumber(errno);
      }
      break;
  }
  close(lockFd);
  return result;
}

// The full UTF-8 path of a key given by the caller in ANSI; "" when it holds
// a character that the file cannot hold.
std::string posixKeyPath(RegHive, const char* path) {
  std::string full = "HKEY_LOCAL_MACHINE";
  const std::string rest = posix::ansiToUtf8(path == nullptr ? "" : path);
  if (rest.find_first_of("\r\n") != std::string::npos) return "";
  if (!rest.empty()) full += "\\" + rest;
  while (full.back() == '\\') full.pop_back();
  return full;
}

long posixReturn(long result) {
  if (result != 0) setLastError(static_cast<uint32_t>(result));
  return result;
}

}  // namespace

long regOpenKey(RegHive hive, const char* path, uint32_t access, RegKey* key) {
  if (key == nullptr) return posixReturn(kErrorInvalidParameter);
  *key = nullptr;
  const std::string full = posixKeyPath(hive, path);
  if (full.empty()) return posixReturn(kErrorFileNotFound);
  PosixRegistry registry;
  int error = 0;
  if (posixLoad(posix::hostDirectory(), &registry, &error) == PosixLoad::Unreadable) {
    return posixReturn(kErrorAccessDenied);
  }
  if (!posixKeyExists(registry, full)) return posixReturn(kErrorFileNotFound);
  *key = new RegKeyRecord{full, access};
  return 0;
}

long regCreateKey(RegHive hive, const char* path, uint32_t access, RegKey* key) {
  if (key == nullptr) return posixReturn(kErrorInvalidParameter);
  *key = nullptr;
  const std::string full = posixKeyPath(hive, path);
  if (full.empty()) return posixReturn(kErrorInvalidParameter);
  const long result = posixChangeRegistry([&](PosixRegistry& registry) {
    if (full.find('\\') == std::string::npos || posixFindKey(registry, full) != nullptr) {
      return false;
    }
    registry.keys.push_back(PosixRegKey{full, {}});
    return true;
  });
  if (result != 0) return posixReturn(result);
  *key = new RegKeyRecord{full, access};
  return 0;
}

long regQueryValue(RegKey key, const char* name, uint32_t* type, uint8_t* data, uint32_t* size) {
  if (key == nullptr) return posixReturn(kErrorInvalidHandle);
  if (data != nullptr && size == nullptr) return posixReturn(kErrorInvalidParameter);
  PosixRegistry registry;
  int error = 0;
  if (posixLoad(posix::hostDirectory(), &registry, &error) == PosixLoad::Unreadable) {
    return posixReturn(kErrorAccessDenied);
  }
  PosixRegKey* found = posixFindKey(registry, key->path);
  if (found == nullptr) return posixReturn(kErrorFileNotFound);
  PosixRegValue* value = posixFindValue(*found, posix::ansiToUtf8(name == nullptr ? "" : name));
  if (value == nullptr) return posixReturn(kErrorFileNotFound);
  // A "..." string reads as its ANSI text and terminator.
  const std::string bytes =
      value->quoted ? posix::utf8ToAnsi(value->text) + std::string(1, '\0') : value->bytes;
  if (type != nullptr) *type = value->type;
  if (size == nullptr) return 0;
  const auto needed = static_cast<uint32_t>(bytes.size());
  if (data != nullptr) {
    if (*size < needed) {
      *size = needed;
      return posixReturn(kErrorMoreData);
    }
    std::memcpy(data, bytes.data(), bytes.size());
  }
  *size = needed;
  return 0;
}

long regSetValue(RegKey key, const char* name, uint32_t type, const uint8_t* data,
                 uint32_t size) {
  if (key == nullptr) return posixReturn(kErrorInvalidHandle);
  if ((key->access & kKeySetValue) == 0) return posixReturn(kErrorAccessDenied);
  if (data == nullptr && size > 0) return posixReturn(kErrorInvalidParameter);
  PosixRegValue value;
  value.name = posix::ansiToUtf8(name == nullptr ? "" : name);
  if (value.name.find_first_of("\r\n") != std::string::npos) {
    return posixReturn(kErrorInvalidParameter);
  }
  value.type = type;
  const std::string bytes(reinterpret_cast<const char*>(data), data == nullptr ? 0 : size);
  // A string of one line with one terminator is written as "..."; anything
  // else keeps its exact bytes as a hex list.
  if (type == kRegSz && !bytes.empty() && bytes.back() == '\0' &&
      bytes.find_first_of(std::string("\r\n\0", 3)) == bytes.size() - 1) {
    value.quoted = true;
    value.text = posix::ansiToUtf8(bytes.substr(0, bytes.size() - 1));
  } else {
    value.bytes = bytes;
  }
  const std::string path = key->path;
  return posixReturn(posixChangeRegistry([&](PosixRegistry& registry) {
    PosixRegKey* target = posixFindKey(registry, path);
    if (target == nullptr) {
      registry.keys.push_back(PosixRegKey{path, {}});
      target = &registry.keys.back();
    }
    PosixRegValue* existing = posixFindValue(*target, value.name);
    if (existing != nullptr) {
      value.name = existing->name;  // keep the spelling the file had
      *existing = value;
    } else {
      target->values.push_back(value);
    }
    return true;
  }));
}

long regCloseKey(RegKey key) {
  delete key;
  return 0;
}

}  // namespace platform
