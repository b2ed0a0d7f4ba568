// File wrappers. Handles are the platform's; FILE_FAILED (the invalid handle
// value) means failure.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32.h"

#define FILE_FAILED INVALID_HANDLE_VALUE

// The longest path the wrappers take, its terminating zero included: the
// ANSI functions' MAX_PATH on Windows (we do not use "\\?\" paths, which
// the ANSI functions do not lengthen), PATH_MAX elsewhere.
#ifdef _WIN32
#define FILE_PATH_MAX 260
#else
#define FILE_PATH_MAX 4096
#endif
// What file_save appends to a path for the new file it writes first; a
// path that is to be saved needs room for it within FILE_PATH_MAX.
#define FILE_SAVE_SUFFIX ".new~"
#define FILE_SAVE_SUFFIX_LENGTH 5

extern "C" {
// Read and write access, no sharing. The callers pass CREATE_ALWAYS and 0.
HANDLE file_create(const char *path, DWORD disposition, DWORD attributes);
// Read access, others may read. The callers pass OPEN_EXISTING and 0.
HANDLE file_open_read(const char *path, DWORD disposition, DWORD attributes);
// Nonzero on success.
int file_delete(const char *path);
// Nonzero on success.
int file_close(HANDLE file);

// ReadFile / WriteFile / SetFilePointer: the number of bytes moved, or -1.
long file_read(HANDLE file, void *buffer, size_t size);
long file_write(HANDLE file, const void *buffer, size_t size);
// Moves to an absolute offset; returns the new offset or -1.
long file_seek(HANDLE file, long offset);

// Writes the file's data through to the disk; nonzero on success.
int file_sync(HANDLE file);
// Renames from to to, replacing a file named to: MoveFileExA with
// MOVEFILE_REPLACE_EXISTING on Windows, rename(2) elsewhere. The target is
// either the old file or the new one, never a mix. Nonzero on success.
int file_replace(const char *from, const char *to);

// Replaces the content of path with size bytes, whole or not at all: they
// are written beside it under path + FILE_SAVE_SUFFIX, synced, and renamed
// over it. On any failure (no room, quota, size limit, I/O error, a path too
// long for the suffix) the old file, or its absence, stays as it was and the
// new file is removed. Returns FILE_SAVED or the step that failed.
enum FileSaveResult {
  FILE_SAVED = 0,
  FILE_SAVE_NOT_CREATED = -1,   // no new file: missing folder, no access, path too long
  FILE_SAVE_NOT_WRITTEN = -2,   // the new file could not be written whole
  FILE_SAVE_NOT_REPLACED = -3,  // it could not be renamed over the target
};
int file_save(const char *path, const void *bytes, size_t size);

// For tests: file_write fails, as on a full disk, once this many more bytes
// have been written (the write that crosses it puts only what fits). A
// negative count lifts the limit.
void file_test_fail_writes_after(long long bytes);
// The part of a write of size bytes that the test limit lets through, and
// the limit lowered by it. size when no limit is set.
size_t file_test_write_allowance(size_t size);

// Creates a directory; nonzero when it exists afterwards.
int dir_create(const char *path);
// Nonzero when path names an existing directory.
int dir_exists(const char *path);

// Lists the regular files of folder whose names match a "*.ext" pattern
// (extension compared without regard to case). Calls found(name, context)
// for each, in the order the system returns them. Returns the count, or -1
// when the folder cannot be read.
typedef void (*DirFound)(const char *name, void *context);
int dir_search(const char *folder, const char *pattern, DirFound found, void *context);

// Nonzero when name matches pattern: "*.ext" compares the extension without
// regard to case and needs a name in front of it; any other pattern is the
// exact name.
int file_name_matches(const char *name, const char *pattern);

// The path separator of the platform: '\\' on Windows, '/' elsewhere.
char path_separator(void);
}
