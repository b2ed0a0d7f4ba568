// The tray icon's menu and the process-wide state of the plug-in's control
// windows: the three modeless dialogs the menu opens (settings, EAX panel,
// equalizer window) and the DS3D positioning view that it shows and hides.
//
// The rules live here and are portable: what the menu holds, which items
// carry a check mark, what a command does in which state, and when a saved
// position applies. tray_win32.cpp and view_thread_win32.cpp carry them out
// with the window system.
#pragma once

#include <atomic>
#include <climits>
#include <cstdint>

#include "platform/win32.h"

// Commands of the tray menu (WM_COMMAND wParam, compared whole).
enum : int {
  TRAY_COMMAND_EQUALIZER = 94,
  TRAY_COMMAND_SETTINGS = 95,
  TRAY_COMMAND_EAX_PANEL = 96,
  TRAY_COMMAND_VIEW = 97,
};

// The tray icon: its identifier, the message it sends the notify window
// (WM_USER + 5) and its tip.
#define TRAY_ICON_ID 32513
#define TRAY_CALLBACK_MESSAGE (0x0400 + 5)
#define TRAY_TIP "Sonorium plugin"
#define TRAY_NOTIFY_CLASS "Sonorium notifywindow"
// Class and title of the view window.
#define VIEW_WINDOW_CLASS "DS3D positioning"

// One line of the tray menu; command 0 is a separator.
struct TrayMenuItem {
  int command;
  const char *text;
};
#define TRAY_MENU_ITEM_COUNT 5
// The menu in its order: "E&qualizer", separator, "&EAX panel",
// "&DS3D positioning", "&Settings".
extern const TrayMenuItem tray_menu_items[TRAY_MENU_ITEM_COUNT];
// The default item, drawn bold; a double click on the icon runs it.
#define TRAY_MENU_DEFAULT TRAY_COMMAND_EAX_PANEL

// The modeless dialogs the menu opens, all owned by the hidden plug-in
// window and living on the host's thread.
enum : int {
  TRAY_DIALOG_SETTINGS = 0,
  TRAY_DIALOG_EAX_PANEL = 1,
  TRAY_DIALOG_EQUALIZER = 2,
  TRAY_DIALOG_COUNT = 3,
};

// A dialog procedure (DLGPROC on Windows).
typedef intptr_t(CALLBACK *TrayDialogProc)(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam);

// What the menu needs of one dialog. Everything here is touched by the
// host's thread only.
struct TrayDialogSlot {
  // 1 from the tray command that created the dialog until the dialog's
  // WM_DESTROY (tray_dialog_destroyed); 0 while closed.
  int32_t open;
  // The dialog while it exists.
  HWND window;
  // Where the user left it; savedX == TRAY_NO_POSITION means none. Kept up
  // to date by the dialog and by autosave; the menu only reads it.
  int32_t savedX;
  int32_t savedY;
  // The dialog's procedure, registered by the dialog's own code. While it
  // is null the command that would open the dialog does nothing.
  TrayDialogProc proc;
};
#define TRAY_NO_POSITION INT_MIN

extern TrayDialogSlot tray_dialogs[TRAY_DIALOG_COUNT];

// The fixed facts of each dialog: its command, its dialog resource, whether
// it needs the device-ready flag, whether it opens animated (brought to the
// foreground first), and whether its command closes it again when open.
struct TrayDialogInfo {
  int command;
  int resource;
  bool needsDevice;
  bool animated;
  bool commandCloses;
};
extern const TrayDialogInfo tray_dialog_info[TRAY_DIALOG_COUNT];

// Shown flag of the view window: nonzero while it is visible. Flipped by
// the host's thread (the tray command) and by the view thread (the close
// box); each flip is one exclusive-or of the byte. Starts at 0.
extern std::atomic<uint8_t> view_shown;
// Flips the shown flag; returns its new value.
uint8_t view_shown_flip(void);

