// Helpers of the platform layer's tests.
#pragma once

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>

namespace platformtest {

// Lets every user search and read a folder (a fresh temporary folder is
// private to its maker).
inline void openToEveryone(const std::string& folder) { chmod(folder.c_str(), 0755); }

// Runs check in a child process without the rights of the superuser (a
// superuser ignores permission bits, so a read-only folder would not refuse
// a write) and returns its result, 0 to 255; -1 when the child failed.
// Folders on the way to the paths the check uses must be searchable by
// everyone (see openToEveryone).
inline int runUnprivileged(const std::function<int()>& check) {
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    if (geteuid() == 0) {
      const uid_t nobody = 65534;
      if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0) _exit(254);
    }
    _exit(check() & 0xFF);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace platformtest
