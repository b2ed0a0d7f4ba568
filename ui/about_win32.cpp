// The About dialog and the About page: fixed texts, a close button and a
// link button. Both are drawn by the skin.
#include <windows.h>

#include <shellapi.h>

#include <cstring>

#include "resources/resource_ids.h"
#include "skin/skin.h"
#include "ui/about.h"

namespace {

// The page's controls, in the order their handles are looked up.
const int kPageControls[] = {IDC_ABOUT_PAGE_CREDITS, IDC_ABOUT_PAGE_INVITATION, IDC_ABOUT_PAGE_LINK, 0};

void skin_on(HWND dialog) {
  skin_sweep(0);
  skin_attach_tree(dialog, 1);
}

void skin_off(HWND dialog) {
  skin_attach_tree(dialog, 0);
  skin_mark_tree(dialog);
}

void open_link(HWND page) {
  // Rebuilt from the stored bytes at every press, into a buffer larger than
  // the target and zeroed first, so the target is always terminated.
  static char target[ABOUT_LINK_TARGET_SIZE + 2];
  std::memset(target, 0, sizeof target);
  about_unscramble(about_link_scrambled.bytes, ABOUT_LINK_TARGET_SIZE, target);
  // Nothing is reported when the shell cannot open it.
  ShellExecuteA(page, "open", target, nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace

INT_PTR CALLBACK about_dialog_proc(HWND dialog, UINT msg, WPARAM wparam, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG: {
      SetDlgItemTextA(dialog, IDC_ABOUT_DESCRIPTION, about_description);
      static char credits[ABOUT_TEXT_SIZE];
      about_dialog_credits(credits);
      SetDlgItemTextA(dialog, IDC_ABOUT_CREDITS, credits);
      skin_on(dialog);
      break;
    }
    case WM_COMMAND:
      // Only a click on "Close"; Enter and Escape (IDOK, IDCANCEL) leave the
      // dialog open.
      if (wparam == WPARAM(IDC_ABOUT_CLOSE)) SendMessageA(dialog, WM_CLOSE, 0, 0);
      break;
    case WM_CLOSE:
      EndDialog(dialog, 0);
      break;
    case WM_DESTROY:
      skin_off(dialog);
      break;
  }
  return FALSE;
}

INT_PTR CALLBACK about_page_proc(HWND page, UINT msg, WPARAM, LPARAM lparam) {
  switch (msg) {
    case WM_INITDIALOG: {
      HWND controls[3] = {nullptr, nullptr, nullptr};
      for (int i = 0; kPageControls[i] != 0; ++i) controls[i] = GetDlgItem(page, kPageControls[i]);
      static char credits[ABOUT_TEXT_SIZE];
      about_page_credits(credits);
      SetWindowTextA(controls[0], credits);
      SetWindowTextA(controls[1], about_second_text);
      SetWindowTextA(controls[2], about_page_address);
      skin_on(page);
      break;
    }
    case WM_COMMAND: {
      // Any notification of the link button; a command without a control
      // (lParam 0) is never the button's.
      HWND link = GetDlgItem(page, IDC_ABOUT_PAGE_LINK);
      if (lparam != 0 && HWND(lparam) == link) open_link(page);
      break;
    }
    case WM_DESTROY:
      skin_off(page);
      break;
  }
  return FALSE;
}

void about_show(HWND parent, HINSTANCE instance) {
  DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ABOUT), parent, about_dialog_proc, 0);
}
