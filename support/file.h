// File wrappers. Handles are the platform's; FILE_FAILED (the invalid handle
// value) means failure.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32.h"

#define FILE_FAILED INVALID_HANDLE_VALUE

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