// The view window's size, remembered across showings: the view thread
// creates the window with it and the window updates it when resized.
#define VIEW_DEFAULT_WIDTH 400
#define VIEW_DEFAULT_HEIGHT 400
extern std::atomic<int32_t> view_width;
extern std::atomic<int32_t> view_height;

// What a tray command does in the present state.
enum TrayAction {
  TRAY_IGNORE,         // unknown command, device needed but not ready, or no dialog registered
  TRAY_OPEN,           // create the dialog
  TRAY_BRING_FORWARD,  // the dialog is open: bring it to the foreground
  TRAY_CLOSE,          // the dialog is open and the command closes it
  TRAY_TOGGLE_VIEW,    // flip the view window's shown flag
};
struct TrayDecision {
  TrayAction action;
  int dialog;  // TRAY_DIALOG_* for the dialog actions, -1 otherwise
};
TrayDecision tray_decide(uintptr_t command, bool deviceReady, const TrayDialogSlot dialogs[TRAY_DIALOG_COUNT]);

// Whether menu item `command` carries a check mark: 94, 95 and 96 while
// their dialog is open, 97 while the view is shown; never for other ids.
bool tray_item_checked(int command, const TrayDialogSlot dialogs[TRAY_DIALOG_COUNT], uint8_t viewShown);

// The saved position of a dialog, when there is one.
bool tray_saved_position(const TrayDialogSlot &slot, int32_t *x, int32_t *y);

// Called by each dialog when it handles WM_DESTROY: clears its open flag
// and forgets its window, so the next command creates it anew.
void tray_dialog_destroyed(int dialog);

#ifdef _WIN32
// What every modeless dialog of the menu does on WM_DESTROY: remembers where
// the user left it, detaches the skin from it and marks its windows for
// release, and clears its open flag (tray_dialog_destroyed).
void tray_dialog_closed(int dialog, HWND window);

// The notify window, the menu and the tray icon, on the host's thread.
// Creates the notify window (class and title "Sonorium notifywindow",
// hidden), builds the menu and adds the icon. `owner` is the hidden plug-in
// window, which owns the dialogs the menu opens. Returns the notify window,
// or null when it could not be made (then there is no icon either).
HWND tray_setup(HINSTANCE instance, HWND owner);
// Removes the tray icon and destroys the notify window, which destroys the
// menu.
void tray_remove(void);

// The view thread: creates the view window (class and title
// "DS3D positioning") with the remembered size, shown as the shown flag
// says, and serves its messages until the window is destroyed.
// Starts it; returns once the window exists (or could not be made).
void view_thread_start(HINSTANCE instance);
// Has the view thread destroy its window and waits until the thread has
// ended, so nothing of the DLL runs on it afterwards.
void view_thread_stop(void);
// The view window while it exists, else null.
HWND view_window(void);
// The window procedure of the view window (view_win32.cpp).
LRESULT CALLBACK view_window_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);
// For the window procedure: remembers the window's outer size for the next
// window made, and forgets the window when it is destroyed.
void view_window_sized(HWND window);
void view_window_destroyed(void);
// Has the view thread send every pose and cone angle to the device, as a
// mouse move with both button flags set does; used after a preset load.
// Waits until it is done. Without a view window the caller sends them.
void view_apply_poses(void);
// Posted to the view window to have its own thread destroy it.
#define VIEW_MESSAGE_DESTROY (WM_APP + 0x51)
// Sent to the view window to have its thread send the poses to the device
// as a mouse move with both button flags set does (view_apply_poses).
#define VIEW_MESSAGE_APPLY_POSES (WM_APP + 0x52)
// Sent to the view window to read back what it shows, since the screen's
// GDI copy of an OpenGL window may not hold the frame: the view draws a
// frame and copies it into the buffer at lParam, width x height RGBA8 rows
// from the top, when wParam (the buffer's size in bytes) is at least
// 4 x width x height of its client area. Returns the client size as
// MAKELRESULT(width, height), or 0 when nothing was copied. For screenshots
// and tests.
#define VIEW_MESSAGE_READ_FRAME (WM_APP + 0x53)
#endif
