// Quit on a disk that refuses the writes: the stored state of the last
// good save must still be there at the next start.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "device/fake_acoustic_device_test_fixture.h"
#include "device/presets.h"
#include "device/properties.h"
#include "dsp/eq_design.h"
#include "engine/autosave.h"
#include "platform/os.h"
#include "support/file.h"
#include "support/file_size_limit_test_fixture.h"
#include "ui/poses.h"

namespace {

const char *const kFiles[] = {"_autosave.env", "_autosave.eq", "_autosave.ds"};

class AutosaveOnAFullDisk : public ::testing::Test {
 protected:
  std::string plugins, folder;
  EqSettings saved_eq = eq_settings;
  void SetUp() override {
    plugins = (std::filesystem::temp_directory_path() /
               ("sonorium-fulldisk-" + std::to_string(getpid()) + "-" + std::to_string(os_tick_count())))
                  .string();
    std::filesystem::create_directories(plugins);
    folder = plugins + "/SONORIUM/";
    autosave_forget();
    poses_reset();
    eq_enabled = 0;
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(plugins, ec);
    autosave_forget();
    poses_reset();
    eq_settings = saved_eq;
    eq_enabled = 0;
  }
};

TEST_F(AutosaveOnAFullDisk, FailedWritesAtQuitKeepTheFilesOfTheLastSave) {
  fake::Device dev;
  autosave_load_from(plugins.c_str());
  dev.room.load(5);
  eq_settings.bands[7] = 11;
  eq_enabled = 1;
  autosave_save();
  std::string before[3];
  for (int i = 0; i < 3; ++i) {
    before[i] = file_bytes_of(folder + kFiles[i]);
    ASSERT_GT(before[i].size(), 4u) << kFiles[i];
  }

  // The state changes, and the next Quit finds no room at all, then room
  // for the two small files only.
  dev.room.load(9);
  eq_settings.bands[7] = 77;
  eq_enabled = 0;
  EXPECT_EQ(with_file_size_limit(0, [] {
              autosave_save();
              return 0;
            }),
            0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(file_bytes_of(folder + kFiles[i]), before[i]) << kFiles[i];
  EXPECT_EQ(with_file_size_limit(200, [] {
              autosave_save();
              return 0;
            }),
            0);
  EXPECT_EQ(file_bytes_of(folder + "_autosave.env"), before[0]);
  EXPECT_NE(file_bytes_of(folder + "_autosave.eq"), before[1]);
  EXPECT_EQ(file_bytes_of(folder + "_autosave.eq").size(), 136u);
  EXPECT_EQ(file_bytes_of(folder + "_autosave.ds").size(), 36u);
  // No half-written file is left beside them.
  std::vector<std::string> names = file_names_in(folder);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"_autosave.ds", "_autosave.env", "_autosave.eq"}));

  // The next start has the room of the last good save.
  autosave_forget();
  dev.room.load(0);
  autosave_load_from(plugins.c_str());
  EXPECT_EQ(dev.room.value[EAXL_ENVIRONMENT], 5u);
  EXPECT_EQ(eq_settings.bands[7], 77);  // the curve was saved whole at the second Quit
}

}  // namespace
