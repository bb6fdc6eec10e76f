// The operating-system services the tool uses, behind one narrow interface.
//
// The tool is a Windows console program: it reads the registry, writes the
// event log, searches directories, reads and writes text files in the C
// run-time's text mode, reads the millisecond clock, starts COM and Windows
// Sockets, converts code pages and waits on kernel mutexes. Every such call
// goes through this header. platform/win32 implements it over the real APIs;
// platform/posix implements it with a stand-in that keeps the machine-wide
// state (registry, event log) in one host folder. No other code includes an
// operating-system header.
//
// Functions keep the shape and the result conventions of the Windows calls
// they stand for (error numbers, attribute bits, wait results), so that the
// code above reads the same on both platforms.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// ---------------------------------------------------------------------------
// Error numbers (Windows system error codes).

constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorBadFormat = 11;
constexpr uint32_t kErrorNoMoreFiles = 18;
constexpr uint32_t kErrorWriteFault = 29;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorInsufficientBuffer = 122;
constexpr uint32_t kErrorMoreData = 234;
constexpr uint32_t kErrorNotOwner = 288;
constexpr uint32_t kErrorTimeout = 1460;

// Returns the calling thread's last-error code as the platform layer last
// set it (GetLastError).
uint32_t getLastError();
// Sets the calling thread's last-error code (SetLastError).
void setLastError(uint32_t code);

// ---------------------------------------------------------------------------
// Registry.

enum class RegHive { LocalMachine };

// Value types.
constexpr uint32_t kRegNone = 0;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;
constexpr uint32_t kRegQword = 11;

// Access rights.
constexpr uint32_t kKeyQueryValue = 0x0001;
constexpr uint32_t kKeySetValue = 0x0002;
constexpr uint32_t kKeyAllAccess = 0xF003F;

struct RegKeyRecord;
using RegKey = RegKeyRecord*;

// Opens an existing key (RegOpenKeyExA). Returns 0 and sets *key on success;
// otherwise returns an error number (2 when the key does not exist) and
// leaves *key null.
long regOpenKey(RegHive hive, const char* path, uint32_t access, RegKey* key);

// Opens a key, creating it and every missing key on its path
// (RegCreateKeyExA). Returns 0 and sets *key on success; otherwise an error
// number (5 when the registry cannot be written) and *key null.
long regCreateKey(RegHive hive, const char* path, uint32_t access, RegKey* key);

// Reads a value's raw data bytes (RegQueryValueExA). name null or "" is the
// key's default value. type may be null. *size holds the buffer size on entry
// and the data size on return. Returns 0 on success, 2 when the value does
// not exist, 234 (more data) when the buffer is smaller than the data; data
// may be null to ask for the size only.
long regQueryValue(RegKey key, const char* name, uint32_t* type, uint8_t* data,
                   uint32_t* size);

// Stores a value (RegSetValueExA): the key's whole hive is written back at
// once, every other key and value kept. Returns 0 on success or an error
// number.
long regSetValue(RegKey key, const char* name, uint32_t type, const uint8_t* data,
                 uint32_t size);

// Closes a key handle (RegCloseKey). Returns 0.
long regCloseKey(RegKey key);

// ---------------------------------------------------------------------------
// Event log.

struct EventSourceRecord;
using EventSource = EventSourceRecord*;

// Opens an event source on the local computer when server is null
// (RegisterEventSourceA). Null on failure, with the last-error code set.
EventSource registerEventSource(const char* server, const char* sourceName);

// Reports one event with its insertion strings and no user security
// identifier and no raw data (ReportEventA). True on success.
bool reportEvent(EventSource source, uint16_t type, uint16_t category, uint32_t eventId,
                 uint16_t stringCount, const char* const* strings);

// Closes an event source handle (DeregisterEventSource).
bool deregisterEventSource(EventSource source);

