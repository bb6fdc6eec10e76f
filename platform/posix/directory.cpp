// Directory search of the POSIX stand-in: lists a folder as NTFS does, "."
// and ".." first and then every entry in the order of names with ASCII
// letters folded to upper case, with Windows attribute bits.
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/posix_common.h"

namespace platform {

struct FindRecord {
  std::vector<FindData> entries;
  size_t next = 0;
};

namespace {

struct PosixEntry {
  std::string name;
  std::string folded;  // name with ASCII letters folded to upper case
  uint32_t attributes;
};

unsigned char posixFoldUpper(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

std::string posixFolded(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) c = static_cast<char>(posixFoldUpper(static_cast<unsigned char>(c)));
  return folded;
}

// NTFS order: names compared byte by byte as unsigned values with ASCII
// letters folded to upper case; names equal that way go by their own bytes.
// (std::string compares its characters as unsigned values.)
bool posixNtfsBefore(const PosixEntry& a, const PosixEntry& b) {
  const int order = a.folded.compare(b.folded);
  if (order != 0) return order < 0;
  return a.name < b.name;
}

uint32_t posixAttributesOf(const struct stat& info) {
  uint32_t attributes = S_ISDIR(info.st_mode) ? kAttrDirectory : kAttrArchive;
  if ((info.st_mode & S_IWUSR) == 0) attributes |= kAttrReadOnly;
  return attributes;
}

// The attributes of a folder entry; a symbolic link has those of what it
// points to, and a link that points nowhere reads as a file.
uint32_t posixAttributesAt(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) == 0) return posixAttributesOf(info);
  return kAttrArchive;
}

// The same for an entry of an open listing, looked up in the listing's own
// folder rather than through its whole path again.
uint32_t posixAttributesIn(DIR* listing, const std::string& name) {
  struct stat info;
  if (fstatat(dirfd(listing), name.c_str(), &info, 0) == 0) return posixAttributesOf(info);
  return kAttrArchive;
}

// Whether a name matches the last part of a search pattern. "*" and "*.*"
// match every name, with or without a dot, as on Windows.
bool posixMatches(const std::string& wildcard, const std::string& name) {
  if (wildcard == "*" || wildcard == "*.*") return true;
  return fnmatch(wildcard.c_str(), name.c_str(), FNM_CASEFOLD | FNM_PERIOD) == 0;
}

FindHandle posixFail(uint32_t error) {
  setLastError(error);
  return nullptr;
}

}  // namespace

FindHandle findFirstFile(const char* pattern, FindData* data) {
  return findFirstFile(pattern, data, FindDetail::Full);
}

FindHandle findFirstFile(const char* pattern, FindData* data, FindDetail detail) {
  if (pattern == nullptr || data == nullptr || pattern[0] == '\0') {
    return posixFail(kErrorInvalidParameter);
  }
  const std::string text = pattern;
  const size_t slash = text.rfind('/');
  std::string folder = slash == std::string::npos ? "." : text.substr(0, slash);
  if (folder.empty()) folder = "/";
  const std::string wildcard = slash == std::string::npos ? text : text.substr(slash + 1);

  struct stat info;
  if (stat(folder.c_str(), &info) != 0) {
    return posixFail(errno == EACCES ? kErrorAccessDenied : kErrorPathNotFound);
  }
  if (!S_ISDIR(info.st_mode)) return posixFail(kErrorPathNotFound);
  DIR* listing = opendir(folder.c_str());
  if (listing == nullptr) {
    return posixFail(errno == EACCES ? kErrorAccessDenied : kErrorPathNotFound);
  }

  // The whole listing is read at once: its order is not the file system's.
  const std::string prefix = folder == "/" ? "/" : folder + "/";
  std::vector<PosixEntry> entries;
  errno = 0;
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    // A name that does not fit the 260-byte field cannot be reported.
    if (name.size() >= sizeof data->fileName) continue;
    if (!posixMatches(wildcard, name)) continue;
    // A regular file is never a plain folder, which is all the caller asks;
    // anything else (folders, links, types the listing does not give) is
    // looked up.
    const bool plainFile = detail == FindDetail::FolderOrFile && entry->d_type == DT_REG;
    entries.push_back(
        {name, posixFolded(name), plainFile ? kAttrArchive : posixAttributesIn(listing, name)});
  }
  closedir(listing);
  std::sort(entries.begin(), entries.end(), posixNtfsBefore);

  auto* search = new FindRecord;
  search->entries.reserve(entries.size() + 2);
  for (const char* dots : {".", ".."}) {
    if (!posixMatches(wildcard, dots)) continue;
    FindData found;
    std::memset(&found, 0, sizeof found);
    found.attributes = posixAttributesAt(prefix + dots);
    std::strcpy(found.fileName, dots);
    search->entries.push_back(found);
  }
  for (const PosixEntry& entry : entries) {
    FindData found;
    std::memset(&found, 0, sizeof found);
    found.attributes = entry.attributes;
    std::memcpy(found.fileName, entry.name.c_str(), entry.name.size() + 1);
    search->entries.push_back(found);
  }
  if (search->entries.empty()) {
    delete search;
    return posixFail(kErrorFileNotFound);
  }
  *data = search->entries[0];
  search->next = 1;
  return search;
}

bool findNextFile(FindHandle handle, FindData* data) {
  if (handle == nullptr || data == nullptr) {
    setLastError(kErrorInvalidHandle);
    return false;
  }
  if (handle->next >= handle->entries.size()) {
    setLastError(kErrorNoMoreFiles);
    return false;
  }
  *data = handle->entries[handle->next++];
  return true;
}

void findClose(FindHandle handle) { delete handle; }

}  // namespace platform
