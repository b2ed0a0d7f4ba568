// The skin engine: every dialog of the plug-in is drawn in the plug-in's own
// look by subclassing its standard controls. The window table and the
// palette are portable (skin_table.h, palette.h); attaching, detaching and
// the skinned window procedures are Win32 only.
#pragma once

#include "platform/win32.h"

// Allocates the window table for `capacity` windows (the plug-in passes 2048)
// and adjusts the palette once. Returns 0, or -1 when memory runs out.
int skin_init(int capacity);
// Installs (0) or removes (1) the palette's pointer table that the skinned
// procedures draw from. Init calls it with 0 after skin_init, Quit with 1
// before skin_shutdown.
void skin_install(int remove);
// Releases every entry of the window table and frees it.
void skin_shutdown(void);
// Releases the entries that carry the release mark, or all entries when
// `all` is nonzero.
void skin_sweep(int all);

#ifdef _WIN32
// Skins (on = 1) or unskins (on = 0) the window and all its descendants,
// then redraws the window with its frame.
void skin_attach_tree(HWND window, int on);
// The same for one window.
void skin_attach(HWND window, int on);
// Marks the window and all its descendants (and a combo box's drop-down
// list) for release at the next sweep.
void skin_mark_tree(HWND window);
// The window procedure the skinned one replaced, or null.
WNDPROC skin_previous_proc(HWND window);
#endif
