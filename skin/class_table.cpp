#include "skin/class_table.h"

namespace {

const SkinClass classes[SKIN_CLASS_COUNT] = {
    {"#32770", 0},
    {"Button", 4},
    {"Static", 0},
    {"Edit", 4},
    {"ComboBox", 4},
    {"ListBox", 0},
    {"SysTabControl32", 0},
    {"msctls_updown32", 4},
    {"msctls_progress32", 0},
    {"tooltips_class32", 0},
    {"msctls_trackbar32", 4},
    {"msctls_statusbar32", 0},
    {"msctls_hotkey32", 128},
    {"SysIPAddress32", 0},
};

bool same_name(const char *a, const char *b) {
  for (int i = 0; i <= SKIN_CLASS_NAME_MAX; ++i) {
    if (a[i] != b[i]) return false;
    if (!a[i]) return true;
  }
  return false;  // longer than any name GetClassNameA returns
}

}  // namespace

const SkinClass &skin_class(int row) { return classes[row]; }

int skin_class_find(const char *name) {
  if (!name) return -1;
  for (int row = 0; row < SKIN_CLASS_COUNT; ++row)
    if (same_name(classes[row].name, name)) return row;
  return -1;
}