// Writes the running executable's full path into buffer (GetModuleFileNameA
// for the process's own module). Returns the number of characters written
// without the terminator; a path that does not fit is cut to size - 1
// characters and terminated. 0 on failure.
uint32_t getModuleFileName(char* buffer, uint32_t size);

// ---------------------------------------------------------------------------
// Directory search.

constexpr uint32_t kAttrReadOnly = 0x01;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrArchive = 0x20;

// The separator between a folder and a name in the paths the tool builds.
#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#define CVSPAM_PATH_SEPARATOR "\\"
#else
constexpr char kPathSeparator = '/';
#define CVSPAM_PATH_SEPARATOR "/"
#endif

struct FindData {
  uint32_t attributes;  // kAttr* bits
  char fileName[260];   // the entry's name, NUL-terminated
};

struct FindRecord;
using FindHandle = FindRecord*;

// Starts a search over "FOLDER<sep>*.*" (FindFirstFileA) and fills *data
// with the first entry. Entries come as the file system lists them: "."
// first, ".." second, then the other entries sorted by name with ASCII
// letters folded to upper case. Returns null when the folder does not exist,
// is not a folder or cannot be read.
FindHandle findFirstFile(const char* pattern, FindData* data);

// How much of each entry's attributes a search must find out.
enum class FindDetail {
  Full,  // every bit, as FindFirstFileA gives them
  // Enough to tell a plain folder (attributes exactly kAttrDirectory) from
  // any other entry: a file's kAttrReadOnly bit may be missing. Where the
  // attributes cost a look-up per entry, a folder of thousands of messages
  // lists several times faster.
  FolderOrFile,
};

// findFirstFile with the detail the caller needs.
FindHandle findFirstFile(const char* pattern, FindData* data, FindDetail detail);

// Fills *data with the next entry (FindNextFileA). False when there are no
// more entries (last-error 18).
bool findNextFile(FindHandle handle, FindData* data);

// Ends a search (FindClose). A null handle is ignored.
void findClose(FindHandle handle);

// ---------------------------------------------------------------------------
// Text files, as the C run-time's buffered streams in text mode.
//
// Reading turns CR LF into LF, so a file gives the same lines on every
// platform; writing turns LF into the platform's line end (CR LF on Windows,
// LF elsewhere). Opening a folder fails.

struct TextFileRecord;
using TextFile = TextFileRecord*;

// Opens a file for reading ("r"). Null when it cannot be opened.
TextFile openTextFileForReading(const char* path);

// Reads one line as fgets does: at most size - 1 characters, up to and
// including a line feed, NUL-terminated. Returns buffer, or null when the
// end of the file (or a read error) comes before any character.
char* readTextLine(TextFile file, char* buffer, int size);

// True once a read has met the end of the file (feof).
bool atEndOfFile(TextFile file);

// Opens a file for writing as fopen "w" does: created or truncated at once.
// Null when it cannot be opened.
TextFile openTextFileForWriting(const char* path);

// Opens a new, exclusively created temporary file in the folder of path for
// writing; commitTextFile then puts it in place of path in one step. A
// reader of path sees the old file or the new one, never a part of either.
// Null when the temporary file cannot be created.
TextFile openTextFileForReplacing(const char* path);

// Writes length bytes. False on a write error.
bool writeText(TextFile file, const char* data, size_t length);

// Closes a file. For a replacing file: flushes and syncs the temporary file
// and renames it over its target, keeping the target's permissions; on any
// failure the temporary file is removed and the target left as it was.
// Returns true when everything written reached the file.
bool closeTextFile(TextFile file);

// Closes a replacing file without putting it in place, removing the
// temporary file. For a plain file the same as closeTextFile.
void abandonTextFile(TextFile file);

// ---------------------------------------------------------------------------
// Advisory file locks between processes.

struct FileLockRecord;
using FileLock = FileLockRecord*;

