#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include <string>

#include "support/file.h"

namespace {
// The remaining creation dispositions of CreateFileA, by their published values.
constexpr DWORD kCreateNew = 1;
constexpr DWORD kOpenAlways = 4;
constexpr DWORD kTruncateExisting = 5;

HANDLE from_fd(int fd) { return fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(intptr_t(fd)); }
int to_fd(HANDLE h) { return int(reinterpret_cast<intptr_t>(h)); }

// The open(2) flags that give CreateFileA's meaning of a disposition.
int disposition_flags(DWORD disposition) {
  switch (disposition) {
    case kCreateNew: return O_CREAT | O_EXCL;
    case CREATE_ALWAYS: return O_CREAT | O_TRUNC;
    case kOpenAlways: return O_CREAT;
    case kTruncateExisting: return O_TRUNC;
    default: return 0;  // OPEN_EXISTING
  }
}

// A directory opens on POSIX but not through CreateFileA.
int reject_non_regular(int fd) {
  if (fd < 0) return fd;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return -1;
  }
  return fd;
}
}  // namespace

extern "C" HANDLE file_create(const char *path, DWORD disposition, DWORD) {
  return from_fd(reject_non_regular(open(path, O_RDWR | O_CLOEXEC | disposition_flags(disposition), 0644)));
}

extern "C" HANDLE file_open_read(const char *path, DWORD disposition, DWORD) {
  // Read access cannot truncate; only the creating dispositions are kept.
  int flags = disposition_flags(disposition) & (O_CREAT | O_EXCL);
  return from_fd(reject_non_regular(open(path, O_RDONLY | O_CLOEXEC | flags, 0644)));
}

extern "C" int file_delete(const char *path) { return unlink(path) == 0; }

extern "C" int file_close(HANDLE file) { return close(to_fd(file)) == 0; }

extern "C" long file_read(HANDLE file, void *buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t r = read(to_fd(file), static_cast<char *>(buffer) + done, size - done);
    if (r < 0) return -1;
    if (r == 0) break;
    done += size_t(r);
  }
  return long(done);
}

extern "C" long file_write(HANDLE file, const void *buffer, size_t size) {
  size_t allowed = file_test_write_allowance(size);
  size_t done = 0;
  while (done < allowed) {
    ssize_t r = write(to_fd(file), static_cast<const char *>(buffer) + done, allowed - done);
    if (r < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    done += size_t(r);
  }
  if (allowed < size) {
    errno = ENOSPC;
    return -1;
  }
  return long(done);
}

extern "C" int file_sync(HANDLE file) { return fsync(to_fd(file)) == 0; }

extern "C" int file_replace(const char *from, const char *to) { return rename(from, to) == 0; }

extern "C" long file_seek(HANDLE file, long offset) {
  off_t r = lseek(to_fd(file), offset, SEEK_SET);
  return r < 0 ? -1 : long(r);
}

extern "C" int dir_create(const char *path) {
  mkdir(path, 0755);
  return dir_exists(path);
}

extern "C" int dir_exists(const char *path) {
  struct stat st;
  return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

extern "C" int dir_search(const char *folder, const char *pattern, DirFound found, void *context) {
  DIR *d = opendir(folder);
  if (!d) return -1;
  std::string base(folder);
  if (!base.empty() && base.back() != '/') base += '/';
  int count = 0;
  while (struct dirent *e = readdir(d)) {
    if (!file_name_matches(e->d_name, pattern)) continue;
    struct stat st;
    if (stat((base + e->d_name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    found(e->d_name, context);
    ++count;
  }
  closedir(d);
  return count;
}

extern "C" char path_separator(void) { return '/'; }
