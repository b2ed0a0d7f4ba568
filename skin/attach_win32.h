// Attaching skinned procedures to windows, and the 14 skinned procedures.
#pragma once

#include "platform/win32.h"

// The class-table row of the window's class, or -1.
int skin_row_of(HWND window);
// True when the window currently runs one of the skinned procedures.
bool skin_is_skinned(HWND window);
// The class's own procedure as seen at the first attach of that class,
// for a window whose table entry is already gone; null if unknown.
WNDPROC skin_fallback_proc(HWND window);
// True when `proc` is one of the skinned procedures.
bool skin_is_skinned_proc(LONG_PTR proc);

LRESULT CALLBACK skin_dialog_proc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK skin_button_proc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK skin_static_proc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK skin_edit_proc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK skin_combo_proc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK skin_listbox_proc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK skin_tab_proc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK skin_updown_proc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK skin_progress_proc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK skin_tooltip_proc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK skin_trackbar_proc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK skin_statusbar_proc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK skin_hotkey_proc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK skin_ipaddress_proc(HWND, UINT, WPARAM, LPARAM);

// Handles what every skinned procedure handles the same way: erasing
// (nothing, painting covers the control), WM_PAINT, WM_PRINTCLIENT, and
// with `frame` WM_NCPAINT and WM_PRINT; WM_NCDESTROY marks the entry for
// release. True when the message was handled; *result is its result.
struct SkinCommon {
  void (*painter)(HWND, HDC, const RECT &, const struct SkinLook &);
  bool frame;
};
bool skin_common_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, const SkinCommon &common,
                         LRESULT *result);
// True when the skinned procedure should draw: the look is installed and
// the window has its entry.
bool skin_active(HWND window);
