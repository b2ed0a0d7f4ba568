// The tray's commands and the About dialog and page, linked into this
// program with the DLL's own dialog templates. The plug-in DLL exports only
// its module record, so what it cannot show from outside is tested here: the
// dialogs the menu opens (stood in for by test procedures, as the real ones
// register theirs), the About dialog's result, and the About page's link,
// whose ShellExecuteA call is caught in this program's import table.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "device/device.h"
#include "resources/resource_ids.h"
#include "skin/skin.h"
#include "tests/tray_menu_test_fixture.h"
#include "tests/static_ui_test_fixture.h"
#include "tests/ui_test_fixture.h"
#include "ui/about.h"
#include "ui/tray.h"

namespace {

HINSTANCE self() { return GetModuleHandleA(nullptr); }

// The stand-in for the hidden plug-in window that owns the dialogs.
HWND &owner_window = uitest::static_ui_owner;

::testing::Environment *const environment = ::testing::AddGlobalTestEnvironment(new uitest::StaticUiEnvironment);

// ---------------------------------------------------------------------------
// Tray commands with stand-in dialogs.

int created[TRAY_DIALOG_COUNT];
int failed_openings = 0;

// Behaves as the plug-in's dialogs do: WM_CLOSE destroys, WM_DESTROY clears
// the open flag.
template <int D>
INT_PTR CALLBACK dialog_proc(HWND dialog, UINT msg, WPARAM, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      ++created[D];
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(dialog);
      return TRUE;
    case WM_DESTROY:
      tray_dialog_destroyed(D);
      return TRUE;
  }
  return FALSE;
}

// A dialog that gives up while it initialises.
INT_PTR CALLBACK failing_proc(HWND dialog, UINT msg, WPARAM, LPARAM) {
  if (msg == WM_INITDIALOG) {
    ++failed_openings;
    DestroyWindow(dialog);
  }
  return FALSE;
}

POINT top_left(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  return {r.left, r.top};
}

SIZE size_of(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  return {r.right - r.left, r.bottom - r.top};
}

class TrayCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int d = 0; d < TRAY_DIALOG_COUNT; ++d) {
      tray_dialogs[d] = {0, nullptr, TRAY_NO_POSITION, 0, nullptr};
      created[d] = 0;
    }
    tray_dialogs[TRAY_DIALOG_SETTINGS].proc = dialog_proc<TRAY_DIALOG_SETTINGS>;
    tray_dialogs[TRAY_DIALOG_EAX_PANEL].proc = dialog_proc<TRAY_DIALOG_EAX_PANEL>;
    tray_dialogs[TRAY_DIALOG_EQUALIZER].proc = dialog_proc<TRAY_DIALOG_EQUALIZER>;
    failed_openings = 0;
    notify_ = tray_setup(self(), owner_window);
    view_thread_start(self());
  }
  void TearDown() override {
    for (TrayDialogSlot &slot : tray_dialogs)
      if (slot.window) DestroyWindow(slot.window);
    view_thread_stop();
    tray_remove();
    set_device_ready(false);
    view_shown.store(0);
  }

  static void set_device_ready(bool ready) {
    if (ready)
      device_set.stateFlags.fetch_or(DEVICE_READY);
    else
      device_set.stateFlags.fetch_and(~uint32_t(DEVICE_READY));
  }
  void command(WPARAM id) { SendMessageA(notify_, WM_COMMAND, id, 0); }
  void double_click() { SendMessageA(notify_, TRAY_CALLBACK_MESSAGE, TRAY_ICON_ID, WM_LBUTTONDBLCLK); }
  HWND window_of(int d) { return tray_dialogs[d].window; }

  HWND notify_ = nullptr;
};

TEST_F(TrayCommands, SettingsOpensWithoutTheDeviceOnceAndComesForward) {
  ASSERT_NE(notify_, nullptr);
  command(TRAY_COMMAND_SETTINGS);
  HWND settings = window_of(TRAY_DIALOG_SETTINGS);
  ASSERT_NE(settings, nullptr);
  EXPECT_EQ(created[TRAY_DIALOG_SETTINGS], 1);
  EXPECT_EQ(tray_dialogs[TRAY_DIALOG_SETTINGS].open, 1);
  EXPECT_TRUE(uitest::is_visible(settings));
  EXPECT_EQ(GetWindow(settings, GW_OWNER), owner_window) << "owned by the hidden plug-in window";

  // Open: brought to the foreground, no second dialog.
  SetForegroundWindow(owner_window);
  command(TRAY_COMMAND_SETTINGS);
  EXPECT_EQ(created[TRAY_DIALOG_SETTINGS], 1);
  EXPECT_EQ(window_of(TRAY_DIALOG_SETTINGS), settings);
  EXPECT_EQ(GetForegroundWindow(), settings);

  // Without the device the others do nothing.
  command(TRAY_COMMAND_EQUALIZER);
  command(TRAY_COMMAND_EAX_PANEL);
  double_click();
  command(TRAY_COMMAND_VIEW);
  EXPECT_EQ(created[TRAY_DIALOG_EQUALIZER], 0);
  EXPECT_EQ(created[TRAY_DIALOG_EAX_PANEL], 0);
  EXPECT_EQ(view_shown.load(), 0);
  EXPECT_FALSE(uitest::is_visible(view_window()));
}

