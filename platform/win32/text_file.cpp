// Buffered text files over the C run-time's streams. Writing is in text
// mode, which turns LF into CR LF. Reading turns CR LF into LF as text mode
// does, but on a binary stream: text mode also takes a Ctrl-Z byte (0x1A)
// for the end of the file, which would cut a message with binary content
// short and lose every row of a dictionary after a token holding that
// byte. A replacing file is a new, exclusively created file in the
// target's folder that takes the target's place in one step (MoveFileExA)
// when it is closed.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

struct TextFileRecord {
  FILE* stream = nullptr;
  bool reading = false;
  std::vector<char> buffer;  // reading: bytes read ahead
  size_t position = 0;       // reading: next byte of the buffer
  size_t filled = 0;         // reading: bytes in the buffer
  bool endOfFile = false;
  bool failed = false;
  std::string temporaryPath;  // replacing: the file written
  std::string targetPath;     // replacing: the file it takes the place of
};

namespace {

// The longest name a temporary file may take from its target: NTFS names
// hold 255 characters and the suffix needs 26.
constexpr size_t kWindowsLongestTemporaryStem = 200;
constexpr int kWindowsTemporaryAttempts = 100;
constexpr size_t kWindowsReadBufferSize = 64 * 1024;

// The Windows error number that stands for the C run-time's errno after a
// failed open.
DWORD windowsErrorFromErrno(int error) {
  switch (error) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case EACCES:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case EMFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    case ENOSPC:
      return ERROR_DISK_FULL;
    default:
      return ERROR_WRITE_FAULT;
  }
}

TextFile windowsOpenStream(const char* path, const char* mode, bool reading) {
  if (path == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  ::SetLastError(ERROR_SUCCESS);
  FILE* stream = std::fopen(path, mode);
  if (stream == nullptr) {
    // The run-time keeps the system's error number when a system call
    // failed; errno stands in for it otherwise.
    const int error = errno;
    if (::GetLastError() == ERROR_SUCCESS) ::SetLastError(windowsErrorFromErrno(error));
    return nullptr;
  }
  auto* file = new TextFileRecord;
  file->stream = stream;
  file->reading = reading;
  if (reading) file->buffer.resize(kWindowsReadBufferSize);
  return file;
}

// Refills an exhausted read buffer. False at the end of the file or on an
// error, which are remembered.
bool windowsRefill(TextFileRecord* file) {
  if (file->position < file->filled) return true;
  if (file->endOfFile || file->failed) return false;
  const size_t got = std::fread(file->buffer.data(), 1, file->buffer.size(), file->stream);
  if (got > 0) {
    file->position = 0;
    file->filled = got;
    return true;
  }
  if (std::ferror(file->stream)) {
    file->failed = true;
  } else {
    file->endOfFile = true;
  }
  return false;
}

// The folder part of a path with its separator ("" when it has none) and
// the name part.
void windowsSplitPath(const std::string& path, std::string* folder, std::string* name) {
  const size_t separator = path.find_last_of("\\/:");
  if (separator == std::string::npos) {
    folder->clear();
    *name = path;
  } else {
    *folder = path.substr(0, separator + 1);
    *name = path.substr(separator + 1);
  }
}

// Creates a new file beside path that no one else has, in text mode.
// Returns the open stream and its name, or null with the last-error code set.
FILE* windowsCreateTemporary(const std::string& path, std::string* temporaryPath) {
  std::string folder, name;
  windowsSplitPath(path, &folder, &name);
  if (name.size() > kWindowsLongestTemporaryStem) name.resize(kWindowsLongestTemporaryStem);
  static LONG sequence = 0;
  for (int attempt = 0; attempt < kWindowsTemporaryAttempts; ++attempt) {
    char suffix[40];
    std::snprintf(suffix, sizeof suffix, ".%08lx%04lx.tmp",
                  static_cast<unsigned long>(::GetCurrentProcessId()),
                  static_cast<unsigned long>(::InterlockedIncrement(&sequence) & 0xFFFF));
    const std::string candidate = folder + "~" + name + suffix;
    // CREATE_NEW fails when the name exists, so the file is ours alone.
    const HANDLE handle = ::CreateFileA(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      if (::GetLastError() == ERROR_FILE_EXISTS) continue;
      return nullptr;
    }
    const int descriptor =
        _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_TEXT);
    if (descriptor == -1) {
      ::CloseHandle(handle);
      ::DeleteFileA(candidate.c_str());
      ::SetLastError(ERROR_TOO_MANY_OPEN_FILES);
      return nullptr;
    }
    FILE* stream = _fdopen(descriptor, "w");
    if (stream == nullptr) {
      _close(descriptor);
      ::DeleteFileA(candidate.c_str());
      ::SetLastError(ERROR_TOO_MANY_OPEN_FILES);
      return nullptr;
    }
    *temporaryPath = candidate;
    return stream;
  }
  ::SetLastError(ERROR_FILE_EXISTS);
  return nullptr;
}

