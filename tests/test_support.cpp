#include "tests/test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "cli/entry_point.h"
#include "dictionary/token_dictionary.h"

namespace fs = std::filesystem;

namespace testsupport {

namespace {

#ifdef _WIN32
// The environment variable of the POSIX platform layer is set on Windows
// too, so that tests read the same; nothing there looks at it.
void setEnvironment(const char* name, const std::string& value) {
  _putenv_s(name, value.c_str());
}
void unsetEnvironment(const char* name) { _putenv_s(name, ""); }
#else
void setEnvironment(const char* name, const std::string& value) {
  setenv(name, value.c_str(), 1);
}
void unsetEnvironment(const char* name) { unsetenv(name); }
#endif

}  // namespace

#ifdef _WIN32
ScopedTempDir::ScopedTempDir() {
  // create_directory reports whether it made the folder, so a name another
  // process took is passed over.
  static std::atomic<unsigned> sequence{0};
  const fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const fs::path candidate =
        base / ("cvspam-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(GetTickCount()) + "-" + std::to_string(sequence++));
    if (fs::create_directory(candidate)) {
      path_ = candidate.string();
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}
#else
ScopedTempDir::ScopedTempDir() {
  std::string pattern = (fs::temp_directory_path() / "cvspam-test-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = buffer.data();
}
#endif

ScopedTempDir::~ScopedTempDir() {
  std::error_code ignored;
  // Folders a test made read-only must be writable again to be removed.
  for (auto it = fs::recursive_directory_iterator(path_, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(path_, ignored);
}

std::string ScopedTempDir::file(const std::string& name) const { return path_ + "/" + name; }

namespace {

const char kFilterKeyLine[] =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Corvistane\\Corvistane\\Agents\\MTA\\"
    "Filters\\MTAFILTER]";

#ifdef _WIN32
const char kFilterKeyPath[] =
    "SOFTWARE\\Wow6432Node\\Corvistane\\Corvistane\\Agents\\MTA\\Filters\\MTAFILTER";

// The key the tests empty: everything the tool reads or writes lies below it.
const char kToolRootKeyPath[] = "SOFTWARE\\Wow6432Node\\Corvistane";

bool runsUnderWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Imports a file in the registry editor's format with reg.exe.
void importRegistryFile(const std::string& path) {
  std::string command = "reg.exe import \"" + path + "\"";
  for (char& c : command) {
    if (c == '/') c = '\\';
  }
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  std::vector<char> commandLine(command.begin(), command.end());
  commandLine.push_back('\0');
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                      nullptr, nullptr, &startup, &process)) {
    throw std::runtime_error("cannot run " + command);
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  if (code != 0) throw std::runtime_error(command + " failed");
}

// The registry holds the state of one host folder at a time. Moving to a
// folder the tests have not used last, or finding that its registry.reg
// changed since it was last imported, empties the tool's keys and imports
// the file, so that a test that writes registry.reg reads the same here as
// with the POSIX platform's host folder.
void useHostRegistry(const std::string& hostDir, bool empty = false) {
  static std::string current;
  static std::string imported;
  static bool started = false;
  if (!ownsToolRegistry()) return;
  const std::string file = hostDir + "/registry.reg";
  const std::string content = readFile(file);
  if (started && current == hostDir && content == imported && !empty) return;
  const LSTATUS result = RegDeleteTreeA(HKEY_LOCAL_MACHINE, kToolRootKeyPath);
  if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
    throw std::runtime_error("cannot empty the tool's registry key: error " +
                             std::to_string(result));
  }
  current = hostDir;
  imported = content;
  started = true;
  if (!content.empty()) importRegistryFile(file);
}
#endif

}  // namespace

std::string filterKeyRegistry(const std::vector<std::string>& valueLines) {
  std::string text = std::string("Windows Registry Editor Version 5.00\n\n") + kFilterKeyLine + "\n";
  for (const auto& line : valueLines) text += line + "\n";
  return text;
}

ScopedHostDir::ScopedHostDir() {
  const char* previous = std::getenv("CVSPAM_HOST_DIR");
  hadPrevious_ = previous != nullptr;
  if (hadPrevious_) previous_ = previous;
  setEnvironment("CVSPAM_HOST_DIR", dir_.path());
#ifdef _WIN32
  useHostRegistry(dir_.path(), true);
#endif
}

ScopedHostDir::~ScopedHostDir() {
  if (hadPrevious_) {
    setEnvironment("CVSPAM_HOST_DIR", previous_);
  } else {
    unsetEnvironment("CVSPAM_HOST_DIR");
  }
}

#ifdef _WIN32
// The registry stands for the host folder: its file is imported with the
// registry editor's import, after emptying the tool's keys. There is no
// file of events: the tests of the event log's contents are POSIX ones, and
// the registry file is not written back.
void ScopedHostDir::writeRegistry(const std::string& content) const {
  if (!ownsToolRegistry()) throw std::runtime_error("the tests do not own the registry here");
  writeFile(dir_.file("registry.reg"), content);
  useHostRegistry(dir_.path(), true);
}

std::string ScopedHostDir::readRegistry() const { return std::string(); }

std::string ScopedHostDir::readEvents() const { return std::string(); }
#else
void ScopedHostDir::writeRegistry(const std::string& content) const {
  writeFile(dir_.file("registry.reg"), content);
}

std::string ScopedHostDir::readRegistry() const { return readFile(dir_.file("registry.reg")); }

std::string ScopedHostDir::readEvents() const { return readFile(dir_.file("events.log")); }
#endif

#ifdef _WIN32
bool ownsToolRegistry() {
  const char* allowed = std::getenv("CVSPAM_TEST_REGISTRY");
  return runsUnderWine() || (allowed != nullptr && std::string(allowed) == "1");
}

void setFilterSetting(const std::string& hostDir, const std::string& name, uint32_t value) {
  if (!ownsToolRegistry()) throw std::runtime_error("the tests do not own the registry here");
  useHostRegistry(hostDir);
  HKEY key = nullptr;
  LSTATUS result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kFilterKeyPath, 0, nullptr, 0,
                                   KEY_SET_VALUE, nullptr, &key, nullptr);
  if (result == ERROR_SUCCESS) {
    const DWORD data = value;
    result = RegSetValueExA(key, name.c_str(), 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&data), sizeof data);
    RegCloseKey(key);
  }
  if (result != ERROR_SUCCESS) {
    throw std::runtime_error("cannot set " + name + ": error " + std::to_string(result));
  }
}

bool readFilterSetting(const std::string& hostDir, const std::string& name, uint32_t* value) {
  useHostRegistry(hostDir);
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kFilterKeyPath, 0, KEY_QUERY_VALUE, &key) !=
      ERROR_SUCCESS) {
    return false;
  }
  DWORD type = REG_NONE;
  DWORD data = 0;
  DWORD size = sizeof data;
  const LSTATUS result = RegQueryValueExA(key, name.c_str(), nullptr, &type,
                                          reinterpret_cast<BYTE*>(&data), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS || type != REG_DWORD || size != sizeof data) return false;
  *value = data;
  return true;
}
#else
bool ownsToolRegistry() { return true; }