TEST_F(TrayCommands, DoubleClicksCloseAndReopenTheEaxPanelAtItsSavedPosition) {
  set_device_ready(true);
  tray_dialogs[TRAY_DIALOG_EAX_PANEL].savedX = 37;
  tray_dialogs[TRAY_DIALOG_EAX_PANEL].savedY = 41;
  double_click();
  HWND panel = window_of(TRAY_DIALOG_EAX_PANEL);
  ASSERT_NE(panel, nullptr);
  EXPECT_TRUE(uitest::is_visible(panel));
  EXPECT_EQ(top_left(panel).x, 37);
  EXPECT_EQ(top_left(panel).y, 41);

  double_click();
  EXPECT_FALSE(IsWindow(panel)) << "the default item closes an open panel";
  EXPECT_EQ(tray_dialogs[TRAY_DIALOG_EAX_PANEL].open, 0);

  double_click();
  panel = window_of(TRAY_DIALOG_EAX_PANEL);
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(created[TRAY_DIALOG_EAX_PANEL], 2);
  EXPECT_EQ(top_left(panel).x, 37);
  EXPECT_EQ(top_left(panel).y, 41);
}

TEST_F(TrayCommands, ASavedPositionMovesWithoutResizingAndNoneKeepsTheTemplatesPlace) {
  set_device_ready(true);
  // Where and how large the template alone makes the window.
  HWND reference = CreateDialogParamA(self(), MAKEINTRESOURCEA(IDD_EQUALIZER), owner_window,
                                      dialog_proc<TRAY_DIALOG_EQUALIZER>, 0);
  ASSERT_NE(reference, nullptr);
  POINT template_place = top_left(reference);
  SIZE template_size = size_of(reference);
  DestroyWindow(reference);
  created[TRAY_DIALOG_EQUALIZER] = 0;

  command(TRAY_COMMAND_EQUALIZER);
  HWND eq = window_of(TRAY_DIALOG_EQUALIZER);
  ASSERT_NE(eq, nullptr);
  EXPECT_TRUE(uitest::is_visible(eq));
  EXPECT_EQ(top_left(eq).x, template_place.x);
  EXPECT_EQ(top_left(eq).y, template_place.y);
  // Open: comes forward, no second instance.
  command(TRAY_COMMAND_EQUALIZER);
  EXPECT_EQ(created[TRAY_DIALOG_EQUALIZER], 1);
  SendMessageA(eq, WM_CLOSE, 0, 0);
  ASSERT_EQ(tray_dialogs[TRAY_DIALOG_EQUALIZER].open, 0);

  // A negative x (a monitor left of the main one) is a position too.
  tray_dialogs[TRAY_DIALOG_EQUALIZER].savedX = -20;
  tray_dialogs[TRAY_DIALOG_EQUALIZER].savedY = 300;
  command(TRAY_COMMAND_EQUALIZER);
  eq = window_of(TRAY_DIALOG_EQUALIZER);
  ASSERT_NE(eq, nullptr);
  EXPECT_EQ(top_left(eq).x, -20);
  EXPECT_EQ(top_left(eq).y, 300);
  EXPECT_EQ(size_of(eq).cx, template_size.cx);
  EXPECT_EQ(size_of(eq).cy, template_size.cy);
}

TEST_F(TrayCommands, MenuChecksExactlyTheOpenWindowsAndTheShownView) {
  set_device_ready(true);
  command(TRAY_COMMAND_EQUALIZER);
  command(TRAY_COMMAND_SETTINGS);
  command(TRAY_COMMAND_EAX_PANEL);
  command(TRAY_COMMAND_VIEW);
  traytest::MenuSeen all = traytest::open_menu(notify_, TRAY_CALLBACK_MESSAGE, TRAY_ICON_ID);
  ASSERT_TRUE(all.found);
  for (UINT id : {94u, 95u, 96u, 97u}) EXPECT_TRUE(all.checked(id)) << id;

  command(TRAY_COMMAND_EAX_PANEL);  // closes the panel
  SendMessageA(window_of(TRAY_DIALOG_EQUALIZER), WM_CLOSE, 0, 0);
  traytest::MenuSeen some = traytest::open_menu(notify_, TRAY_CALLBACK_MESSAGE, TRAY_ICON_ID);
  ASSERT_TRUE(some.found);
  EXPECT_FALSE(some.checked(94));
  EXPECT_TRUE(some.checked(95));
  EXPECT_FALSE(some.checked(96));
  EXPECT_TRUE(some.checked(97));
}

