#include "support/file.h"

#include <cctype>
#include <cstring>
#include <string>

#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
// True when name ends in the extension of a "*.ext" pattern, ignoring case.
bool matches(const char *name, const char *pattern) {
  if (pattern[0] != '*') return std::strcmp(name, pattern) == 0;
  const char *ext = pattern + 1;
  size_t n = std::strlen(name), e = std::strlen(ext);
  if (n <= e) return false;
  for (size_t i = 0; i < e; ++i)
    if (std::tolower(static_cast<unsigned char>(name[n - e + i])) !=
        std::tolower(static_cast<unsigned char>(ext[i])))
      return false;
  return true;
}

#ifndef _WIN32
HANDLE from_fd(int fd) { return fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(intptr_t(fd)); }
int to_fd(HANDLE h) { return int(reinterpret_cast<intptr_t>(h)); }
#endif
}  // namespace

#ifdef _WIN32

extern "C" HANDLE file_create(const char *path, DWORD disposition, DWORD attributes) {
  return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, disposition, attributes, nullptr);
}

extern "C" HANDLE file_open_read(const char *path, DWORD disposition, DWORD attributes) {
  return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, disposition, attributes, nullptr);
}

extern "C" int file_delete(const char *path) { return DeleteFileA(path) ? 1 : 0; }

extern "C" int file_close(HANDLE file) { return CloseHandle(file) ? 1 : 0; }

extern "C" long file_read(HANDLE file, void *buffer, size_t size) {
  DWORD got = 0;
  if (!ReadFile(file, buffer, DWORD(size), &got, nullptr)) return -1;
  return long(got);
}

extern "C" long file_write(HANDLE file, const void *buffer, size_t size) {
  DWORD put = 0;
  if (!WriteFile(file, buffer, DWORD(size), &put, nullptr)) return -1;
  return long(put);
}

extern "C" long file_seek(HANDLE file, long offset) {
  DWORD r = SetFilePointer(file, offset, nullptr, FILE_BEGIN);
  return r == INVALID_SET_FILE_POINTER ? -1 : long(r);
}

extern "C" int dir_create(const char *path) {
  CreateDirectoryA(path, nullptr);
  return dir_exists(path);
}

extern "C" int dir_exists(const char *path) {
  DWORD a = GetFileAttributesA(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

extern "C" int dir_search(const char *folder, const char *pattern, DirFound found, void *context) {
  std::string query = std::string(folder);
  if (!query.empty() && query.back() != '\\' && query.back() != '/') query += '\\';
  query += pattern;
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA(query.c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return dir_exists(folder) ? 0 : -1;
  int count = 0;
  do {
    // FindFirstFile also matches 8.3 short names; check the long name again.
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && matches(data.cFileName, pattern)) {
      found(data.cFileName, context);
      ++count;
    }
  } while (FindNextFileA(h, &data));
  FindClose(h);
  return count;
}

extern "C" char path_separator(void) { return '\\'; }

#else

extern "C" HANDLE file_create(const char *path, DWORD disposition, DWORD) {
  int flags = O_RDWR | O_CREAT | O_CLOEXEC;
  if (disposition == CREATE_ALWAYS) flags |= O_TRUNC;
  return from_fd(open(path, flags, 0644));
}

extern "C" HANDLE file_open_read(const char *path, DWORD, DWORD) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    struct stat st;
    // A directory opens for reading on POSIX but not on Windows.
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      close(fd);
      fd = -1;
    }
  }
  return from_fd(fd);
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
  size_t done = 0;
  while (done < size) {
    ssize_t r = write(to_fd(file), static_cast<const char *>(buffer) + done, size - done);
    if (r < 0) return -1;
    done += size_t(r);
  }
  return long(done);
}

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
    if (!matches(e->d_name, pattern)) continue;
    struct stat st;
    if (stat((base + e->d_name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    found(e->d_name, context);
    ++count;
  }
  closedir(d);
  return count;
}

extern "C" char path_separator(void) { return '/'; }

#endif
