// The classes the skin recognises, by the name GetClassNameA returns, with
// the size of the per-window data each skinned procedure keeps.
#pragma once

#include <cstddef>

enum SkinClassRow {
  SKIN_DIALOG,
  SKIN_BUTTON,
  SKIN_STATIC,
  SKIN_EDIT,
  SKIN_COMBOBOX,
  SKIN_LISTBOX,
  SKIN_TAB,
  SKIN_UPDOWN,
  SKIN_PROGRESS,
  SKIN_TOOLTIP,
  SKIN_TRACKBAR,
  SKIN_STATUSBAR,
  SKIN_HOTKEY,
  SKIN_IPADDRESS,
  SKIN_CLASS_COUNT
};

struct SkinClass {
  const char *name;
  size_t data_size;
};

// GetClassNameA returns at most this many characters.
#define SKIN_CLASS_NAME_MAX 43

const SkinClass &skin_class(int row);
// The row whose name equals `name` exactly (case-sensitive, compared up to
// and including the terminating zero, at most SKIN_CLASS_NAME_MAX
// characters), or -1.
int skin_class_find(const char *name);
