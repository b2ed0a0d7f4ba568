// Saving .env presets on a disk that refuses the write: an existing preset
// keeps its bytes and no partial file is left to be listed.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "device/eax_panel.h"
#include "device/fake_acoustic_device_test_fixture.h"
#include "device/presets.h"
#include "device/properties.h"
#include "support/file_size_limit_test_fixture.h"
#include "ui/poses.h"

namespace {

class EnvPresetsOnAFullDisk : public ::testing::Test {
 protected:
  fake::Device dev;
  std::string plugins;
  void SetUp() override {
    plugins = (std::filesystem::temp_directory_path() / ("sonorium-envfull-" + std::to_string(getpid()))).string();
    std::filesystem::create_directories(plugins);
    ASSERT_TRUE(settings_folder_set(plugins.c_str()));
    ASSERT_TRUE(dir_create(settings_folder));
    poses_reset();
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(plugins, ec);
    settings_folder[0] = 0;
    poses_reset();
  }
  std::vector<std::string> files() const {
    std::vector<std::string> names = file_names_in(settings_folder);
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(EnvPresetsOnAFullDisk, ReplacingAPresetFromThePanelKeepsTheOldOneWhenTheWriteFails) {
  dev.room.load(3);
  char path[SETTINGS_PATH_MAX];
  ASSERT_TRUE(preset_file_path("Hall", ".env", path));
  ASSERT_TRUE(panel_preset_save(path));
  const std::string before = file_bytes_of(path);
  ASSERT_EQ(before.size(), 572u);

  dev.room.load(12);
  for (rlim_t limit : {rlim_t(0), rlim_t(300)}) {
    EXPECT_EQ(with_file_size_limit(limit, [&] { return panel_preset_save(path) ? 0 : 1; }), 1) << limit;
    EXPECT_EQ(file_bytes_of(path), before) << limit;
    EXPECT_EQ(files(), std::vector<std::string>{"Hall.env"}) << limit;
  }
  ASSERT_TRUE(panel_preset_save(path));
  EXPECT_NE(file_bytes_of(path), before);
}

TEST_F(EnvPresetsOnAFullDisk, ANewPresetThatCannotBeWrittenLeavesNoFile) {
  EXPECT_EQ(with_file_size_limit(300, [] { return preset_save("Cave", nullptr) ? 0 : 1; }), 1);
  EXPECT_TRUE(files().empty());
  EXPECT_TRUE(preset_save("Cave", nullptr));
  EXPECT_EQ(files(), std::vector<std::string>{"Cave.env"});
}

}  // namespace
