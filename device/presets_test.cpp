#include "device/presets.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <cstring>
#include <string>
#include <vector>

#include "device/block.h"
#include "device/fake_acoustic_device_test_fixture.h"
#include "device/properties.h"
#include "platform/os.h"
#include "support/file.h"
#include "ui/poses.h"

namespace {

// A new empty folder under the system's temporary folder.
std::string fresh_folder(const char *kind) {
  static int serial = 0;
  std::filesystem::path base = std::filesystem::temp_directory_path();
  for (;;) {
    std::filesystem::path p = base / (std::string("sonorium-") + kind + "-" + std::to_string(os_tick_count()) + "-" +
                                      std::to_string(++serial));
    std::error_code ec;
    if (std::filesystem::create_directory(p, ec)) return p.string();
  }
}

std::string sep() { return std::string(1, path_separator()); }

// A fresh plug-in folder per test, with its settings folder made.
class Presets : public ::testing::Test {
 protected:
  fake::Device dev;
  std::string plugins;
  std::string folder;
  void SetUp() override {
    plugins = fresh_folder("presets");
    ASSERT_TRUE(settings_folder_set(plugins.c_str()));
    folder = settings_folder;
    ASSERT_TRUE(dir_create(folder.c_str()));
    poses_reset();
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(plugins, ec);
    settings_folder[0] = 0;
    poses_reset();
  }
  std::string path(const std::string &file) const { return folder + file; }
  void write_file(const std::string &file, const void *bytes, size_t n) const {
    HANDLE h = file_create(path(file).c_str(), CREATE_ALWAYS, 0);
    ASSERT_NE(h, FILE_FAILED);
    ASSERT_EQ(file_write(h, bytes, n), long(n));
    file_close(h);
  }
  long file_size(const std::string &full) const {
    HANDLE h = file_open_read(full.c_str(), OPEN_EXISTING, 0);
    if (h == FILE_FAILED) return -1;
    char buf[2048];
    long n = file_read(h, buf, sizeof buf);
    file_close(h);
    return n;
  }
  std::vector<std::string> listed() const {
    PresetList list;
    preset_list_build(&list);
    std::vector<std::string> names(list.names, list.names + list.count);
    preset_list_release(&list);
    return names;
  }
};

TEST(SettingsFolder, GetsOneSeparatorBeforeAndOneAfter) {
  ASSERT_TRUE(settings_folder_set(("plugins" + sep()).c_str()));
  EXPECT_EQ(std::string(settings_folder), "plugins" + sep() + "SONORIUM" + sep());
  ASSERT_TRUE(settings_folder_set("plugins"));
  EXPECT_EQ(std::string(settings_folder), "plugins" + sep() + "SONORIUM" + sep());
  EXPECT_FALSE(settings_folder_set(nullptr));
  EXPECT_FALSE(settings_folder_set(""));
  EXPECT_EQ(settings_folder[0], 0);
  std::string huge(SETTINGS_PATH_MAX, 'x');
  EXPECT_FALSE(settings_folder_set(huge.c_str()));
}

TEST(PresetNames, AnythingThatLeavesTheFolderOrNamesADeviceIsRefused) {
  for (const char *good : {"Hall", "my room 2", "a..b", "_autosave", ".hidden", "Console", "COM0", "LPT"})
    EXPECT_TRUE(preset_name_valid(good)) << good;
  for (const char *bad : {"", ".", "..", " . ", "../Hall", "..\\Hall", "sub/x", "c:x", "a*b", "a?b", "a\"b",
                          "a<b", "a>b", "a|b", "CON", "con", "Nul", "PRN", "aux.txt", "COM1", "lpt9", "CON .x",
                          "tab\there"})
    EXPECT_FALSE(preset_name_valid(bad)) << bad;
  EXPECT_TRUE(preset_name_valid(std::string(260, 'n').c_str()));
  EXPECT_FALSE(preset_name_valid(std::string(261, 'n').c_str()));
}

TEST_F(Presets, SavingANameTwiceNeverOverwrites) {
  char used[PRESET_NAME_MAX + 16];
  ASSERT_TRUE(preset_save("Hall", used));
  EXPECT_STREQ(used, "Hall");
  ASSERT_TRUE(preset_save("Hall", used));
  EXPECT_STREQ(used, "Hall_1");
  ASSERT_TRUE(preset_save("Hall", used));
  EXPECT_STREQ(used, "Hall_2");
  EXPECT_EQ(file_size(path("Hall.env")), 572);
  EXPECT_EQ(file_size(path("Hall_1.env")), 572);
  EXPECT_EQ(file_size(path("Hall_2.env")), 572);
}

TEST_F(Presets, ADirectoryNamedLikeAPresetIsSkippedAndNotListed) {
  ASSERT_TRUE(dir_create(path("Hall.env").c_str()));
  char used[PRESET_NAME_MAX + 16];
  ASSERT_TRUE(preset_save("Hall", used));
  EXPECT_STREQ(used, "Hall_1");
  EXPECT_EQ(listed(), std::vector<std::string>{"Hall_1"});
  EXPECT_FALSE(preset_load("Hall"));
  EXPECT_FALSE(preset_delete("Hall"));
  EXPECT_TRUE(dir_exists(path("Hall.env").c_str()));
}

TEST_F(Presets, ListedSortedWithoutRegardToCaseAutosaveIncluded) {
  for (const char *n : {"beta", "gamma", "Alpha", "_autosave"}) ASSERT_TRUE(preset_save(n, nullptr));
  write_file("notes.txt", "x", 1);
  EXPECT_EQ(listed(), (std::vector<std::string>{"_autosave", "Alpha", "beta", "gamma"}));
}

TEST_F(Presets, AnEmptyOrMissingFolderListsNothing) {
  EXPECT_TRUE(listed().empty());
  settings_folder[0] = 0;
  EXPECT_TRUE(listed().empty());
}

TEST_F(Presets, DeleteRemovesOnlyTheNamedFile) {
  ASSERT_TRUE(preset_save("Hall", nullptr));
  ASSERT_TRUE(preset_save("Hallway", nullptr));
  ASSERT_TRUE(preset_save("hall2", nullptr));
  EXPECT_TRUE(preset_delete("Hall"));
  EXPECT_EQ(listed(), (std::vector<std::string>{"hall2", "Hallway"}));
  EXPECT_FALSE(preset_delete("Hall"));
}

TEST_F(Presets, BadNamesWriteAndDeleteNothingElsewhere) {
  // A file beside the settings folder that a traversing name would reach.
  std::string outside = plugins + sep() + "victim.env";
  HANDLE h = file_create(outside.c_str(), CREATE_ALWAYS, 0);
  ASSERT_NE(h, FILE_FAILED);
  file_write(h, "keep", 4);
  file_close(h);
  std::string up = std::string("..") + sep() + "victim";
  EXPECT_FALSE(preset_save(up.c_str(), nullptr));
  EXPECT_FALSE(preset_delete(up.c_str()));
  EXPECT_FALSE(preset_load(up.c_str()));
  EXPECT_FALSE(preset_save("NUL", nullptr));
  EXPECT_FALSE(preset_save("", nullptr));
  EXPECT_EQ(file_size(outside), 4);
  EXPECT_TRUE(listed().empty());
}

TEST_F(Presets, LoadAppliesTheStoredStateAndRebuildsTheCones) {
  dev.room.load(8);
  dev.room.puti(EAXL_ROOM, -500);
  cone_records[2][CONE_OUTSIDE].angle = 150;
  ASSERT_TRUE(preset_save("Cave", nullptr));
  dev.room.load(0);
  cone_records[2][CONE_OUTSIDE].angle = 80;
  rebuild_cones();
  ASSERT_TRUE(preset_load("Cave"));
  EXPECT_EQ(dev.room.value[EAXL_ENVIRONMENT], 8u);
  EXPECT_EQ(dev.room.geti(EAXL_ROOM), -500);
  EXPECT_EQ(cone_records[2][CONE_OUTSIDE].angle, 150.0f);
  EXPECT_EQ(dev.buffers3d[2].outside, 150u);
  // The outside cone of L2 is wide again: its rim lies at 75 degrees.
  const ConeVertex &rim = cone_models[2][CONE_OUTSIDE].vertices[1];
  EXPECT_NEAR(rim.position[2], 0.3f * std::cos(75.0 * 3.14159265 / 180.0), 1e-5);
}

TEST_F(Presets, DamagedFilesChangeNothing) {
  dev.room.puti(EAXL_ROOM, -1234);
  block_capture();
  PropertyBlock good = property_block;
  good.room = -3000;
  PropertyBlock foreign = good;
  std::memcpy(foreign.magic, "env3", 4);
  write_file("short.env", &good, 571);
  write_file("empty.env", &good, 0);
  write_file("foreign.env", &foreign, sizeof foreign);
  unsigned char longer[600] = {0};
  std::memcpy(longer, &good, sizeof good);
  write_file("long.env", longer, sizeof longer);
  for (const char *n : {"short", "empty", "foreign", "long", "missing"}) {
    EXPECT_FALSE(preset_load(n)) << n;
    EXPECT_EQ(dev.room.geti(EAXL_ROOM), -1234) << n;
  }
  EXPECT_EQ(file_size(path("short.env")), 571);
  EXPECT_EQ(file_size(path("foreign.env")), 572);
}

TEST_F(Presets, AnUnwritableFolderWritesNothing) {
  settings_folder_set((plugins + sep() + "missing").c_str());
  EXPECT_FALSE(preset_save("Hall", nullptr));
}

TEST(PresetQuestion, NamesThePreset) {
  char text[400];
  preset_delete_question("Hall", text);
  EXPECT_STREQ(text, "Are you sure you want to delete preset \"Hall\" ?");
}

}  // namespace
