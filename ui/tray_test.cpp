// The tray menu's rules: its items, its check marks, what each command does
// in which state, the saved positions and the view's shared state.
#include "ui/tray.h"

#include <cstring>
#include <thread>

#include <gtest/gtest.h>

namespace {

intptr_t CALLBACK some_dialog_proc(HWND, UINT, WPARAM, LPARAM) { return 0; }

HWND fake_window(uintptr_t n) { return reinterpret_cast<HWND>(n); }

// Every dialog registered and closed.
struct Slots {
  TrayDialogSlot s[TRAY_DIALOG_COUNT];
  Slots() {
    for (TrayDialogSlot &slot : s) slot = {0, nullptr, TRAY_NO_POSITION, 0, some_dialog_proc};
  }
  void open(int d) {
    s[d].open = 1;
    s[d].window = fake_window(0x100 + d);
  }
};

TEST(TrayMenu, HoldsTheItemsInMenuOrder) {
  struct {
    int command;
    const char *text;
  } expected[] = {{94, "E&qualizer"}, {0, nullptr}, {96, "&EAX panel"}, {97, "&DS3D positioning"}, {95, "&Settings"}};
  ASSERT_EQ(TRAY_MENU_ITEM_COUNT, 5);
  for (int i = 0; i < TRAY_MENU_ITEM_COUNT; ++i) {
    EXPECT_EQ(tray_menu_items[i].command, expected[i].command) << "item " << i;
    if (expected[i].text)
      EXPECT_STREQ(tray_menu_items[i].text, expected[i].text) << "item " << i;
    else
      EXPECT_EQ(tray_menu_items[i].text, nullptr) << "the separator has no text";
  }
  EXPECT_EQ(TRAY_MENU_DEFAULT, 96) << "the EAX panel is the default item and the double click";
}

TEST(TrayChecks, FollowTheOpenFlagsAndTheShownFlag) {
  Slots slots;
  for (int command : {94, 95, 96, 97}) EXPECT_FALSE(tray_item_checked(command, slots.s, 0)) << command;

  slots.open(TRAY_DIALOG_EQUALIZER);
  EXPECT_TRUE(tray_item_checked(94, slots.s, 0));
  EXPECT_FALSE(tray_item_checked(95, slots.s, 0));
  EXPECT_FALSE(tray_item_checked(96, slots.s, 0));

  slots.open(TRAY_DIALOG_SETTINGS);
  EXPECT_TRUE(tray_item_checked(95, slots.s, 0));
  EXPECT_FALSE(tray_item_checked(96, slots.s, 0));

  slots.open(TRAY_DIALOG_EAX_PANEL);
  EXPECT_TRUE(tray_item_checked(96, slots.s, 0));

  // Any nonzero shown flag checks the view; nothing else changes it.
  EXPECT_FALSE(tray_item_checked(97, slots.s, 0));
  EXPECT_TRUE(tray_item_checked(97, slots.s, 1));
  EXPECT_TRUE(tray_item_checked(97, slots.s, 0x80));
  slots.s[TRAY_DIALOG_EAX_PANEL].open = 0;
  EXPECT_FALSE(tray_item_checked(96, slots.s, 1));
  // Ids of no item are never checked, whatever the state.
  for (int other : {0, 1, 93, 98, 32513}) EXPECT_FALSE(tray_item_checked(other, slots.s, 1)) << other;
}

TEST(TrayCommands, OpenBringForwardOrCloseByTheWindowsState) {
  Slots slots;
  struct Row {
    uintptr_t command;
    int dialog;
    TrayAction whenOpen;
  } rows[] = {
      {94, TRAY_DIALOG_EQUALIZER, TRAY_BRING_FORWARD},
      {95, TRAY_DIALOG_SETTINGS, TRAY_BRING_FORWARD},
      {96, TRAY_DIALOG_EAX_PANEL, TRAY_CLOSE},
  };
  for (const Row &row : rows) {
    TrayDecision closed = tray_decide(row.command, true, slots.s);
    EXPECT_EQ(closed.action, TRAY_OPEN) << row.command;
    EXPECT_EQ(closed.dialog, row.dialog) << row.command;
  }
  for (const Row &row : rows) slots.open(row.dialog);
  for (const Row &row : rows) {
    TrayDecision open = tray_decide(row.command, true, slots.s);
    EXPECT_EQ(open.action, row.whenOpen) << row.command;
    EXPECT_EQ(open.dialog, row.dialog) << row.command;
  }
  // The view always toggles.
  EXPECT_EQ(tray_decide(97, true, slots.s).action, TRAY_TOGGLE_VIEW);
  EXPECT_EQ(tray_decide(97, true, slots.s).dialog, -1);
}

TEST(TrayCommands, WithoutTheDeviceOnlySettingsWorks) {
  Slots slots;
  EXPECT_EQ(tray_decide(94, false, slots.s).action, TRAY_IGNORE);
  EXPECT_EQ(tray_decide(96, false, slots.s).action, TRAY_IGNORE);
  EXPECT_EQ(tray_decide(97, false, slots.s).action, TRAY_IGNORE);
  EXPECT_EQ(tray_decide(95, false, slots.s).action, TRAY_OPEN);
  // Also while the windows are open: an open EAX panel is not closed by the
  // menu without the device, the settings dialog still comes forward.
  for (int d = 0; d < TRAY_DIALOG_COUNT; ++d) slots.open(d);
  EXPECT_EQ(tray_decide(96, false, slots.s).action, TRAY_IGNORE);
  EXPECT_EQ(tray_decide(94, false, slots.s).action, TRAY_IGNORE);
  EXPECT_EQ(tray_decide(95, false, slots.s).action, TRAY_BRING_FORWARD);
}

TEST(TrayCommands, TheWholeWParamIsTheCommand) {
  Slots slots;
  // A control notification (high word set) or another id is no menu command.
  for (uintptr_t w : {uintptr_t(0), uintptr_t(1), uintptr_t(2), uintptr_t(93), uintptr_t(98),
                      uintptr_t(0x10000 | 96), uintptr_t(0x10000 | 95), uintptr_t(0x10000 | 97),
                      (uintptr_t(1) << (sizeof(uintptr_t) * 8 - 1)) | 94}) {
    EXPECT_EQ(tray_decide(w, true, slots.s).action, TRAY_IGNORE) << std::hex << w;
  }
}

TEST(TrayCommands, ADialogNotYetRegisteredCannotBeOpened) {
  Slots slots;
  slots.s[TRAY_DIALOG_EAX_PANEL].proc = nullptr;
  EXPECT_EQ(tray_decide(96, true, slots.s).action, TRAY_IGNORE);
  EXPECT_EQ(tray_decide(95, true, slots.s).action, TRAY_OPEN);
}

TEST(TrayCommands, AnOpenFlagWithoutAWindowOpensAnew) {
  // Bringing forward or closing a window that does not exist would leave
  // the user with no way to get the dialog back.
  Slots slots;
  slots.s[TRAY_DIALOG_SETTINGS].open = 1;
  slots.s[TRAY_DIALOG_EAX_PANEL].open = 1;
  EXPECT_EQ(tray_decide(95, true, slots.s).action, TRAY_OPEN);
  EXPECT_EQ(tray_decide(96, true, slots.s).action, TRAY_OPEN);
}

TEST(TraySavedPosition, IntMinInXMeansNone) {
  TrayDialogSlot slot = {0, nullptr, TRAY_NO_POSITION, 77, nullptr};
  int32_t x = 5, y = 6;
  EXPECT_FALSE(tray_saved_position(slot, &x, &y));
  EXPECT_EQ(x, 5) << "nothing written when there is no position";
  EXPECT_EQ(y, 6);
  EXPECT_EQ(TRAY_NO_POSITION, int32_t(0x80000000u));

  // Every other x is a position, negative ones (a monitor left of the main
  // one) and INT_MIN in y included.
  for (int32_t sx : {0, -1, -3000, INT_MIN + 1, INT_MAX}) {
    slot.savedX = sx;
    slot.savedY = INT_MIN;
    ASSERT_TRUE(tray_saved_position(slot, &x, &y)) << sx;
    EXPECT_EQ(x, sx);
    EXPECT_EQ(y, INT_MIN);
  }
}

TEST(TrayState, StartsClosedUnsetAndHidden) {
  // The process-wide state as the process starts.
  for (int d = 0; d < TRAY_DIALOG_COUNT; ++d) {
    EXPECT_EQ(tray_dialogs[d].open, 0) << d;
    EXPECT_EQ(tray_dialogs[d].window, nullptr) << d;
    EXPECT_EQ(tray_dialogs[d].savedX, TRAY_NO_POSITION) << d;
  }
  EXPECT_EQ(view_shown.load(), 0);
  EXPECT_EQ(view_width.load(), 400);
  EXPECT_EQ(view_height.load(), 400);
}

TEST(TrayState, ADestroyedDialogIsClosedAndForgotten) {
  tray_dialogs[TRAY_DIALOG_EQUALIZER].open = 1;
  tray_dialogs[TRAY_DIALOG_EQUALIZER].window = fake_window(0x200);
  tray_dialogs[TRAY_DIALOG_EQUALIZER].savedX = 10;
  tray_dialogs[TRAY_DIALOG_EQUALIZER].savedY = 20;
  tray_dialog_destroyed(TRAY_DIALOG_EQUALIZER);
  EXPECT_EQ(tray_dialogs[TRAY_DIALOG_EQUALIZER].open, 0);
  EXPECT_EQ(tray_dialogs[TRAY_DIALOG_EQUALIZER].window, nullptr);
  EXPECT_EQ(tray_dialogs[TRAY_DIALOG_EQUALIZER].savedX, 10) << "the saved position outlives the window";
  EXPECT_EQ(tray_dialogs[TRAY_DIALOG_EQUALIZER].savedY, 20);
  // Out-of-range indices touch nothing.
  tray_dialog_destroyed(-1);
  tray_dialog_destroyed(TRAY_DIALOG_COUNT);
  tray_dialogs[TRAY_DIALOG_EQUALIZER].savedX = TRAY_NO_POSITION;
}

TEST(TrayState, ShownFlagFlipsFromTwoThreadsWithoutLosingAFlip) {
  uint8_t before = view_shown.load();
  EXPECT_EQ(view_shown_flip(), uint8_t(before ^ 1));
  EXPECT_EQ(view_shown_flip(), before);
  // The menu on the host's thread and the close box on the view thread:
  // an even number of flips in all leaves the flag as it was.
  const int kFlips = 100001;
  std::thread other([] {
    for (int i = 0; i < kFlips; ++i) view_shown_flip();
  });
  for (int i = 0; i < kFlips; ++i) view_shown_flip();
  other.join();
  EXPECT_EQ(view_shown.load(), before);
}

}  // namespace
