// The window table: one process-wide array of entries, one per skinned
// window, holding what the skinned procedure keeps for it (off-screen
// surface, the procedure it replaced, its per-window data). Used by one
// thread only (all dialogs live on the host's thread).
#pragma once

#include <cstddef>
#include <cstdint>

// The handle value of a free slot; 0 marks the end of the used part.
#define SKIN_FREE_SLOT (reinterpret_cast<void *>(~uintptr_t(0)))

struct SkinEntry {
  void *window;           // null = end of the used part, SKIN_FREE_SLOT = free
  void *memory_dc;        // off-screen drawing surface, or null
  void *bitmap;           // bitmap selected into memory_dc, or null
  uint32_t release_mark;  // 1 = released at the next sweep
  intptr_t previous_proc; // the window procedure the skinned one replaced, or 0
  void *data;             // zeroed per-window block of the class's size, or null
};

// Allocates the zeroed table (16-byte aligned) for `capacity` windows plus
// the end entry. False when memory runs out or capacity < 1. A table that
// exists already is released first.
bool skin_table_create(int capacity);
// Releases every entry and frees the table. Safe without a table.
void skin_table_destroy(void);
bool skin_table_exists(void);
int skin_table_capacity(void);

// The entry of `window`, or null.
SkinEntry *skin_table_find(const void *window);
// The entry of `window`, registering it with release mark 0 when it has
// none: the first free slot, else the end entry. Null when the table is
// full (capacity windows at once) or missing.
SkinEntry *skin_table_register(void *window);
// Allocates the zeroed per-window block when the entry has none and `size`
// is not 0. False when memory runs out.
bool skin_table_ensure_data(SkinEntry *entry, size_t size);
// Sets the release mark of the window's entry; false when it has none.
bool skin_table_mark(const void *window);
// Releases every marked entry, or every entry when `all` is nonzero:
// surface and data released, fields zeroed, slot free. The count released.
int skin_table_sweep(int all);

// The entries as stored (for inspection); index 0 .. capacity.
const SkinEntry *skin_table_entries(void);
// The index of an entry.
int skin_table_index(const SkinEntry *entry);

// Platform part of releasing an entry: give the window its previous
// procedure back when it still runs the skinned one, delete the memory DC
// and the bitmap. Natively there is nothing to release.
void skin_entry_release_platform(SkinEntry *entry);