TEST_F(TrayCommands, ADialogThatFailsToOpenStaysClosedAndIsTriedAgain) {
  tray_dialogs[TRAY_DIALOG_SETTINGS].proc = failing_proc;
  command(TRAY_COMMAND_SETTINGS);
  EXPECT_EQ(failed_openings, 1);
  EXPECT_EQ(tray_dialogs[TRAY_DIALOG_SETTINGS].open, 0);
  EXPECT_EQ(window_of(TRAY_DIALOG_SETTINGS), nullptr);
  command(TRAY_COMMAND_SETTINGS);
  EXPECT_EQ(failed_openings, 2);
}

TEST_F(TrayCommands, ADialogWithoutItsProcedureIsNotOpened) {
  set_device_ready(true);
  tray_dialogs[TRAY_DIALOG_EAX_PANEL].proc = nullptr;
  double_click();
  command(TRAY_COMMAND_EAX_PANEL);
  EXPECT_EQ(window_of(TRAY_DIALOG_EAX_PANEL), nullptr);
  EXPECT_EQ(tray_dialogs[TRAY_DIALOG_EAX_PANEL].open, 0);
  EXPECT_EQ(uitest::find_window("#32770", "-"), nullptr);
}

TEST_F(TrayCommands, ViewShowsAndHidesOnlyWithTheDevice) {
  HWND view = view_window();
  ASSERT_NE(view, nullptr);
  command(TRAY_COMMAND_VIEW);
  EXPECT_FALSE(uitest::is_visible(view));
  set_device_ready(true);
  command(TRAY_COMMAND_VIEW);
  EXPECT_TRUE(uitest::is_visible(view));
  EXPECT_EQ(view_shown.load(), 1);
  command(TRAY_COMMAND_VIEW);
  EXPECT_FALSE(uitest::is_visible(view));
  EXPECT_EQ(view_shown.load(), 0);
}

// ---------------------------------------------------------------------------
// The About dialog's result.

// Runs the modal About dialog on this thread while `drive` works it from
// another one; returns DialogBoxParamA's result.
INT_PTR run_about(const std::function<void(HWND)> &drive) {
  std::atomic<bool> returned{false};
  std::thread helper([&] {
    for (int i = 0; i < 500 && !returned.load(); ++i) {
      HWND dialog = uitest::find_window("#32770", "About Sonorium plugin");
      if (dialog && uitest::is_visible(dialog)) {
        drive(dialog);
        return;
      }
      Sleep(10);
    }
  });
  INT_PTR result = DialogBoxParamA(self(), MAKEINTRESOURCEA(IDD_ABOUT), nullptr, about_dialog_proc, 0);
  returned.store(true);
  helper.join();
  return result;
}

TEST(AboutDialog, CloseAndTheCloseBoxBothEndItWithZero) {
  bool survived_enter_and_escape = false;
  INT_PTR by_button = run_about([&](HWND dialog) {
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    Sleep(50);
    survived_enter_and_escape = IsWindow(dialog) != 0;
    uitest::click(uitest::find_child(dialog, IDC_ABOUT_CLOSE));
  });
  EXPECT_EQ(by_button, 0);
  EXPECT_TRUE(survived_enter_and_escape);
  INT_PTR by_close_box = run_about([](HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); });
  EXPECT_EQ(by_close_box, 0);
}

// ---------------------------------------------------------------------------
// The About page and its link.

struct ShellCall {
  HWND owner;
  std::string verb, file;
  bool noParameters, noDirectory;
  INT show;
};
std::vector<ShellCall> shell_calls;

HINSTANCE WINAPI caught_shell_execute(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                                      INT show) {
  shell_calls.push_back({owner, verb ? verb : "", file ? file : "", parameters == nullptr, directory == nullptr, show});
  return reinterpret_cast<HINSTANCE>(42);
}

// Points this program's import of dll!name at `replacement`; the previous
// entry, or null when there is no such import.
void *replace_import(const char *dll, const char *name, void *replacement) {
  auto *base = reinterpret_cast<BYTE *>(self());
  auto *dos = reinterpret_cast<IMAGE_DOS_HEADER *>(base);
  auto *nt = reinterpret_cast<IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY &dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto *d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR *>(base + dir.VirtualAddress); d->Name; ++d) {
    if (lstrcmpiA(reinterpret_cast<char *>(base + d->Name), dll) != 0) continue;
    auto *names = reinterpret_cast<IMAGE_THUNK_DATA *>(base + d->OriginalFirstThunk);
    auto *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + d->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      auto *by_name = reinterpret_cast<IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<char *>(by_name->Name), name) != 0) continue;
      DWORD old = 0;
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old);
      void *previous = reinterpret_cast<void *>(slots->u1.Function);
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
      return previous;
    }
  }
  return nullptr;
}

