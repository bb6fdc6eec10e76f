#include "tests/test_support.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "cli/entry_point.h"
#include "dictionary/token_dictionary.h"

namespace fs = std::filesystem;

namespace testsupport {

ScopedTempDir::ScopedTempDir() {
  std::string pattern = (fs::temp_directory_path() / "cvspam-test-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = buffer.data();
}

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

ScopedHostDir::ScopedHostDir() {
  const char* previous = std::getenv("CVSPAM_HOST_DIR");
  hadPrevious_ = previous != nullptr;
  if (hadPrevious_) previous_ = previous;
  setenv("CVSPAM_HOST_DIR", dir_.path().c_str(), 1);
}

ScopedHostDir::~ScopedHostDir() {
  if (hadPrevious_) {
    setenv("CVSPAM_HOST_DIR", previous_.c_str(), 1);
  } else {
    unsetenv("CVSPAM_HOST_DIR");
  }
}

void ScopedHostDir::writeRegistry(const std::string& content) const {
  writeFile(dir_.file("registry.reg"), content);
}

std::string ScopedHostDir::readRegistry() const { return readFile(dir_.file("registry.reg")); }

std::string ScopedHostDir::readEvents() const { return readFile(dir_.file("events.log")); }

std::string filterKeyRegistry(const std::vector<std::string>& valueLines) {
  std::string text =
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Corvistane\\Corvistane\\Agents\\MTA\\"
      "Filters\\MTAFILTER]\n";
  for (const auto& line : valueLines) text += line + "\n";
  return text;
}

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
  return content.str();
}

bool fileExists(const std::string& path) { return fs::exists(path); }

void makeDir(const std::string& path) { fs::create_directories(path); }

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
  TokenDictionary& d = tokenDictionary;
  for (int32_t i = 0; i < d.entryCount && i < kDictionaryRows; ++i) {
    std::free(d.entries[i].tokenText);
    d.entries[i].tokenText = nullptr;
  }
  if (d.indexRoot.key != nullptr) freeTokenIndex(&d.indexRoot);
  clearDictionary(d);
}

std::string sourceDir() { return CVSPAM_SOURCE_DIR; }

}  // namespace testsupport
