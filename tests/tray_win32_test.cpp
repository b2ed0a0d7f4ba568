// The real out_sonorium.dll on the software card: the enabled plug-in's
// notify window, tray menu and view thread, from Init to Quit.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/tray_menu_test_fixture.h"
#include "tests/ui_test_fixture.h"

namespace {

const char kNotifyClass[] = "Sonorium notifywindow";
const char kViewClass[] = "DS3D positioning";
const UINT kTrayCallback = WM_USER + 5;
const WPARAM kTrayIconId = 32513;

HWND notify_window() { return uitest::find_window(kNotifyClass, kNotifyClass); }
HWND view_window() { return uitest::find_window(kViewClass, kViewClass); }

struct OwnedQuery {
  HWND owner;
  HWND found;
};

BOOL CALLBACK find_owned(HWND hwnd, LPARAM context) {
  auto *q = reinterpret_cast<OwnedQuery *>(context);
  if (GetWindow(hwnd, GW_OWNER) != q->owner || uitest::class_of(hwnd) != "#32770") return TRUE;
  q->found = hwnd;
  return FALSE;
}

// A dialog of this thread owned by `owner`, or null.
HWND owned_dialog(HWND owner) {
  OwnedQuery q = {owner, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), find_owned, reinterpret_cast<LPARAM>(&q));
  return q.found;
}

class TrayOnCard : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(uitest::plugin_load(plugin_));
    ASSERT_GE(plugin_.module->Open(44100, 2, 16, -1, -1), 0) << "the plug-in should be enabled on the card";
    plugin_.module->Close();
    notify_ = notify_window();
    view_ = view_window();
  }
  void TearDown() override { uitest::plugin_unload(plugin_); }

  void command(WPARAM id) { SendMessageA(notify_, WM_COMMAND, id, 0); }
  // The menu a right click on the icon shows, read while it is open.
  traytest::MenuSeen right_click() { return traytest::open_menu(notify_, kTrayCallback, kTrayIconId); }

  uitest::Plugin plugin_;
  HWND notify_ = nullptr;
  HWND view_ = nullptr;
};

TEST_F(TrayOnCard, InitMakesAHiddenNotifyWindowAndAHiddenViewOnItsOwnThread) {
  ASSERT_NE(notify_, nullptr) << "no notify window";
  EXPECT_FALSE(uitest::is_visible(notify_));
  EXPECT_EQ(GetWindowThreadProcessId(notify_, nullptr), GetCurrentThreadId()) << "the notify window is the host's";

  ASSERT_NE(view_, nullptr) << "no view window";
  EXPECT_FALSE(uitest::is_visible(view_)) << "the view starts hidden";
  EXPECT_NE(GetWindowThreadProcessId(view_, nullptr), GetCurrentThreadId()) << "the view has a thread of its own";
  EXPECT_EQ(uint32_t(uitest::style_of(view_)) & ~uint32_t(WS_VISIBLE), 0x06CE0000u);
  EXPECT_EQ(uitest::exstyle_of(view_) & ~LONG_PTR(WS_EX_WINDOWEDGE), 0);
  EXPECT_EQ(GetClassLongPtrA(view_, GCL_STYLE), 0x2B);
  EXPECT_EQ(GetWindow(view_, GW_OWNER), nullptr);
  RECT r;
  GetWindowRect(view_, &r);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.right - r.left, 400);
  EXPECT_EQ(r.bottom - r.top, 400);
}

TEST_F(TrayOnCard, MenuHoldsItsItemsWithEaxPanelAsDefaultAndNothingChecked) {
  ASSERT_NE(notify_, nullptr);
  traytest::MenuSeen menu = right_click();
  ASSERT_TRUE(menu.found) << "no popup menu appeared";
  ASSERT_EQ(menu.items.size(), 5u);
  struct {
    UINT id;
    const char *text;
  } expected[] = {{94, "E&qualizer"}, {0, ""}, {96, "&EAX panel"}, {97, "&DS3D positioning"}, {95, "&Settings"}};
  for (size_t i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(menu.items[i].separator, expected[i].id == 0);
    if (expected[i].id == 0) continue;
    EXPECT_EQ(menu.items[i].id, expected[i].id);
    EXPECT_EQ(menu.items[i].text, expected[i].text);
    EXPECT_FALSE(menu.items[i].checked) << "nothing is open and the view is hidden";
    EXPECT_EQ(menu.items[i].isDefault, expected[i].id == 96);
  }
  EXPECT_EQ(menu.defaultId, 96u);
}

TEST_F(TrayOnCard, ConfigOpensTheSettingsDialogAndTheMenuChecksTheOpenWindows) {
  ASSERT_NE(notify_, nullptr);
  HWND hidden = uitest::find_window("Sonorium plugin", "Sonorium plugin");
  // The host's Config sends the settings command to the notify window.
  plugin_.module->Config(nullptr);
  uitest::pump(50);
  HWND settings = owned_dialog(hidden);
  ASSERT_NE(settings, nullptr) << "Config opened no settings dialog";
  EXPECT_TRUE(uitest::is_visible(settings));
  traytest::MenuSeen one = right_click();
  ASSERT_TRUE(one.found);
  EXPECT_TRUE(one.checked(95));
  EXPECT_FALSE(one.checked(94));
  EXPECT_FALSE(one.checked(96));
  // A second Config makes no second dialog.
  plugin_.module->Config(nullptr);
  int dialogs = 0;
  for (HWND w : uitest::children(GetDesktopWindow()))
    if (GetWindow(w, GW_OWNER) == hidden && uitest::class_of(w) == "#32770") ++dialogs;
  EXPECT_EQ(dialogs, 1);

  command(94);
  command(96);
  command(97);
  traytest::MenuSeen all = right_click();
  ASSERT_TRUE(all.found);
  for (UINT id : {94u, 95u, 96u, 97u}) EXPECT_TRUE(all.checked(id)) << id;
  command(97);
}

