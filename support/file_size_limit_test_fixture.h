// Runs a piece of a test in a child process whose files cannot grow past a
// size: a write beyond it fails with EFBIG, as on a full disk or a quota,
// while the parent goes on to look at what the child left on disk.
// POSIX only (fork and RLIMIT_FSIZE).
#pragma once

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/file.h"

// The child's exit status: what body returned (0..255), or 255 when the
// child did not end normally.
template <class Body>
int with_file_size_limit(rlim_t limit, Body body) {
  pid_t child = fork();
  if (child == 0) {
    // Without this the kernel ends the child at the first refused write.
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit r;
    r.rlim_cur = r.rlim_max = limit;
    if (setrlimit(RLIMIT_FSIZE, &r) != 0) _exit(254);
    _exit(body() & 0xFF);
  }
  if (child < 0) return 255;
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return 255;
  return WEXITSTATUS(status);
}

// A file's whole content ("<missing>" when it cannot be opened).
inline std::string file_bytes_of(const std::string &path) {
  HANDLE h = file_open_read(path.c_str(), OPEN_EXISTING, 0);
  if (h == FILE_FAILED) return "<missing>";
  std::string out;
  char chunk[4096];
  long got;
  while ((got = file_read(h, chunk, sizeof chunk)) > 0) out.append(chunk, size_t(got));
  file_close(h);
  return out;
}

// The names in a folder, to see that a failed save left nothing behind.
inline std::vector<std::string> file_names_in(const std::string &folder) {
  std::vector<std::string> names;
  dir_search(
      folder.c_str(), "*",
      [](const char *name, void *context) { static_cast<std::vector<std::string> *>(context)->push_back(name); },
      &names);
  return names;
}
