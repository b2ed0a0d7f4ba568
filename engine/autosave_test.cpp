#include "engine/autosave.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <cstring>
#include <string>

#include "device/block.h"
#include "device/fake_acoustic_device_test_fixture.h"
#include "device/presets.h"
#include "device/properties.h"
#include "dsp/eq_design.h"
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

class Autosave : public ::testing::Test {
 protected:
  std::string plugins;
  std::string folder() const { return plugins + sep() + "SONORIUM" + sep(); }
  void SetUp() override {
    plugins = fresh_folder("autosave");
    autosave_forget();
    poses_reset();
    eq_enabled = 0;
    for (auto &h : eq_band_highlight) h = 1;
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(plugins, ec);
    autosave_forget();
    poses_reset();
  }
  long size_of(const std::string &file) const {
    HANDLE h = file_open_read((folder() + file).c_str(), OPEN_EXISTING, 0);
    if (h == FILE_FAILED) return -1;
    char buf[2048];
    long n = file_read(h, buf, sizeof buf);
    file_close(h);
    return n;
  }
  void write(const std::string &file, const void *bytes, size_t n) const {
    HANDLE h = file_create((folder() + file).c_str(), CREATE_ALWAYS, 0);
    ASSERT_NE(h, FILE_FAILED);
    file_write(h, bytes, n);
    file_close(h);
  }
};

TEST_F(Autosave, FirstStartSetsTheDefaultsAndQuitWritesAllThreeFiles) {
  fake::Device dev;
  dev.room.load(8);
  autosave_load_from(plugins.c_str());
  EXPECT_TRUE(dir_exists(folder().c_str()));
  EXPECT_EQ(dev.room.value[EAXL_ENVIRONMENT], 0u);
  for (int v = 0; v < 4; ++v) {
    EXPECT_EQ(dev.buffers[v].volume, -1000);
    EXPECT_EQ(dev.buffers3d[v].outsideVolume, -5000);
    // The poses went to the device as well.
    EXPECT_EQ(dev.buffers3d[v].inside, 35u);
    EXPECT_EQ(dev.buffers3d[v].position.x, scene_poses[POSE_VOICE_FIRST + v].position[0]);
  }
  autosave_save();
  EXPECT_EQ(size_of("_autosave.env"), 572);
  EXPECT_EQ(size_of("_autosave.ds"), 36);
  EXPECT_GT(size_of("_autosave.eq"), 0);
}

TEST_F(Autosave, APathEndingInASeparatorGetsNoSecondOne) {
  fake::Device dev;
  std::string with = plugins + sep();
  autosave_load_from(with.c_str());
  EXPECT_EQ(std::string(settings_folder), folder());
}

TEST_F(Autosave, ASecondStartRestoresEverything) {
  {
    fake::Device dev;
    autosave_load_from(plugins.c_str());
    dev.room.load(5);
    dev.room.puti(EAXL_ROOM, -2000);
    dev.room.putf(EAXL_AIRABSORPTIONHF, -60.0f);
    dev.buffers[R2].volume = -321;
    dev.sets[L2].voice[EAXB_OCCLUSION] = uint32_t(-777);
    dev.buffers3d[R1].minDistance = 4.5f;
    scene_poses[POSE_VOICE_FIRST + R1].position[1] = 0.5f;
    cone_records[L1][CONE_OUTSIDE].angle = 200;
    eq_enabled = 1;
    eq_band_highlight[3] = 0;
    autosave_save();
  }
  autosave_forget();
  poses_reset();
  eq_enabled = 0;
  eq_band_highlight[3] = 1;
  fake::Device dev;
  autosave_load_from(plugins.c_str());
  EXPECT_EQ(dev.room.value[EAXL_ENVIRONMENT], 5u);
  EXPECT_EQ(dev.room.geti(EAXL_ROOM), -2000);
  EXPECT_EQ(dev.buffers[R2].volume, -321);
  EXPECT_EQ(int32_t(dev.sets[L2].voice[EAXB_OCCLUSION]), -777);
  EXPECT_EQ(dev.buffers3d[R1].minDistance, 4.5f);
  EXPECT_EQ(dev.buffers3d[R1].position.y, 0.5f);
  EXPECT_EQ(dev.buffers3d[L1].outside, 200u);
  EXPECT_EQ(cone_models[L1][CONE_OUTSIDE].head.triangleCount, 20u);
  EXPECT_FLOAT_EQ(fog_density.load(), 0.5f);
  EXPECT_EQ(eq_enabled.load(), 1);
  EXPECT_EQ(eq_band_highlight[3], 0);
}

TEST_F(Autosave, DamagedFilesFallBackToDefaultsAndStayOnDisk) {
  ASSERT_TRUE(dir_create((plugins + sep() + "SONORIUM").c_str()));
  PropertyBlock junk;
  std::memset(&junk, 0, sizeof junk);
  std::memcpy(junk.magic, "env4", 4);
  write("_autosave.env", &junk, 300);
  write("_autosave.eq", "eq10", 4);
  write("_autosave.ds", "\x01\x00", 2);
  fake::Device dev;
  dev.room.load(8);
  autosave_load_from(plugins.c_str());
  EXPECT_EQ(dev.room.value[EAXL_ENVIRONMENT], 0u);
  EXPECT_EQ(dev.listener.distance, 1.0f);
  EXPECT_EQ(dev.buffers[L1].volume, -1000);
  // Two bytes are not a whole on/off flag.
  EXPECT_EQ(eq_enabled.load(), 0);
  EXPECT_EQ(size_of("_autosave.env"), 300);
  EXPECT_EQ(size_of("_autosave.eq"), 4);
}

