#include <string>

#include "support/file.h"

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
  size_t allowed = file_test_write_allowance(size);
  DWORD put = 0;
  if (!WriteFile(file, buffer, DWORD(allowed), &put, nullptr)) return -1;
  if (allowed < size) {
    SetLastError(ERROR_DISK_FULL);
    return -1;
  }
  return long(put);
}

extern "C" int file_sync(HANDLE file) { return FlushFileBuffers(file) ? 1 : 0; }

extern "C" int file_replace(const char *from, const char *to) {
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 1 : 0;
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
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && file_name_matches(data.cFileName, pattern)) {
      found(data.cFileName, context);
      ++count;
    }
  } while (FindNextFileA(h, &data));
  FindClose(h);
  return count;
}

extern "C" char path_separator(void) { return '\\'; }