// Takes an exclusive lock on the lock file path, creating the file when it
// is missing, and waits as long as another process holds it. The lock is
// advisory: it keeps out only processes that take it too, and it goes with
// the process when that ends, however it ends. The file itself is left in
// place. Null when the file cannot be created or locked (last-error set).
FileLock lockFile(const char* path);

// Releases a lock taken by lockFile. A null lock is ignored.
void unlockFile(FileLock lock);

// ---------------------------------------------------------------------------
// Clock.

// Milliseconds since the process started (the C run-time's clock).
long clockMilliseconds();

// ---------------------------------------------------------------------------
// COM.

constexpr uint32_t kCoInitMultithreaded = 0;
constexpr int32_t kSOk = 0;
constexpr int32_t kSFalse = 1;

// Joins the calling thread to the multithreaded apartment (CoInitializeEx).
// Each successful call must be matched by coUninitialize.
int32_t coInitializeEx(void* reserved, uint32_t concurrencyModel);
// Leaves COM on the calling thread (CoUninitialize).
void coUninitialize();
// True while COM is initialised on the calling thread.
bool comInitialized();

// ---------------------------------------------------------------------------
// Windows Sockets.

struct WsaData {
  uint16_t version;
  uint16_t highVersion;
  char description[257];
  char systemStatus[129];
};

// Starts Windows Sockets (WSAStartup). 0 on success.
int wsaStartup(uint16_t versionRequested, WsaData* data);
// Ends Windows Sockets (WSACleanup). 0 on success.
int wsaCleanup();

// ---------------------------------------------------------------------------
// Code pages. Wide text is UTF-16, as COM strings are.

constexpr unsigned kCodePageAnsi = 0;  // CP_ACP
constexpr unsigned kCodePageUtf8 = 65001;

// MultiByteToWideChar: converts sourceLength bytes (-1: the whole text and its
// terminator). With destinationSize 0 returns the number of UTF-16 units
// needed. Returns 0 on failure (destination too small: last-error 122).
int multiByteToWideChar(unsigned codePage, uint32_t flags, const char* source,
                        int sourceLength, char16_t* destination, int destinationSize);

// WideCharToMultiByte: the reverse. With destinationSize 0 returns the bytes
// needed. Returns 0 on failure (destination too small: last-error 122).
int wideCharToMultiByte(unsigned codePage, uint32_t flags, const char16_t* source,
                        int sourceLength, char* destination, int destinationSize);

// ---------------------------------------------------------------------------
// Kernel mutexes: owned by a thread, re-entrant for their owner.

struct MutexRecord;
using MutexHandle = MutexRecord*;

constexpr uint32_t kInfinite = 0xFFFFFFFF;
constexpr uint32_t kWaitObject0 = 0x00000000;
constexpr uint32_t kWaitAbandoned = 0x00000080;
constexpr uint32_t kWaitTimeout = 0x00000102;
constexpr uint32_t kWaitFailed = 0xFFFFFFFF;

// Opens an existing named mutex (OpenMutexA). Null when there is none
// (last-error 2) or name is null.
MutexHandle openMutex(uint32_t desiredAccess, bool inheritHandle, const char* name);

// Creates a mutex (CreateMutexA) with default security; a null name gives a
// mutex private to the process, a name one shared by every process that uses
// it (an existing one is opened). Null on failure.
MutexHandle createMutex(bool initialOwner, const char* name);

// Waits for the mutex at most timeout milliseconds (kInfinite: no limit).
// Returns kWaitObject0 when acquired, kWaitAbandoned when acquired from an
// owner thread that ended without releasing it, kWaitTimeout, or kWaitFailed
// (with the last-error code set).
uint32_t waitForSingleObject(MutexHandle handle, uint32_t timeout);

// Releases a mutex held by the calling thread (ReleaseMutex). False when the
// thread does not own it (last-error 288).
bool releaseMutex(MutexHandle handle);

// Closes a handle (CloseHandle).
bool closeHandle(MutexHandle handle);

}  // namespace platform
