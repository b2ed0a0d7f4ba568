// The Presets button of the equalizer window (".eq" files) and of the EAX
// panel (".env" files): the pop-up menu built from the preset files of the
// settings folder, and the "Save Preset" (131) and "Delete Preset" (132)
// dialogs. One mechanism for both windows; each names its file extension
// and says through callbacks what loading and saving a preset mean.
//
// The menu:
//   "&Load"   -> one item per preset name, command PRESET_COMMAND_LOAD + i
//   "&Save"   -> command PRESET_COMMAND_SAVE
//   "&Delete" -> one item per preset name, command PRESET_COMMAND_DELETE + i
// Names are the file names less the extension, sorted without regard to
// case. With no preset, each sub-menu holds one grayed "(empty)" item
// (command 0). At most PRESET_MENU_MAX_NAMES names are listed, so a Load
// command can never carry the Delete bit.
//
// The portable part (list, items, command decoding, paths, free names) is
// tested natively; preset_dialogs_win32.cpp carries it out with the window
// system.
#pragma once

#include <cstddef>

#include "device/presets.h"
#include "platform/win32.h"

enum : int {
  PRESET_COMMAND_LOAD = 0x2000,    // + index into the sorted names
  PRESET_COMMAND_DELETE = 0x4000,  // + index into the sorted names
  PRESET_COMMAND_SAVE = 0x7FFF,
  // Names listed at most: PRESET_COMMAND_LOAD + index stays below
  // PRESET_COMMAND_DELETE, and PRESET_COMMAND_DELETE + index below
  // PRESET_COMMAND_SAVE. Further names (in sort order) are left out.
  PRESET_MENU_MAX_NAMES = 0x2000,
};

#define PRESET_MENU_EMPTY_TEXT "(empty)"

// The names of one menu, built on every press of the button.
struct PresetMenu {
  PresetList list;  // every preset of the folder, sorted (device/presets.h)
  int shown;        // names in the menu: min(list.count, PRESET_MENU_MAX_NAMES)
};

// Lists settings_folder for "*" + extension (".eq", ".env"). Returns
// menu->shown. An empty or unknown folder gives 0.
int preset_menu_build(PresetMenu *menu, const char *extension);
void preset_menu_release(PresetMenu *menu);

// One item of a sub-menu. `base` is PRESET_COMMAND_LOAD or
// PRESET_COMMAND_DELETE. A sub-menu has preset_menu_item_count() items;
// item i is the i-th name with command base + i, or, with no names, the
// disabled "(empty)" item with command 0.
struct PresetMenuItem {
  int command;
  const char *text;
  bool enabled;
};
int preset_menu_item_count(const PresetMenu *menu);
PresetMenuItem preset_menu_item(const PresetMenu *menu, int base, int index);

// What a command returned by the menu asks for.
enum PresetAction {
  PRESET_ACTION_NONE,  // 0 (menu dismissed), "(empty)", or out of range
  PRESET_ACTION_LOAD,
  PRESET_ACTION_SAVE,
  PRESET_ACTION_DELETE,
};
struct PresetChoice {
  PresetAction action;
  const char *name;  // the preset for Load and Delete (owned by menu), else null
};
PresetChoice preset_menu_decode(const PresetMenu *menu, int command);

// Paths, the free name a Save writes to ("_%d" suffixes, never an existing
// file) and the delete question live in device/presets.h:
// preset_file_path, preset_free_path, preset_delete_question.

// What a window's Presets button does with a chosen preset.
struct PresetHandler {
  const char *extension;  // ".eq" or ".env", with the dot
  // Loads the preset at `path` and refreshes the window's controls. Called
  // only for a name the menu listed.
  void (*load)(const char *path, void *context);
  // Writes the present state as a new file at `path` (a name that did not
  // exist; the callee creates it). True when the whole file was written.
  bool (*save)(const char *path, void *context);
  void *context;
};

#ifdef _WIN32
// The whole Presets button: builds the menu (the names also go through
// `sort_list`, the window's hidden sorted list box, when it is not null),
// tracks it at the top-left corner of `button`, owned by `owner`
// (TPM_RETURNCMD | TPM_NONOTIFY), destroys it, and carries out the command:
// Load calls handler->load; Save runs the "Save Preset" dialog; Delete runs
// the "Delete Preset" dialog. Returns the command (0 when none was chosen).
// Must run on the thread that owns `owner`.
int preset_menu_run(HWND owner, HWND button, HWND sort_list, const PresetHandler *handler);

// The two dialogs on their own. Each is modeless, owned by `owner`, with its
// top-left corner at screen point (x, y), skinned while open, and served by
// a local message loop with dialog keyboard navigation (Tab, Enter, Esc)
// until it closes. They return when the dialog is gone. One preset dialog
// exists at a time: while one is open (from either window), these and
// preset_menu_run only bring it to the foreground and return false / 0.
// A quit message arriving in the local loop closes the dialog and is
// posted again for the thread's own loop.
//
// "Save Preset": "Save" does nothing while the name is empty; else it
// picks preset_free_path and calls handler->save, then closes (an invalid
// name or a failed write closes it too, writing nothing). "Cancel",
// Esc and the close box close it. True when a preset was written; the name
// used goes to used_name (PRESET_NAME_MAX + 16 bytes, may be null).
bool preset_save_dialog_run(HWND owner, int x, int y, const PresetHandler *handler, char *used_name);
// "Delete Preset" with the question for `name`: "Yes" deletes
// settings folder + name + extension and closes; "No", Esc and the close
// box close. True when the file was deleted.
bool preset_delete_dialog_run(HWND owner, int x, int y, const char *name, const PresetHandler *handler);

// The dialog currently open (save or delete), else null. For tests and for
// a window that must not close under an open preset dialog.
HWND preset_dialog_window(void);
#endif
