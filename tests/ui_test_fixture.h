// The Windows UI test library: loads the real plug-in DLL as the player
// does, finds its windows, reads and drives their controls with the messages
// a user's actions produce, and saves PNG screenshots of any window.
// Test-only; built into the Windows test programs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "engine/module.h"

namespace uitest {

// The plug-in as the player holds it: the DLL, its record and a stand-in for
// the player's main window, which answers IPC_GETPLUGINDIRECTORY with
// `plugin_dir` (a fresh temporary folder by default) and IPC_ISFULLSTOP with 1.
struct Plugin {
  HMODULE dll = nullptr;
  Out_Module *module = nullptr;
  HWND host_window = nullptr;
  std::string plugin_dir;
};

// Loads `dll_name` from beside the test program (the software card's
// dsound.dll is loaded first when it lies there), fills in hMainWindow and
// hDllInstance and calls Init. Returns once the plug-in's output thread has
// asked for its folder (its settings are loaded then), or after 1.5 s when
// nothing asks (a disabled plug-in has no output thread). False with a
// message on failure.
bool plugin_load(Plugin &plugin, const char *dll_name = "out_sonorium.dll", const char *plugin_dir = nullptr);
// Quit, FreeLibrary, and the stand-in host window destroyed. A temporary
// folder made by plugin_load stays until the program ends, so a test can
// read what Quit wrote there.
void plugin_unload(Plugin &plugin);
// How often the stand-in host window has been sent WM_USER with this IPC
// code (from any thread) since plugin_load; 0 once it is unloaded. Added
// for tests of what the plug-in asks its host.
int host_asked(const Plugin &plugin, LPARAM code);

// Serves this thread's messages for `ms` milliseconds (at least one pass).
void pump(int ms = 0);
// Serves messages until `done()` is true or `timeout_ms` passed; the result
// of the last `done()`.
template <class F>
bool pump_until(F done, int timeout_ms = 2000) {
  DWORD start = GetTickCount();
  for (;;) {
    pump(0);
    if (done()) return true;
    if (int(GetTickCount() - start) >= timeout_ms) return false;
    Sleep(5);
  }
}

// Top-level windows of this process by class and title (either may be null
// for any); the first match, or null.
HWND find_window(const char *class_name, const char *title);
// The child (any depth) with the control id, or null.
HWND find_child(HWND parent, int id);
// All direct children in z-order (template order for a dialog).
std::vector<HWND> children(HWND parent);

std::string class_of(HWND window);
std::string text_of(HWND window);
LONG_PTR style_of(HWND window);
LONG_PTR exstyle_of(HWND window);
bool is_enabled(HWND window);
bool is_visible(HWND window);
// BM_GETCHECK.
int check_of(HWND button);
// The control's rectangle in its parent's client pixels.
RECT rect_in_parent(HWND control);
// The same in dialog units of `dialog` (rounded to the nearest unit).
RECT rect_in_dialog_units(HWND dialog, HWND control);

// Actions. Mouse coordinates are client pixels of `window`.
void click(HWND button);  // BM_CLICK
void mouse_move(HWND window, int x, int y);
void mouse_leave(HWND window);
void left_down(HWND window, int x, int y);
void left_up(HWND window, int x, int y);
void left_click(HWND window, int x, int y);
// TBM_SETPOS and the scroll notifications a drag of the thumb sends to the
// parent (TB_THUMBTRACK, TB_THUMBPOSITION, TB_ENDTRACK).
void set_trackbar(HWND trackbar, int position);
// CB_SETCURSEL and CBN_SELCHANGE to the parent.
void select_combo(HWND combo, int index);
// LB_SETCURSEL and LBN_SELCHANGE to the parent.
void select_list(HWND list, int index);
// WM_SETTEXT and EN_CHANGE to the parent.
void set_edit(HWND edit, const char *text);
// TCM_SETCURSEL and the TCN_SELCHANGING/TCN_SELCHANGE notifications.
void select_tab(HWND tab, int index);

// The folder screenshots go to: SONORIUM_SCREENSHOTS when set, else
// "screenshots" beside the test program. Created when missing.
std::string screenshot_dir();
// Captures `window` and saves it as `<screenshot_dir>/<name>.png`. The full
// path, or "" on failure. A visible window is read from its own pixels
// (children included; a frame and caption that no window manager drew are
// drawn in); a hidden one is asked to paint itself with PrintWindow, which
// under Wine gives little more than its background, so show it first.
std::string save_png(HWND window, const char *name);
// The pixels save_png writes: rows of R,G,B from the top, `*width` by
// `*height` (the window's rectangle). Empty on failure. Added so tests can
// check colours where a control is drawn.
std::vector<uint8_t> capture_rgb(HWND window, int *width, int *height);

}  // namespace uitest