void setFilterSetting(const std::string& hostDir, const std::string& name, uint32_t value) {
  // A key named twice in the file is one key, and a later value of the same
  // name replaces an earlier one: a new block at the end is enough.
  char line[32];
  std::snprintf(line, sizeof line, "=dword:%08x", static_cast<unsigned>(value));
  makeDir(hostDir);
  const std::string path = hostDir + "/registry.reg";
  std::string text = readFile(path);
  if (text.empty()) text = "Windows Registry Editor Version 5.00\n";
  text += std::string("\n") + kFilterKeyLine + "\n\"" + name + "\"" + line + "\n";
  writeFile(path, text);
}

bool readFilterSetting(const std::string& hostDir, const std::string& name, uint32_t* value) {
  std::istringstream in(readFile(hostDir + "/registry.reg"));
  const std::string prefix = "\"" + name + "\"=dword:";
  bool inFilterKey = false;
  bool found = false;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') {
      inFilterKey = line == kFilterKeyLine;
    } else if (inFilterKey && line.compare(0, prefix.size(), prefix) == 0) {
      *value = static_cast<uint32_t>(std::strtoul(line.c_str() + prefix.size(), nullptr, 16));
      found = true;
    }
  }
  return found;
}
#endif

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  out << content;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::string();
  std::ostringstream content;
  content << in.rdbuf();
