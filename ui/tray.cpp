#include "ui/tray.h"

#include "resources/resource_ids.h"

const TrayMenuItem tray_menu_items[TRAY_MENU_ITEM_COUNT] = {
    {TRAY_COMMAND_EQUALIZER, "E&qualizer"},
    {0, nullptr},
    {TRAY_COMMAND_EAX_PANEL, "&EAX panel"},
    {TRAY_COMMAND_VIEW, "&DS3D positioning"},
    {TRAY_COMMAND_SETTINGS, "&Settings"},
};

const TrayDialogInfo tray_dialog_info[TRAY_DIALOG_COUNT] = {
    // The settings dialog also picks the device, so it opens without one.
    {TRAY_COMMAND_SETTINGS, IDD_SETTINGS, false, true, false},
    {TRAY_COMMAND_EAX_PANEL, IDD_EAX_PANEL, true, true, true},
    {TRAY_COMMAND_EQUALIZER, IDD_EQUALIZER, true, false, false},
};

TrayDialogSlot tray_dialogs[TRAY_DIALOG_COUNT] = {
    {0, nullptr, TRAY_NO_POSITION, 0, nullptr},
    {0, nullptr, TRAY_NO_POSITION, 0, nullptr},
    {0, nullptr, TRAY_NO_POSITION, 0, nullptr},
};

std::atomic<uint8_t> view_shown{0};
std::atomic<int32_t> view_width{VIEW_DEFAULT_WIDTH};
std::atomic<int32_t> view_height{VIEW_DEFAULT_HEIGHT};

uint8_t view_shown_flip(void) { return uint8_t(view_shown.fetch_xor(1) ^ 1); }

namespace {

int dialog_of_command(uintptr_t command) {
  for (int d = 0; d < TRAY_DIALOG_COUNT; ++d)
    if (command == uintptr_t(tray_dialog_info[d].command)) return d;
  return -1;
}

}  // namespace

TrayDecision tray_decide(uintptr_t command, bool deviceReady, const TrayDialogSlot dialogs[TRAY_DIALOG_COUNT]) {
  if (command == uintptr_t(TRAY_COMMAND_VIEW)) return {deviceReady ? TRAY_TOGGLE_VIEW : TRAY_IGNORE, -1};
  int d = dialog_of_command(command);
  if (d < 0) return {TRAY_IGNORE, -1};
  const TrayDialogInfo &info = tray_dialog_info[d];
  if (info.needsDevice && !deviceReady) return {TRAY_IGNORE, -1};
  // An open flag without a window cannot be brought forward or closed;
  // it only arises when a dialog failed to clear it, and a fresh dialog is
  // then the one thing that helps the user.
  if (dialogs[d].open != 0 && dialogs[d].window != nullptr)
    return {info.commandCloses ? TRAY_CLOSE : TRAY_BRING_FORWARD, d};
  if (!dialogs[d].proc) return {TRAY_IGNORE, -1};
  return {TRAY_OPEN, d};
}

bool tray_item_checked(int command, const TrayDialogSlot dialogs[TRAY_DIALOG_COUNT], uint8_t viewShown) {
  if (command == TRAY_COMMAND_VIEW) return viewShown != 0;
  int d = dialog_of_command(uintptr_t(command));
  return d >= 0 && dialogs[d].open != 0;
}

bool tray_saved_position(const TrayDialogSlot &slot, int32_t *x, int32_t *y) {
  if (slot.savedX == TRAY_NO_POSITION) return false;
  *x = slot.savedX;
  *y = slot.savedY;
  return true;
}

void tray_dialog_destroyed(int dialog) {
  if (dialog < 0 || dialog >= TRAY_DIALOG_COUNT) return;
  tray_dialogs[dialog].open = 0;
  tray_dialogs[dialog].window = nullptr;
}
