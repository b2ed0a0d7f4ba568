#include "ui/preset_menu.h"

int preset_menu_build(PresetMenu *menu, const char *extension) {
  preset_list_build_ext(&menu->list, extension);
  menu->shown = menu->list.count < PRESET_MENU_MAX_NAMES ? menu->list.count : PRESET_MENU_MAX_NAMES;
  return menu->shown;
}

void preset_menu_release(PresetMenu *menu) {
  preset_list_release(&menu->list);
  menu->shown = 0;
}

int preset_menu_item_count(const PresetMenu *menu) { return menu->shown > 0 ? menu->shown : 1; }

PresetMenuItem preset_menu_item(const PresetMenu *menu, int base, int index) {
  if (menu->shown <= 0) return PresetMenuItem{0, PRESET_MENU_EMPTY_TEXT, false};
  if (index < 0 || index >= menu->shown) return PresetMenuItem{0, "", false};
  return PresetMenuItem{base + index, menu->list.names[index], true};
}

PresetChoice preset_menu_decode(const PresetMenu *menu, int command) {
  if (command == PRESET_COMMAND_SAVE) return PresetChoice{PRESET_ACTION_SAVE, nullptr};
  if (command >= PRESET_COMMAND_LOAD && command < PRESET_COMMAND_LOAD + menu->shown)
    return PresetChoice{PRESET_ACTION_LOAD, menu->list.names[command - PRESET_COMMAND_LOAD]};
  if (command >= PRESET_COMMAND_DELETE && command < PRESET_COMMAND_DELETE + menu->shown)
    return PresetChoice{PRESET_ACTION_DELETE, menu->list.names[command - PRESET_COMMAND_DELETE]};
  return PresetChoice{PRESET_ACTION_NONE, nullptr};
}