TEST_F(Autosave, DirectoriesNamedLikeTheFilesAreNoFiles) {
  ASSERT_TRUE(dir_create((plugins + sep() + "SONORIUM").c_str()));
  for (const char *n : {"_autosave.env", "_autosave.eq", "_autosave.ds"})
    ASSERT_TRUE(dir_create((folder() + n).c_str()));
  fake::Device dev;
  autosave_load_from(plugins.c_str());
  EXPECT_EQ(dev.buffers[R1].volume, -1000);
  autosave_save();
  EXPECT_TRUE(dir_exists((folder() + "_autosave.env").c_str()));
}

TEST_F(Autosave, AnUnwritableFolderAtQuitIsSkipped) {
  fake::Device dev;
  autosave_load_from(plugins.c_str());
  // A file where the folder was: nothing can be created in it, even as root.
  std::filesystem::remove_all(folder());
  HANDLE blocker = file_create((plugins + sep() + "SONORIUM").c_str(), CREATE_ALWAYS, 0);
  ASSERT_NE(blocker, FILE_FAILED);
  file_close(blocker);
  autosave_save();
  EXPECT_EQ(size_of("_autosave.env"), -1);
  EXPECT_FALSE(dir_exists(folder().c_str()));
}

// A plug-in folder path of exactly `length` characters below base, made of
// nested folders (each name within what a file system takes).
std::string folder_of_length(const std::string &base, size_t length) {
  std::string p = base;
  while (p.size() < length) {
    size_t left = length - p.size() - 1;  // one for the separator
    size_t name = left > 200 ? 200 : left;
    if (left > 200 && left - 200 < 2) name = left - 2;  // keep the last name at least a character
    p += sep() + std::string(name, 'd');
  }
  return p;
}

// The longest plug-in folder whose autosave files can still be saved: the
// folder, "SONORIUM" and two separators, "_autosave.env" and the new-file
// suffix, within the platform's limit.
const size_t kLongestPluginFolder = FILE_PATH_MAX - 1 - 10 - 13 - FILE_SAVE_SUFFIX_LENGTH;

TEST_F(Autosave, TheLongestPluginFolderTheSystemTakesKeepsItsFiles) {
  std::string longest = folder_of_length(plugins, kLongestPluginFolder);
  ASSERT_EQ(longest.size(), kLongestPluginFolder);
  std::error_code ec;
  std::filesystem::create_directories(longest, ec);
  ASSERT_FALSE(ec) << ec.message();
  std::string settings = longest + sep() + "SONORIUM" + sep();
  {
    fake::Device dev;
    autosave_load_from(longest.c_str());
    ASSERT_EQ(std::string(settings_folder), settings);
    dev.room.load(7);
    autosave_save();
  }
  for (const char *n : {"_autosave.env", "_autosave.eq", "_autosave.ds"})
    EXPECT_TRUE(std::filesystem::is_regular_file(settings + n)) << n;
  autosave_forget();
  fake::Device dev;
  autosave_load_from(longest.c_str());
  EXPECT_EQ(dev.room.value[EAXL_ENVIRONMENT], 7u);
}

TEST_F(Autosave, AFolderTooLongForItsFilesReadsAndWritesNothing) {
  // One character more: "_autosave.env" could no longer be saved, though
  // the shorter names could. None of the three is read or written, so the
  // stored state is neither half-replaced nor lost.
  std::string longer = folder_of_length(plugins, kLongestPluginFolder + 1);
  std::string settings = longer + sep() + "SONORIUM" + sep();
  std::error_code ec;
  std::filesystem::create_directories(settings, ec);
  ASSERT_FALSE(ec) << ec.message();
  for (const char *n : {"_autosave.eq", "_autosave.ds"}) std::ofstream(settings + n, std::ios::binary) << "stored";
  fake::Device dev;
  autosave_load_from(longer.c_str());
  EXPECT_TRUE(autosave_loaded());
  EXPECT_EQ(dev.buffers[L1].volume, -1000);  // the first-start state
  eq_enabled = 1;
  autosave_save();
  EXPECT_FALSE(std::filesystem::exists(settings + "_autosave.env"));
  for (const char *n : {"_autosave.eq", "_autosave.ds"}) EXPECT_EQ(std::filesystem::file_size(settings + n), 6u) << n;

  // Far past any limit: still nothing happens, and nothing is cut short.
  std::string huge(3 * FILE_PATH_MAX, 'x');
  autosave_forget();
  autosave_load_from(huge.c_str());
  EXPECT_EQ(settings_folder[0], 0);
  autosave_save();
}

TEST_F(Autosave, QuitBeforeAnyLoadLeavesTheStoredStateAlone) {
  ASSERT_TRUE(dir_create((plugins + sep() + "SONORIUM").c_str()));
  write("_autosave.env", "env4", 4);
  fake::Device dev;
  autosave_save();
  EXPECT_EQ(size_of("_autosave.env"), 4);
}

TEST_F(Autosave, AHostWithoutAFolderGetsTheFirstStartState) {
  fake::Device dev;
  autosave_load_from(nullptr);
  EXPECT_TRUE(autosave_loaded());
  EXPECT_EQ(dev.buffers[L2].volume, -1000);
  autosave_save();  // nowhere to write: nothing happens
}

}  // namespace
