// The Presets menu: its names and items, command numbers, and the free
// name a save picks, for both kinds of preset.
#include "ui/preset_menu.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/os.h"
#include "support/file.h"

namespace {

class PresetMenuTest : public ::testing::Test {
 protected:
  std::string plugins;
  std::string folder;
  PresetMenu menu{};
  void SetUp() override {
    static int serial = 0;
    std::filesystem::path base = std::filesystem::temp_directory_path();
    for (;;) {
      std::filesystem::path p =
          base / ("sonorium-menu-" + std::to_string(os_tick_count()) + "-" + std::to_string(++serial));
      std::error_code ec;
      if (std::filesystem::create_directory(p, ec)) {
        plugins = p.string();
        break;
      }
    }
    ASSERT_TRUE(settings_folder_set(plugins.c_str()));
    folder = settings_folder;
    ASSERT_TRUE(dir_create(folder.c_str()));
  }
  void TearDown() override {
    preset_menu_release(&menu);
    std::error_code ec;
    std::filesystem::remove_all(plugins, ec);
    settings_folder[0] = 0;
  }
  void touch(const std::string &file) {
    HANDLE h = file_create((folder + file).c_str(), CREATE_ALWAYS, 0);
    ASSERT_NE(h, FILE_FAILED);
    file_write(h, "eq10", 4);
    file_close(h);
  }
  bool exists(const std::string &file) { return std::filesystem::exists(folder + file); }
};

TEST_F(PresetMenuTest, AnEmptyFolderGivesOneGreyedEmptyItemInBothSubMenus) {
  touch("notes.txt");
  EXPECT_EQ(preset_menu_build(&menu, ".eq"), 0);
  ASSERT_EQ(preset_menu_item_count(&menu), 1);
  for (int base : {int(PRESET_COMMAND_LOAD), int(PRESET_COMMAND_DELETE)}) {
    PresetMenuItem item = preset_menu_item(&menu, base, 0);
    EXPECT_STREQ(item.text, "(empty)");
    EXPECT_FALSE(item.enabled);
    EXPECT_EQ(item.command, 0);
  }
  // The greyed item's command and a dismissed menu do nothing; Save still works.
  EXPECT_EQ(preset_menu_decode(&menu, 0).action, PRESET_ACTION_NONE);
  EXPECT_EQ(preset_menu_decode(&menu, PRESET_COMMAND_LOAD).action, PRESET_ACTION_NONE);
  EXPECT_EQ(preset_menu_decode(&menu, PRESET_COMMAND_SAVE).action, PRESET_ACTION_SAVE);
}

TEST_F(PresetMenuTest, ListsOnlyItsOwnExtensionSortedWithoutRegardToCase) {
  touch("gamma.eq");
  touch("beta.eq");
  touch("Alpha.eq");
  touch("_autosave.eq");
  touch("hall.env");
  touch("x.eqx");
  ASSERT_EQ(preset_menu_build(&menu, ".eq"), 4);
  const char *order[] = {"_autosave", "Alpha", "beta", "gamma"};
  for (int i = 0; i < 4; ++i) {
    PresetMenuItem load = preset_menu_item(&menu, PRESET_COMMAND_LOAD, i);
    PresetMenuItem del = preset_menu_item(&menu, PRESET_COMMAND_DELETE, i);
    EXPECT_STREQ(load.text, order[i]);
    EXPECT_STREQ(del.text, order[i]);
    EXPECT_EQ(load.command, 0x2000 + i);
    EXPECT_EQ(del.command, 0x4000 + i);
    EXPECT_TRUE(load.enabled);
  }
  PresetChoice c = preset_menu_decode(&menu, 0x2002);
  EXPECT_EQ(c.action, PRESET_ACTION_LOAD);
  EXPECT_STREQ(c.name, "beta");
  c = preset_menu_decode(&menu, 0x4003);
  EXPECT_EQ(c.action, PRESET_ACTION_DELETE);
  EXPECT_STREQ(c.name, "gamma");
  EXPECT_EQ(preset_menu_decode(&menu, 0x2004).action, PRESET_ACTION_NONE);
  EXPECT_EQ(preset_menu_decode(&menu, 0x4004).action, PRESET_ACTION_NONE);

  preset_menu_release(&menu);
  ASSERT_EQ(preset_menu_build(&menu, ".env"), 1);
  EXPECT_STREQ(preset_menu_item(&menu, PRESET_COMMAND_LOAD, 0).text, "hall");
}

TEST_F(PresetMenuTest, MorePresetsThanCommandNumbersNeverTurnALoadIntoADelete) {
  const int total = PRESET_MENU_MAX_NAMES + 5;
  for (int i = 0; i < total; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "p%05d.eq", i);
    touch(name);
  }
  ASSERT_EQ(preset_menu_build(&menu, ".eq"), PRESET_MENU_MAX_NAMES);
  EXPECT_EQ(menu.list.count, total);
  EXPECT_EQ(preset_menu_item_count(&menu), PRESET_MENU_MAX_NAMES);
  PresetMenuItem last = preset_menu_item(&menu, PRESET_COMMAND_LOAD, PRESET_MENU_MAX_NAMES - 1);
  EXPECT_LT(last.command, PRESET_COMMAND_DELETE);
  EXPECT_STREQ(last.text, "p08191");
  PresetMenuItem last_delete = preset_menu_item(&menu, PRESET_COMMAND_DELETE, PRESET_MENU_MAX_NAMES - 1);
  EXPECT_LT(last_delete.command, PRESET_COMMAND_SAVE);
  // Every Load command decodes as a Load of its own name.
  for (int i = 0; i < PRESET_MENU_MAX_NAMES; i += 1023) {
    PresetChoice c = preset_menu_decode(&menu, PRESET_COMMAND_LOAD + i);
    EXPECT_EQ(c.action, PRESET_ACTION_LOAD);
    EXPECT_STREQ(c.name, menu.list.names[i]);
  }
  EXPECT_EQ(preset_menu_decode(&menu, PRESET_COMMAND_LOAD + PRESET_MENU_MAX_NAMES).action, PRESET_ACTION_DELETE);
  EXPECT_STREQ(preset_menu_decode(&menu, PRESET_COMMAND_LOAD + PRESET_MENU_MAX_NAMES).name, menu.list.names[0]);
}

TEST_F(PresetMenuTest, SaveTakesTheFirstFreeSuffixAndNeverAnExistingFile) {
  touch("jazz.eq");
  touch("jazz_1.eq");
  touch("jazz_3.eq");
  touch("rock.env");
  char path[SETTINGS_PATH_MAX];
  char used[PRESET_NAME_MAX + 16];
  ASSERT_TRUE(preset_free_path("jazz", ".eq", path, used));
  EXPECT_EQ(std::string(path), folder + "jazz_2.eq");
  EXPECT_STREQ(used, "jazz_2");
  // The other kind's files do not count.
  ASSERT_TRUE(preset_free_path("rock", ".eq", path, used));
  EXPECT_EQ(std::string(path), folder + "rock.eq");
  ASSERT_TRUE(preset_free_path("rock", ".env", path, used));
  EXPECT_STREQ(used, "rock_1");
  // A name that cannot be a file name gives no path at all.
  EXPECT_FALSE(preset_free_path("a/b", ".eq", path, used));
  EXPECT_FALSE(preset_free_path("", ".eq", path, used));
  EXPECT_TRUE(preset_file_path("jazz", ".eq", path));
  EXPECT_EQ(std::string(path), folder + "jazz.eq");
  EXPECT_FALSE(preset_file_path("..", ".eq", path));
}

}  // namespace
