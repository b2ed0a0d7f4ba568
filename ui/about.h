// The plug-in's credits: the modal About dialog the host's About callback
// opens, and the About page at the end of the EAX panel. The texts and how
// they are put together are portable; the two dialog procedures are Win32.
#pragma once

#include <cstddef>

#include "platform/win32.h"

// Room for either credits text.
#define ABOUT_TEXT_SIZE 512
// Bytes of the link target, stored scrambled.
#define ABOUT_LINK_TARGET_SIZE 46

// The plug-in description, the build date ("Sunday  17-05-2009"), the
// project's contact address and page, and the page's second text (where to
// send suggestions and problem reports).
extern const char about_description[];
extern const char about_build_date[];
extern const char about_contact_address[];
extern const char about_page_address[];
extern const char about_second_text[];

// The formats of the two credits texts. Both take two strings, the contact
// address and the build date. The dialog's is three lines, each ending in
// CR LF; the page's adds two empty lines and a line about the project's page.
extern const char about_dialog_format[];
extern const char about_page_format[];

// Formats the dialog's and the page's credits text into dest (at least
// ABOUT_TEXT_SIZE bytes).
void about_dialog_credits(char *dest);
void about_page_credits(char *dest);

// The link button's target as it is kept in the DLL: byte i holds the
// target's byte i plus i, modulo 256.
struct AboutScrambled {
  unsigned char bytes[ABOUT_LINK_TARGET_SIZE];
};
extern const AboutScrambled about_link_scrambled;
// Writes the `size` plain bytes of `stored` into dest: byte i is stored[i]
// minus i, modulo 256. Nothing is terminated; dest is the caller's
// zero-filled buffer, larger than `size`.
void about_unscramble(const unsigned char *stored, size_t size, char *dest);

#ifdef _WIN32
// The About dialog (resource 120), modal. Returns 0 for every message.
INT_PTR CALLBACK about_dialog_proc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam);
// The About page (resource 114), created by the EAX panel as its last page.
// Returns 0 for every message.
INT_PTR CALLBACK about_page_proc(HWND page, UINT msg, WPARAM wparam, LPARAM lparam);
// Shows the About dialog of `instance` modally over `parent`.
void about_show(HWND parent, HINSTANCE instance);
#endif