TEST_F(TrayOnCard, OnlyTheIconsRightButtonUpOpensTheMenu) {
  ASSERT_NE(notify_, nullptr);
  // Another icon id, or another mouse notification: no menu, no modal loop
  // (open_menu would find none and the send returns at once).
  EXPECT_FALSE(traytest::open_menu(notify_, kTrayCallback, 1).found);
  EXPECT_FALSE(traytest::open_menu(notify_, kTrayCallback, kTrayIconId, WM_RBUTTONDOWN).found);
  EXPECT_FALSE(traytest::open_menu(notify_, kTrayCallback, kTrayIconId, WM_LBUTTONUP).found);
  EXPECT_FALSE(traytest::open_menu(notify_, kTrayCallback, kTrayIconId, WM_MOUSEMOVE).found);
  EXPECT_TRUE(right_click().found);
}

TEST_F(TrayOnCard, DoubleClickTogglesThePanelOrDoesNothingWithoutOne) {
  ASSERT_NE(notify_, nullptr);
  HWND hidden = uitest::find_window("Sonorium plugin", "Sonorium plugin");
  ASSERT_NE(hidden, nullptr);
  SendMessageA(notify_, kTrayCallback, kTrayIconId, WM_LBUTTONDBLCLK);
  uitest::pump(50);
  // The EAX panel is the one dialog the hidden plug-in window then owns;
  // a plug-in built without it opens nothing.
  HWND panel = owned_dialog(hidden);
  if (panel) {
    EXPECT_TRUE(uitest::is_visible(panel));
    SendMessageA(notify_, kTrayCallback, kTrayIconId, WM_LBUTTONDBLCLK);
    uitest::pump(50);
    EXPECT_FALSE(IsWindow(panel)) << "a second double click closes the panel";
  }
  EXPECT_EQ(owned_dialog(hidden), nullptr);
  EXPECT_FALSE(uitest::is_visible(view_));
  EXPECT_TRUE(IsWindow(notify_));
}

TEST_F(TrayOnCard, ViewTogglesWithTheCommandAndHidesWithItsCloseBox) {
  ASSERT_NE(view_, nullptr);
  command(97);
  EXPECT_TRUE(uitest::is_visible(view_));
  command(97);
  EXPECT_FALSE(uitest::is_visible(view_)) << "the command a second time hides the view again";

  command(97);
  ASSERT_TRUE(uitest::is_visible(view_));
  // The close box: the view thread hides the window and flips the flag...
  SendMessageA(view_, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_FALSE(uitest::is_visible(view_));
  EXPECT_TRUE(IsWindow(view_)) << "closing only hides the view";
  traytest::MenuSeen menu = right_click();
  ASSERT_TRUE(menu.found);
  EXPECT_FALSE(menu.checked(97));
  // ...so the next command shows it again.
  command(97);
  EXPECT_TRUE(uitest::is_visible(view_));
  command(97);
}

TEST_F(TrayOnCard, QuitEndsTheViewThreadAndRemovesTheWindowsBeforeReturning) {
  ASSERT_NE(view_, nullptr);
  command(97);  // a visible view is torn down as well
  DWORD view_thread_id = GetWindowThreadProcessId(view_, nullptr);
  HANDLE thread = OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, view_thread_id);
  ASSERT_NE(thread, nullptr);

  plugin_.module->Quit();
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0) << "the view thread still runs after Quit";
  DWORD code = 1;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 0u);
  CloseHandle(thread);
  EXPECT_FALSE(IsWindow(view_));
  EXPECT_EQ(view_window(), nullptr);
  EXPECT_FALSE(IsWindow(notify_));
  EXPECT_EQ(notify_window(), nullptr);
  // Destroying the notify window must not end the host's message loop.
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));

  // Init again in the same process makes everything anew.
  plugin_.module->Init();
  EXPECT_NE(notify_window(), nullptr);
  EXPECT_NE(view_window(), nullptr);
}

TEST_F(TrayOnCard, TheViewComesBackAtItsLastSizeAfterQuitAndInit) {
  ASSERT_NE(view_, nullptr);
  command(97);
  SetWindowPos(view_, nullptr, 0, 0, 520, 330, SWP_NOMOVE | SWP_NOZORDER);
  RECT before;
  GetWindowRect(view_, &before);
  ASSERT_EQ(before.right - before.left, 520);
  plugin_.module->Quit();
  plugin_.module->Init();
  HWND again = view_window();
  ASSERT_NE(again, nullptr);
  RECT after;
  GetWindowRect(again, &after);
  EXPECT_EQ(after.right - after.left, 520);
  EXPECT_EQ(after.bottom - after.top, 330);
  EXPECT_TRUE(uitest::is_visible(again)) << "the shown flag outlives the window";
  SendMessageA(notify_window(), WM_COMMAND, 97, 0);
}

}  // namespace
