// The EAX panel's ".env" presets on the software card, through the shared
// preset menu code: the names listed, the free name a save picks, and a
// saved state loaded back.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "device/card_device_test_fixture.h"
#include "device/eax_panel.h"
#include "device/presets.h"
#include "device/properties.h"
#include "platform/os.h"
#include "resources/resource_ids.h"
#include "support/file.h"
#include "ui/preset_menu.h"

namespace {

// The value box text of a listener or channel row as a page refresh shows it.
std::string shown(int page_is_channel, int value_id) {
  const PanelRow *r = panel_row_by_slider(page_is_channel, value_id + 1);
  EXPECT_NE(r, nullptr) << value_id;
  if (!r) return "";
  char text[32];
  panel_row_read(r->row, 0, text);
  return text;
}

class PanelPresets : public card_device_fixture::DeviceOnCard {
 protected:
  std::string plugins;
  void SetUp() override {
    DeviceOnCard::SetUp();
    if (HasFatalFailure()) return;
    std::filesystem::path p = std::filesystem::temp_directory_path() /
                              ("sonorium-panel-" + std::to_string(os_tick_count()) + "-" + std::to_string(++serial_));
    std::filesystem::create_directories(p);
    plugins = p.string();
    ASSERT_TRUE(settings_folder_set(plugins.c_str()));
    ASSERT_TRUE(dir_create(settings_folder));
  }
  void TearDown() override {
    settings_folder[0] = 0;
    std::error_code ec;
    std::filesystem::remove_all(plugins, ec);
    DeviceOnCard::TearDown();
  }
  // A save as the "Save Preset" dialog does it: the free name, then the file.
  std::string save(const char *name) {
    char path[SETTINGS_PATH_MAX], used[PRESET_NAME_MAX + 16];
    if (!preset_free_path(name, ".env", path, used)) return "";
    if (!panel_preset_save(path)) return "";
    return used;
  }
  std::vector<std::string> menu_names() {
    PresetMenu menu;
    preset_menu_build(&menu, ".env");
    std::vector<std::string> names;
    for (int i = 0; i < preset_menu_item_count(&menu); ++i) {
      PresetMenuItem item = preset_menu_item(&menu, PRESET_COMMAND_LOAD, i);
      names.push_back(item.enabled ? item.text : std::string("-") + item.text);
    }
    preset_menu_release(&menu);
    return names;
  }
  static inline int serial_ = 0;
};

TEST_F(PanelPresets, AnEmptyFolderOffersOnlyADisabledEmptyItem) {
  EXPECT_EQ(menu_names(), std::vector<std::string>{"-(empty)"});
}

TEST_F(PanelPresets, SavingOneNameThriceNumbersTheCopies) {
  EXPECT_EQ(save("Hall"), "Hall");
  EXPECT_EQ(save("Hall"), "Hall_1");
  EXPECT_EQ(save("Hall"), "Hall_2");
  EXPECT_EQ(menu_names(), (std::vector<std::string>{"Hall", "Hall_1", "Hall_2"}));
}

TEST_F(PanelPresets, NamesAreSortedWithoutRegardToCase) {
  save("beta");
  save("Alpha");
  save("gamma");
  EXPECT_EQ(menu_names(), (std::vector<std::string>{"Alpha", "beta", "gamma"}));
}

TEST_F(PanelPresets, CaveWithRoomMinus500LoadsBackBoth) {
  uint32_t cave = 8;
  eax_listener_set(EAXL_ENVIRONMENT, &cave);
  char text[32];
  const PanelRow *room = panel_row_by_slider(0, IDC_LISTENER_ROOM_SLIDER);
  panel_row_moved(room->row, 9500, text);
  ASSERT_STREQ(text, "-500");
  ASSERT_EQ(save("Cave room"), "Cave room");

  uint32_t generic = 0;
  eax_listener_set(EAXL_ENVIRONMENT, &generic);
  ASSERT_EQ(shown(0, IDC_LISTENER_ROOM_VALUE), "-1000");

  char path[SETTINGS_PATH_MAX];
  ASSERT_TRUE(preset_file_path("Cave room", ".env", path));
  ASSERT_TRUE(panel_preset_load(path));
  uint32_t environment = 0;
  eax_listener_get(EAXL_ENVIRONMENT, &environment);
  EXPECT_STREQ(environment_name(int(environment)), "Cave");
  EXPECT_EQ(shown(0, IDC_LISTENER_ROOM_VALUE), "-500");
  // A file that is not a preset changes nothing.
  std::string junk = std::string(settings_folder) + "junk.env";
  std::FILE *f = std::fopen(junk.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("env4 but short", f);
  std::fclose(f);
  EXPECT_FALSE(panel_preset_load(junk.c_str()));
  EXPECT_EQ(shown(0, IDC_LISTENER_ROOM_VALUE), "-500");
}

}  // namespace
