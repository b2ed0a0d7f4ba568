#include "skin/skin_table.h"

#include "support/heap.h"

namespace {

SkinEntry *table = nullptr;
int table_capacity = 0;

bool is_free(const SkinEntry &e) { return e.window == SKIN_FREE_SLOT; }

void release_entry(SkinEntry &e) {
  skin_entry_release_platform(&e);
  heap_release(e.data);
  e.memory_dc = nullptr;
  e.bitmap = nullptr;
  e.release_mark = 0;
  e.previous_proc = 0;
  e.data = nullptr;
  e.window = SKIN_FREE_SLOT;
}

}  // namespace

bool skin_table_create(int capacity) {
  skin_table_destroy();
  if (capacity < 1) return false;
  table = static_cast<SkinEntry *>(aligned_block_alloc((size_t(capacity) + 1) * sizeof(SkinEntry)));
  if (!table) return false;
  table_capacity = capacity;
  return true;
}

void skin_table_destroy(void) {
  if (!table) return;
  skin_table_sweep(1);
  aligned_block_release(table);
  table = nullptr;
  table_capacity = 0;
}

bool skin_table_exists(void) { return table != nullptr; }
int skin_table_capacity(void) { return table_capacity; }

SkinEntry *skin_table_find(const void *window) {
  if (!table || !window || window == SKIN_FREE_SLOT) return nullptr;
  for (SkinEntry *e = table; e->window; ++e)
    if (e->window == window) return e;
  return nullptr;
}

SkinEntry *skin_table_register(void *window) {
  if (!table || !window || window == SKIN_FREE_SLOT) return nullptr;
  SkinEntry *slot = nullptr;
  SkinEntry *e = table;
  for (; e->window; ++e) {
    if (e->window == window) {
      e->release_mark = 0;
      return e;
    }
    if (!slot && is_free(*e)) slot = e;
  }
  if (!slot) {
    // The end entry becomes used; the entry after it stays zero and is the
    // new end. The last array element is the permanent end entry.
    if (e - table >= table_capacity) return nullptr;
    slot = e;
  }
  slot->window = window;
  slot->memory_dc = nullptr;
  slot->bitmap = nullptr;
  slot->release_mark = 0;
  slot->previous_proc = 0;
  slot->data = nullptr;
  return slot;
}

bool skin_table_ensure_data(SkinEntry *entry, size_t size) {
  if (!entry || entry->data || size == 0) return true;
  entry->data = heap_alloc_zeroed(size);
  return entry->data != nullptr;
}

bool skin_table_mark(const void *window) {
  SkinEntry *e = skin_table_find(window);
  if (!e) return false;
  e->release_mark = 1;
  return true;
}

int skin_table_sweep(int all) {
  if (!table) return 0;
  int released = 0;
  for (SkinEntry *e = table; e->window; ++e) {
    if (is_free(*e)) continue;
    if (all || e->release_mark) {
      release_entry(*e);
      ++released;
    }
  }
  return released;
}

const SkinEntry *skin_table_entries(void) { return table; }

int skin_table_index(const SkinEntry *entry) { return entry && table ? int(entry - table) : -1; }
