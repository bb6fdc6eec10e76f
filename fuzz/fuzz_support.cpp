#include "fuzz/fuzz_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace fuzzsupport {

namespace {

void removeScratchFolder() {
  const std::string command = "rm -rf '" + scratchFolder() + "'";
  if (std::system(command.c_str()) != 0) {
    // Nothing more to do: the folder is under a temporary folder.
  }
}

}  // namespace

const std::string& scratchFolder() {
  static const std::string folder = [] {
    struct stat info;
    std::string base = "/tmp";
    if (stat("/dev/shm", &info) == 0 && S_ISDIR(info.st_mode) && access("/dev/shm", W_OK) == 0) {
      base = "/dev/shm";
    } else if (const char* tmp = std::getenv("TMPDIR"); tmp != nullptr && tmp[0] != '\0') {
      base = tmp;
    }
    std::string pattern = base + "/cvspam-fuzz-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    std::string made = name.data();
    setenv("CVSPAM_HOST_DIR", made.c_str(), 1);
    return made;
  }();
  static const bool cleanupRegistered = [] { return std::atexit(removeScratchFolder) == 0; }();
  (void)cleanupRegistered;
  return folder;
}

std::string writeScratchFile(const char* name, const uint8_t* data, size_t size) {
  const std::string path = scratchFolder() + "/" + name;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    std::perror(path.c_str());
    std::abort();
  }
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  if (std::fclose(file) != 0) std::abort();
  return path;
}

void silenceOutput() {
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
}

void propertyBroken(const char* what) {
  std::fprintf(stderr, "property broken: %s\n", what);
  std::abort();
}

}  // namespace fuzzsupport
