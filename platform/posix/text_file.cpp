// Buffered text files of the POSIX stand-in: reading turns CR LF into LF as
// the Windows C run-time's text mode does, so a file gives the same lines on
// every platform; writing passes bytes through (a bare LF ends a line here).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/posix_common.h"

namespace platform {

struct TextFileRecord {
  enum class Mode { Read, Write, Replace };
  Mode mode;
  int fd = -1;
  // Left uninitialised: only bytes read or written into it are ever used,
  // and clearing a buffer for every message file read costs more than
  // reading the file.
  std::unique_ptr<char[]> buffer;
  size_t capacity = 0;  // bytes in buffer
  size_t position = 0;  // next byte to read
  size_t filled = 0;    // bytes in the buffer (reading) or waiting (writing)
  bool endOfFile = false;
  bool failed = false;
  std::string temporaryPath;  // replacing: the file written
  std::string targetPath;     // replacing: the file it takes the place of
};

namespace {

constexpr size_t kPosixBufferSize = 64 * 1024;

// Read buffers kept from the last files closed, for the next files opened:
// a tool that reads thousands of messages one after another, on one thread
// or a few, then allocates (and frees) no large block for each, which would
// make the allocator tidy its lists of small blocks every time.
constexpr int kSpareReadBuffers = 8;
std::atomic<char*> spareReadBuffers[kSpareReadBuffers];

char* takeSpareReadBuffer() {
  for (std::atomic<char*>& spare : spareReadBuffers) {
    if (spare.load(std::memory_order_relaxed) == nullptr) continue;
    if (char* buffer = spare.exchange(nullptr)) return buffer;
  }
  return nullptr;
}

// True when buffer was kept as a spare.
bool keepSpareReadBuffer(char* buffer) {
  for (std::atomic<char*>& spare : spareReadBuffers) {
    char* expected = nullptr;
    if (spare.compare_exchange_strong(expected, buffer)) return true;
  }
  return false;
}

TextFile posixFail(int error) {
  setLastError(posix::windowsErrorFromErrno(error));
  return nullptr;
}

TextFile posixNewFile(TextFileRecord::Mode mode, int fd) {
  auto* file = new TextFileRecord;
  file->mode = mode;
  file->fd = fd;
  char* spare = mode == TextFileRecord::Mode::Read ? takeSpareReadBuffer() : nullptr;
  file->buffer.reset(spare != nullptr ? spare : new char[kPosixBufferSize]);
  file->capacity = kPosixBufferSize;
  return file;
}

// Frees the record; a read buffer is kept as a spare while there is room.
void posixDeleteFile(TextFileRecord* file) {
  if (file->mode == TextFileRecord::Mode::Read) {
    if (keepSpareReadBuffer(file->buffer.get())) file->buffer.release();
  }
  delete file;
}

// Refills an exhausted read buffer. False at the end of the file or on an
// error, which are remembered.
bool posixRefill(TextFileRecord* file) {
  if (file->position < file->filled) return true;
  if (file->endOfFile || file->failed) return false;
  for (;;) {
    const ssize_t got = read(file->fd, file->buffer.get(), file->capacity);
    if (got > 0) {
      file->position = 0;
      file->filled = static_cast<size_t>(got);
      return true;
    }
    if (got == 0) {
      file->endOfFile = true;
      return false;
    }
    if (errno != EINTR) {
      file->failed = true;
      setLastError(posix::windowsErrorFromErrno(errno));
      return false;
    }
  }
}

bool posixWriteAll(int fd, const char* data, size_t length) {
  while (length > 0) {
    const ssize_t put = write(fd, data, length);
    if (put < 0) {
      if (errno == EINTR) continue;
      setLastError(posix::windowsErrorFromErrno(errno));
      return false;
    }
    data += put;
    length -= static_cast<size_t>(put);
  }
  return true;
}

bool posixFlush(TextFileRecord* file) {
  if (file->failed) return false;
  if (file->filled > 0 && !posixWriteAll(file->fd, file->buffer.get(), file->filled)) {
    file->failed = true;
  }
  file->filled = 0;
  return !file->failed;
}

// The folder part of a path ("." when it has none) and the name part.
void posixSplitPath(const std::string& path, std::string* folder, std::string* name) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    *folder = ".";
    *name = path;
  } else {
    *folder = slash == 0 ? "/" : path.substr(0, slash);
    *name = path.substr(slash + 1);
  }
}

// Makes a replaced file's new contents durable in its folder's listing; a
// file system that cannot sync a folder is no reason to fail.
void posixSyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

bool posixCommitReplacement(TextFileRecord* file) {
  bool ok = posixFlush(file);
  if (ok && fsync(file->fd) != 0) {
    setLastError(posix::windowsErrorFromErrno(errno));
    ok = false;
  }
  if (ok) {
    // The new file takes the permissions of the one it replaces, or those
    // a newly created file would get.
    struct stat target;
    const mode_t mode = stat(file->targetPath.c_str(), &target) == 0
                            ? (target.st_mode & 07777)
                            : (0666 & ~posix::currentUmask());
    if (fchmod(file->fd, mode) != 0) {
      setLastError(posix::windowsErrorFromErrno(errno));
      ok = false;
    }
  }
  if (close(file->fd) != 0 && ok) {
    setLastError(posix::windowsErrorFromErrno(errno));
    ok = false;
  }
  file->fd = -1;
  if (ok && rename(file->temporaryPath.c_str(), file->targetPath.c_str()) != 0) {
    setLastError(posix::windowsErrorFromErrno(errno));
    ok = false;
  }
  if (!ok) {
    unlink(file->temporaryPath.c_str());
    return false;
  }
  std::string folder, name;
  posixSplitPath(file->targetPath, &folder, &name);
  posixSyncFolder(folder);
  return true;
}

}  // namespace