#ifdef _WIN32
  // The tool writes its text files in the C run-time's text mode, which
  // ends lines with CR LF on Windows: read them back as the text they hold.
  const std::string raw = content.str();
  std::string text;
  text.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
    text += raw[i];
  }
  return text;
#else
  return content.str();
#endif
}

std::string readXmlFile(const std::string& path) {
  std::string text = readFile(path);
  if (text.size() >= 2 && text[text.size() - 2] == '>' && text.back() == '\n') text.pop_back();
  return text;
}

bool fileExists(const std::string& path) { return fs::exists(path); }

void makeDir(const std::string& path) { fs::create_directories(path); }

#ifdef _WIN32
namespace {

// Quotes one argument so that the C run-time of the started program reads
// it back unchanged.
std::string quoteArgument(const std::string& text) {
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : text) {
    if (c == '\\') {
      ++backslashes;
    } else if (c == '"') {
      quoted.append(backslashes * 2 + 1, '\\');
      backslashes = 0;
    } else {
      quoted.append(backslashes, '\\');
      backslashes = 0;
    }
    if (c != '\\') quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

}  // namespace

std::string runTool(const std::vector<std::string>& args, const std::string& hostDir) {
  useHostRegistry(hostDir);
  std::string command = quoteArgument(CVSPAM_BINARY);
  for (const auto& arg : args) command += " " + quoteArgument(arg);

  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
    throw std::runtime_error("cannot make a pipe");
  }
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  // Standard error goes nowhere, as 2>/dev/null does on POSIX.
  HANDLE nowhere = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               &inheritable, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = nowhere;
  PROCESS_INFORMATION process = {};
  std::vector<char> commandLine(command.begin(), command.end());
  commandLine.push_back('\0');
  const BOOL started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &startup, &process);
  CloseHandle(writeEnd);
  if (nowhere != INVALID_HANDLE_VALUE) CloseHandle(nowhere);
  if (!started) {
    CloseHandle(readEnd);
    throw std::runtime_error("cannot run " + command);
  }
  std::string raw;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) raw.append(buffer, got);
  CloseHandle(readEnd);
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  // The tool's standard output is in text mode: CR LF ends its lines.
  std::string output;
  output.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
    output += raw[i];
  }
  return output;
}
#else
namespace {

std::string shellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

}  // namespace

std::string runTool(const std::vector<std::string>& args, const std::string& hostDir) {
  std::string command = "CVSPAM_HOST_DIR=" + shellQuote(hostDir) + " " + shellQuote(CVSPAM_BINARY);
  for (const auto& arg : args) command += " " + shellQuote(arg);
  command += " 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot run " + command);
  std::string output;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
  pclose(pipe);
  return output;
}

#endif

std::string maskTimes(std::string text) {
  const std::string marker = "Time Taken: ";
  for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + 1)) {
    const size_t start = at + marker.size();
    size_t end = start;
    while (end < text.size() && (std::isdigit(static_cast<unsigned char>(text[end])) || text[end] == '-')) ++end;
    text.replace(start, end - start, "X");
  }
  return text;
}

std::string banner() { return std::string(kBannerLine1) + kBannerLine2; }

void resetProcessDictionary() {
  freeDictionaryMemory(tokenDictionary);
  clearDictionary(tokenDictionary);
}

int addDictionaryRow(const char* token, int hamCount, int spamCount) {
  LoadedEntry loaded{};
  std::snprintf(loaded.tokenText, sizeof loaded.tokenText, "%s", token);
  loaded.tokenLength = static_cast<int32_t>(std::strlen(loaded.tokenText));
  loaded.hamCount = hamCount;
  loaded.spamCount = spamCount;
  return addLoadedEntry(tokenDictionary, loaded);
}

std::string sourceDir() { return CVSPAM_SOURCE_DIR; }

void ScoringFixture::SetUp() {
  resetProcessDictionary();
  savedSettings_ = filterSettings;
  savedLoaded_ = dictionaryLoaded;
}

void ScoringFixture::TearDown() {
  filterSettings = savedSettings_;
  dictionaryLoaded = savedLoaded_;
  resetProcessDictionary();
}

void ScoringFixture::addRow(const char* token, int32_t hamCount, int32_t spamCount) {
  ASSERT_EQ(1, addDictionaryRow(token, hamCount, spamCount));
}

}  // namespace testsupport