class AboutPage : public ::testing::Test {
 protected:
  void SetUp() override {
    shell_calls.clear();
    previous_ = replace_import("shell32.dll", "ShellExecuteA", reinterpret_cast<void *>(caught_shell_execute));
    ASSERT_NE(previous_, nullptr) << "no ShellExecuteA import to catch";
    // A frame of the EAX panel's page size, 445 x 270 dialog units.
    frame_ = CreateWindowExA(0, "STATIC", "About page", WS_POPUP | WS_CAPTION | WS_VISIBLE, 40, 40, 800, 600,
                             nullptr, nullptr, self(), nullptr);
    page_ = CreateDialogParamA(self(), MAKEINTRESOURCEA(IDD_EAX_ABOUT), frame_, about_page_proc, 0);
    ASSERT_NE(page_, nullptr);
    RECT units = {0, 0, 445, 270};
    MapDialogRect(page_, &units);
    RECT frame = units;
    AdjustWindowRectEx(&frame, WS_POPUP | WS_CAPTION, FALSE, 0);
    SetWindowPos(frame_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    SetWindowPos(page_, nullptr, 0, 0, units.right, units.bottom, SWP_NOZORDER | SWP_SHOWWINDOW);
    uitest::pump(20);
  }
  void TearDown() override {
    if (frame_) DestroyWindow(frame_);
    if (previous_) replace_import("shell32.dll", "ShellExecuteA", previous_);
  }
  HWND link() { return uitest::find_child(page_, IDC_ABOUT_PAGE_LINK); }

  void *previous_ = nullptr;
  HWND frame_ = nullptr;
  HWND page_ = nullptr;
};

TEST_F(AboutPage, ShowsTheCreditsTheInvitationAndTheAddressOnTheLink) {
  char credits[ABOUT_TEXT_SIZE];
  about_page_credits(credits);
  EXPECT_EQ(uitest::text_of(uitest::find_child(page_, IDC_ABOUT_PAGE_CREDITS)), credits);
  EXPECT_EQ(uitest::text_of(uitest::find_child(page_, IDC_ABOUT_PAGE_INVITATION)), about_second_text);
  EXPECT_EQ(uitest::text_of(link()), about_page_address);
  EXPECT_FALSE(uitest::save_png(frame_, "about_page").empty());
}

TEST_F(AboutPage, TheLinkOpensTheTargetEveryTimeItIsPressed) {
  ASSERT_NE(link(), nullptr);
  uitest::click(link());
  uitest::click(link());
  ASSERT_EQ(shell_calls.size(), 2u);
  for (const ShellCall &call : shell_calls) {
    EXPECT_EQ(call.owner, page_);
    EXPECT_EQ(call.verb, "open");
    EXPECT_EQ(call.file.size(), 46u) << call.file;
    EXPECT_EQ(call.file.rfind(about_page_address, 0), 0u) << call.file;
    EXPECT_TRUE(call.noParameters);
    EXPECT_TRUE(call.noDirectory);
    EXPECT_EQ(call.show, SW_SHOWNORMAL);
  }
  EXPECT_EQ(shell_calls[0].file, shell_calls[1].file) << "rebuilt the same at every press";
}

TEST_F(AboutPage, AnyNotificationOfTheLinkOpensItButNothingElseDoes) {
  ASSERT_NE(link(), nullptr);
  LPARAM from_link = reinterpret_cast<LPARAM>(link());
  SendMessageA(page_, WM_COMMAND, MAKEWPARAM(IDC_ABOUT_PAGE_LINK, BN_DOUBLECLICKED), from_link);
  SendMessageA(page_, WM_COMMAND, MAKEWPARAM(IDC_ABOUT_PAGE_LINK, BN_SETFOCUS), from_link);
  EXPECT_EQ(shell_calls.size(), 2u);
  // The link's id from a menu or accelerator (no control), or another
  // control, is not the link.
  SendMessageA(page_, WM_COMMAND, IDC_ABOUT_PAGE_LINK, 0);
  SendMessageA(page_, WM_COMMAND, MAKEWPARAM(IDC_ABOUT_PAGE_CREDITS, 0),
               reinterpret_cast<LPARAM>(uitest::find_child(page_, IDC_ABOUT_PAGE_CREDITS)));
  EXPECT_EQ(shell_calls.size(), 2u);
}

}  // namespace
