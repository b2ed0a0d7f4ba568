#include <atomic>
#include <cctype>
#include <cstring>

#include "support/file.h"

extern "C" int file_name_matches(const char *name, const char *pattern) {
  if (pattern[0] != '*') return std::strcmp(name, pattern) == 0;
  const char *ext = pattern + 1;
  size_t n = std::strlen(name), e = std::strlen(ext);
  // A bare ".env" has no preset name in front of the extension.
  if (n <= e) return 0;
  for (size_t i = 0; i < e; ++i)
    if (std::tolower(static_cast<unsigned char>(name[n - e + i])) !=
        std::tolower(static_cast<unsigned char>(ext[i])))
      return 0;
  return 1;
}

namespace {
std::atomic<long long> write_limit{-1};
}  // namespace

extern "C" void file_test_fail_writes_after(long long bytes) { write_limit.store(bytes < 0 ? -1 : bytes); }

extern "C" size_t file_test_write_allowance(size_t size) {
  long long left = write_limit.load();
  for (;;) {
    if (left < 0) return size;
    size_t allowed = static_cast<unsigned long long>(left) < size ? size_t(left) : size;
    if (write_limit.compare_exchange_weak(left, left - static_cast<long long>(allowed))) return allowed;
  }
}

extern "C" int file_save(const char *path, const void *bytes, size_t size) {
  size_t n = std::strlen(path);
  if (n == 0 || n + FILE_SAVE_SUFFIX_LENGTH + 1 > FILE_PATH_MAX) return FILE_SAVE_NOT_CREATED;
  char temp[FILE_PATH_MAX];
  std::memcpy(temp, path, n);
  std::memcpy(temp + n, FILE_SAVE_SUFFIX, FILE_SAVE_SUFFIX_LENGTH + 1);
  HANDLE h = file_create(temp, CREATE_ALWAYS, 0);
  if (h == FILE_FAILED) return FILE_SAVE_NOT_CREATED;
  bool whole = file_write(h, bytes, size) == long(size) && file_sync(h) != 0;
  // A close can be the first to report a failed write (network folders).
  whole = file_close(h) != 0 && whole;
  int result = !whole ? FILE_SAVE_NOT_WRITTEN : file_replace(temp, path) ? FILE_SAVED : FILE_SAVE_NOT_REPLACED;
  if (result != FILE_SAVED) file_delete(temp);
  return result;
}
