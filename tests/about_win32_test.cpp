// The real out_sonorium.dll's About callback: the modal About dialog, its
// texts, and which actions end it.
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "tests/ui_test_fixture.h"

namespace {

const char kTitle[] = "About Sonorium plugin";

// Runs About on this thread (the host's) while `drive` works the dialog
// from a second thread once it is shown. Returns whether the dialog was
// found; `drive` gets its handle.
bool with_about(Out_Module *module, const std::function<void(HWND)> &drive) {
  std::atomic<bool> found{false};
  std::atomic<bool> returned{false};
  std::thread helper([&] {
    for (int i = 0; i < 500 && !returned.load(); ++i) {
      HWND dialog = uitest::find_window("#32770", kTitle);
      if (dialog && uitest::is_visible(dialog)) {
        found.store(true);
        drive(dialog);
        return;
      }
      Sleep(10);
    }
    // Not found by its title: close whatever dialog came up, so the test
    // fails instead of hanging.
    HWND other = uitest::find_window("#32770", nullptr);
    if (other && !returned.load()) PostMessageA(other, WM_CLOSE, 0, 0);
  });
  module->About(nullptr);
  returned.store(true);
  helper.join();
  return found.load();
}

// The dialog is still up a moment after `action`.
bool survives(HWND dialog, const std::function<void()> &action) {
  action();
  Sleep(100);
  return IsWindow(dialog) && uitest::is_visible(dialog);
}

class AboutOnCard : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(uitest::plugin_load(plugin_)); }
  void TearDown() override { uitest::plugin_unload(plugin_); }
  uitest::Plugin plugin_;
};

TEST_F(AboutOnCard, ShowsTheDescriptionAndTheCreditsAndCloseEndsIt) {
  std::string description, credits, close_text, screenshot;
  bool after_enter = false, after_escape = false, gone = false;
  bool found = with_about(plugin_.module, [&](HWND dialog) {
    description = uitest::text_of(uitest::find_child(dialog, 801));
    credits = uitest::text_of(uitest::find_child(dialog, 802));
    close_text = uitest::text_of(uitest::find_child(dialog, 800));
    screenshot = uitest::save_png(dialog, "about_dialog");
    // Enter and Escape arrive as IDOK and IDCANCEL: the dialog stays.
    after_enter = survives(dialog, [&] { SendMessageA(dialog, WM_COMMAND, IDOK, 0); });
    after_escape = survives(dialog, [&] { SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0); });
    uitest::click(uitest::find_child(dialog, 800));
    for (int i = 0; i < 200 && IsWindow(dialog); ++i) Sleep(10);
    gone = !IsWindow(dialog);
  });
  ASSERT_TRUE(found) << "no dialog titled \"" << kTitle << "\"";
  EXPECT_EQ(description, "Sonorium output plug-in v1.06");
  EXPECT_EQ(credits.substr(credits.size() - 34), "Assembled on: Sunday  17-05-2009\r\n") << credits;
  EXPECT_NE(credits.find("sonorium@example.org\r\n"), std::string::npos) << credits;
  EXPECT_EQ(close_text, "Close");
  EXPECT_TRUE(after_enter) << "IDOK closed the dialog";
  EXPECT_TRUE(after_escape) << "IDCANCEL closed the dialog";
  EXPECT_TRUE(gone) << "\"Close\" did not end the dialog";
  EXPECT_FALSE(screenshot.empty());
}

TEST_F(AboutOnCard, TheCaptionsCloseBoxEndsIt) {
  bool gone = false;
  bool found = with_about(plugin_.module, [&](HWND dialog) {
    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    for (int i = 0; i < 200 && IsWindow(dialog); ++i) Sleep(10);
    gone = !IsWindow(dialog);
  });
  ASSERT_TRUE(found);
  EXPECT_TRUE(gone);
}

TEST_F(AboutOnCard, OnlyTheCloseButtonsOwnCommandCloses) {
  // WM_COMMAND compares the whole wParam: 800 with a notification code in
  // the high word is not the click.
  bool stayed = false;
  bool found = with_about(plugin_.module, [&](HWND dialog) {
    stayed = survives(dialog, [&] { SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(800, 1), 0); });
    PostMessageA(dialog, WM_CLOSE, 0, 0);
  });
  ASSERT_TRUE(found);
  EXPECT_TRUE(stayed);
}

}  // namespace