// Puts the written temporary file in place of its target in one rename.
// The new file has the security the folder gives new files, as the
// temporary file was made there; a read-only target is refused, as
// Windows refuses to replace it. (ReplaceFileA, which would keep the old
// file's security, fails on paths relative to the current folder under
// some systems' implementations and may leave neither file in place when
// it fails half-way.)
bool windowsPutInPlace(const TextFileRecord& file) {
  const DWORD existing = ::GetFileAttributesA(file.targetPath.c_str());
  if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  return ::MoveFileExA(file.temporaryPath.c_str(), file.targetPath.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool windowsCommitReplacement(TextFileRecord* file) {
  bool ok = std::fflush(file->stream) == 0 && _commit(_fileno(file->stream)) == 0;
  if (!ok && ::GetLastError() == ERROR_SUCCESS) ::SetLastError(ERROR_WRITE_FAULT);
  if (std::fclose(file->stream) != 0 && ok) {
    ::SetLastError(ERROR_WRITE_FAULT);
    ok = false;
  }
  file->stream = nullptr;
  if (ok) ok = windowsPutInPlace(*file);
  if (!ok) {
    const DWORD error = ::GetLastError();
    ::DeleteFileA(file->temporaryPath.c_str());
    ::SetLastError(error);
  }
  return ok;
}

}  // namespace

TextFile openTextFileForReading(const char* path) {
  return windowsOpenStream(path, "rb", true);
}

char* readTextLine(TextFile file, char* buffer, int size) {
  if (file == nullptr || buffer == nullptr || size <= 0 || !file->reading) return nullptr;
  int count = 0;
  while (count < size - 1) {
    if (!windowsRefill(file)) break;
    char c = file->buffer[file->position++];
    if (c == '\r') {
      // A CR directly followed by LF is one line end, even when the LF lies
      // beyond the buffer or beyond the room left in the caller's line.
      if (windowsRefill(file) && file->buffer[file->position] == '\n') {
        ++file->position;
        c = '\n';
      }
    }
    buffer[count++] = c;
    if (c == '\n') break;
  }
  if (file->failed || (count == 0 && size > 1)) return nullptr;
  buffer[count] = '\0';
  return buffer;
}

bool atEndOfFile(TextFile file) { return file == nullptr || file->endOfFile; }

TextFile openTextFileForWriting(const char* path) {
  return windowsOpenStream(path, "w", false);
}

TextFile openTextFileForReplacing(const char* path) {
  if (path == nullptr || path[0] == '\0') {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const DWORD existing = ::GetFileAttributesA(path);
  if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  std::string temporaryPath;
  FILE* stream = windowsCreateTemporary(path, &temporaryPath);
  if (stream == nullptr) return nullptr;
  auto* file = new TextFileRecord;
  file->stream = stream;
  file->temporaryPath = temporaryPath;
  file->targetPath = path;
  return file;
}

bool writeText(TextFile file, const char* data, size_t length) {
  if (file == nullptr || file->reading) return false;
  if (length == 0) return true;
  if (data == nullptr) return false;
  return std::fwrite(data, 1, length, file->stream) == length;
}

bool closeTextFile(TextFile file) {
  if (file == nullptr) return false;
  bool ok;
  if (!file->temporaryPath.empty()) {
    ok = windowsCommitReplacement(file);
  } else {
    const bool written = file->reading || std::ferror(file->stream) == 0;
    ok = std::fclose(file->stream) == 0 && written;
  }
  delete file;
  return ok;
}

void abandonTextFile(TextFile file) {
  if (file == nullptr) return;
  if (file->temporaryPath.empty()) {
    closeTextFile(file);
    return;
  }
  std::fclose(file->stream);
  ::DeleteFileA(file->temporaryPath.c_str());
  delete file;
}

}  // namespace platform