TextFile openTextFileForReading(const char* path) {
  if (path == nullptr) return posixFail(ENOENT);
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return posixFail(errno);
  struct stat info;
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    const int error = S_ISDIR(info.st_mode) ? EACCES : errno;
    close(fd);
    return posixFail(error);
  }
  return posixNewFile(TextFileRecord::Mode::Read, fd);
}

char* readTextLine(TextFile file, char* buffer, int size) {
  if (file == nullptr || buffer == nullptr || size <= 0 ||
      file->mode != TextFileRecord::Mode::Read) {
    return nullptr;
  }
  int count = 0;
  while (count < size - 1) {
    if (!posixRefill(file)) break;
    // Copies the run of buffered bytes up to the line end, a CR or the
    // space left in the caller's line, whichever comes first.
    const char* data = file->buffer.get() + file->position;
    const size_t span = std::min(file->filled - file->position,
                                 static_cast<size_t>(size - 1 - count));
    const char* lineFeed = static_cast<const char*>(std::memchr(data, '\n', span));
    size_t take = lineFeed != nullptr ? static_cast<size_t>(lineFeed - data) + 1 : span;
    const char* carriageReturn = static_cast<const char*>(std::memchr(data, '\r', take));
    if (carriageReturn != nullptr) take = static_cast<size_t>(carriageReturn - data);
    std::memcpy(buffer + count, data, take);
    count += static_cast<int>(take);
    file->position += take;
    if (carriageReturn != nullptr) {
      char c = file->buffer[file->position++];
      // A CR directly followed by LF is one line end, even when the LF lies
      // beyond the buffer or beyond the space left in the caller's line.
      if (posixRefill(file) && file->buffer[file->position] == '\n') {
        ++file->position;
        c = '\n';
      }
      buffer[count++] = c;
      if (c == '\n') break;
    } else if (lineFeed != nullptr) {
      break;
    }
  }
  if (file->failed || (count == 0 && size > 1)) return nullptr;
  buffer[count] = '\0';
  return buffer;
}

bool atEndOfFile(TextFile file) { return file == nullptr || file->endOfFile; }

TextFile openTextFileForWriting(const char* path) {
  if (path == nullptr) return posixFail(ENOENT);
  const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return posixFail(errno);
  return posixNewFile(TextFileRecord::Mode::Write, fd);
}

TextFile openTextFileForReplacing(const char* path) {
  if (path == nullptr || path[0] == '\0') return posixFail(ENOENT);
  std::string target = path;
  // Replacing through a symbolic link replaces the file it points to and
  // keeps the link.
  struct stat info;
  if (lstat(path, &info) == 0 && S_ISLNK(info.st_mode)) {
    char* resolved = realpath(path, nullptr);
    if (resolved != nullptr) {
      target = resolved;
      std::free(resolved);
    }
  }
  if (stat(target.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return posixFail(EISDIR);
  std::string folder, name;
  posixSplitPath(target, &folder, &name);
  // ".NAME.XXXXXX" must fit the longest name a folder entry can have.
  const size_t room = NAME_MAX - 8;
  if (name.size() > room) name.resize(room);
  std::string pattern = folder + "/." + name + ".XXXXXX";
  std::vector<char> temporary(pattern.begin(), pattern.end());
  temporary.push_back('\0');
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return posixFail(errno);
  TextFileRecord* file = posixNewFile(TextFileRecord::Mode::Replace, fd);
  file->temporaryPath = temporary.data();
  file->targetPath = target;
  return file;
}

bool writeText(TextFile file, const char* data, size_t length) {
  if (file == nullptr || file->mode == TextFileRecord::Mode::Read) return false;
  if (file->failed) return false;
  if (length == 0) return true;
  if (data == nullptr) return false;
  if (file->filled + length > file->capacity) {
    if (!posixFlush(file)) return false;
    if (length >= file->capacity) {
      if (!posixWriteAll(file->fd, data, length)) file->failed = true;
      return !file->failed;
    }
  }
  std::memcpy(file->buffer.get() + file->filled, data, length);
  file->filled += length;
  return true;
}

bool closeTextFile(TextFile file) {
  if (file == nullptr) return false;
  bool ok = true;
  if (file->mode == TextFileRecord::Mode::Replace) {
    ok = posixCommitReplacement(file);
  } else {
    if (file->mode == TextFileRecord::Mode::Write) ok = posixFlush(file);
    if (close(file->fd) != 0 && ok) {
      setLastError(posix::windowsErrorFromErrno(errno));
      ok = false;
    }
  }
  posixDeleteFile(file);
  return ok;
}

void abandonTextFile(TextFile file) {
  if (file == nullptr) return;
  if (file->mode != TextFileRecord::Mode::Replace) {
    closeTextFile(file);
    return;
  }
  close(file->fd);
  unlink(file->temporaryPath.c_str());
  posixDeleteFile(file);
}

}  // namespace platform
