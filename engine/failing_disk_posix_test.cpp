// The stored state on disks that fail: a settings folder mounted read-only,
// a file system that fills up during the save, a file where the folder
// should be, and autosave files of 0 bytes and of 10 MB. Start-up takes
// the defaults for what it cannot read; Quit never loses the last good
// files (they stay byte for byte) and nothing crashes.
//
// The read-only folder and the full file system are real mounts, made in a
// child process with a mount namespace of its own; where the system does
// not allow that, those tests are skipped.
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/block.h"
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

// Runs body in a child with a private mount namespace in which prepare()
// has mounted what the test needs. The child's exit status: body's result,
// 77 when the namespace or the mount was refused, 255 when it crashed.
template <class Prepare, class Body>
int in_mount_namespace(Prepare prepare, Body body) {
  pid_t child = fork();
  if (child == 0) {
    if (unshare(CLONE_NEWNS) != 0) _exit(77);
    // Mounts made here stay in this namespace.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) _exit(77);
    if (!prepare()) _exit(77);
    _exit(body() & 0xFF);
  }
  if (child < 0) return 255;
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return 255;
  return WEXITSTATUS(status);
}

class FailingDisk : public ::testing::Test {
 protected:
  std::string plugins, folder;
  EqSettings saved_eq = eq_settings;
  void SetUp() override {
    plugins = (std::filesystem::temp_directory_path() /
               ("sonorium-failing-" + std::to_string(getpid()) + "-" + std::to_string(os_tick_count())))
                  .string();
    std::filesystem::create_directories(plugins);
    folder = plugins + "/SONORIUM/";
    autosave_forget();
    poses_reset();
    eq_enabled = 0;
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(plugins, ec);
    autosave_forget();
    poses_reset();
    eq_settings = saved_eq;
    eq_enabled = 0;
  }
  void put(const std::string &path, const std::string &bytes) {
    HANDLE h = file_create(path.c_str(), CREATE_ALWAYS, 0);
    ASSERT_NE(h, FILE_FAILED) << path;
    ASSERT_EQ(file_write(h, bytes.data(), bytes.size()), long(bytes.size()));
    file_close(h);
  }
  // A first start and a Quit in a Stone Corridor with the equalizer on:
  // the last good files, returned as they lie on disk.
  std::vector<std::string> good_save(fake::Device *dev) {
    autosave_load_from(plugins.c_str());
    dev->room.load(5);
    eq_settings.bands[3] = 90;
    eq_enabled = 1;
    autosave_save();
    std::vector<std::string> files;
    for (const char *f : kFiles) files.push_back(file_bytes_of(folder + f));
    return files;
  }
  // The state changes before the failing Quit.
  static void change_state(fake::Device *dev) {
    dev->room.load(8);
    eq_settings.bands[3] = 10;
    eq_enabled = 0;
  }
  std::vector<std::string> names() const {
    std::vector<std::string> n = file_names_in(folder);
    std::sort(n.begin(), n.end());
    return n;
  }
};

TEST_F(FailingDisk, AReadOnlySettingsFolderKeepsTheLastSaveAndStartsFromIt) {
  fake::Device dev;
  std::vector<std::string> before = good_save(&dev);
  ASSERT_GT(before[0].size(), 500u);
  change_state(&dev);
  const std::string f = folder;
  int status = in_mount_namespace(
      [&] {
        return mount(f.c_str(), f.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
               mount(nullptr, f.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
      },
      [&] {
        // Quit on the read-only folder, then a start from it.
        autosave_save();
        autosave_forget();
        dev.room.load(0);
        autosave_load_from(plugins.c_str());
        return dev.room.value[EAXL_ENVIRONMENT] == 5 && eq_settings.bands[3] == 90 && eq_enabled == 1 ? 0 : 1;
      });
  if (status == 77) GTEST_SKIP() << "no mount namespace here";
  EXPECT_EQ(status, 0) << "the start after the failed Quit did not restore the last good save";
  for (int i = 0; i < 3; ++i) EXPECT_EQ(file_bytes_of(folder + kFiles[i]), before[i]) << kFiles[i];
  EXPECT_EQ(names(), (std::vector<std::string>{"_autosave.ds", "_autosave.env", "_autosave.eq"}));
}

TEST_F(FailingDisk, AFileSystemThatFillsUpDuringTheSaveKeepsTheOldFiles) {
  // A 64 KB file system over the plug-in folder: the last good save is made
  // on it, then a filler takes all but `room` bytes and Quit saves again.
  const std::string p = plugins;
  for (long room : {0L, 100L, 700L, 1000L}) {
    SCOPED_TRACE(room);
    int status = in_mount_namespace(
        [&] { return mount("tmpfs", p.c_str(), "tmpfs", 0, "size=64k") == 0; },
        [&] {
          fake::Device dev;
          std::vector<std::string> before = good_save(&dev);
          if (before[0].size() != size_t(PROPERTY_BLOCK_BYTES)) return 10;
          HANDLE filler = file_create((p + "/filler").c_str(), CREATE_ALWAYS, 0);
          std::string block(4096, 'x');
          while (file_write(filler, block.data(), block.size()) == long(block.size())) {
          }
          file_write(filler, block.data(), 1);
          file_close(filler);
          // Give back room: tmpfs counts whole pages, so the free space is
          // what truncating frees.
          if (room > 0 && truncate((p + "/filler").c_str(), std::filesystem::file_size(p + "/filler") - room) != 0)
            return 11;
          change_state(&dev);
          autosave_save();
          // Each file is the old one or the new one, whole; none is cut.
          if (file_bytes_of(folder + kFiles[0]).size() != size_t(PROPERTY_BLOCK_BYTES)) return 12;
          if (file_bytes_of(folder + kFiles[1]).size() != 136) return 13;
          if (file_bytes_of(folder + kFiles[2]).size() != 36) return 14;
          if (room == 0)
            for (int i = 0; i < 3; ++i)
              if (file_bytes_of(folder + kFiles[i]) != before[i]) return 15 + i;
          if (names() != std::vector<std::string>{"_autosave.ds", "_autosave.env", "_autosave.eq"}) return 20;
          // The next start reads whichever save each file holds.
          autosave_forget();
          dev.room.load(0);
          autosave_load_from(p.c_str());
          uint32_t env = dev.room.value[EAXL_ENVIRONMENT];
          return env == 5 || env == 8 ? 0 : 21;
        });
    if (status == 77) GTEST_SKIP() << "no mount namespace here";
    EXPECT_EQ(status, 0);
  }
}

TEST_F(FailingDisk, AFileWhereTheFolderShouldBeGivesTheDefaultsAndStaysAsItIs) {
  const std::string blocker = plugins + "/SONORIUM";
  const std::string content = "not a folder\n";
  put(blocker, content);
  fake::Device dev;
  dev.room.load(8);
  autosave_load_from(plugins.c_str());
  EXPECT_EQ(dev.room.value[EAXL_ENVIRONMENT], 0u);
  EXPECT_EQ(dev.buffers[L1].volume, -1000);
  change_state(&dev);
  autosave_save();
  EXPECT_EQ(file_bytes_of(blocker), content);
  EXPECT_FALSE(dir_exists(blocker.c_str()));
}

TEST_F(FailingDisk, EmptyAutosaveFilesGiveTheDefaultsAndTheNextQuitWritesThemWhole) {
  ASSERT_TRUE(dir_create((plugins + "/SONORIUM").c_str()));
  for (const char *f : kFiles) put(folder + f, "");
  EqSettings defaults = eq_settings;
  fake::Device dev;
  dev.room.load(8);
  autosave_load_from(plugins.c_str());
  EXPECT_EQ(dev.room.value[EAXL_ENVIRONMENT], 0u);
  EXPECT_EQ(dev.buffers[R2].volume, -1000);
  EXPECT_EQ(std::memcmp(&eq_settings, &defaults, sizeof defaults), 0);
  EXPECT_EQ(eq_enabled.load(), 0);
  autosave_save();
  EXPECT_EQ(file_bytes_of(folder + kFiles[0]).size(), size_t(PROPERTY_BLOCK_BYTES));
  EXPECT_EQ(file_bytes_of(folder + kFiles[1]).size(), 136u);
  EXPECT_EQ(file_bytes_of(folder + kFiles[2]).size(), 36u);
}

TEST_F(FailingDisk, TenMegabyteAutosaveFilesAreNotTakenForAState) {
  ASSERT_TRUE(dir_create((plugins + "/SONORIUM").c_str()));
  // A whole valid block at the front of each, then megabytes of junk: a
  // file this long is no autosave file whatever its start holds.
  fake::Device dev;
  std::vector<std::string> good = good_save(&dev);
  const size_t big = 10u << 20;
  for (int i = 0; i < 3; ++i) {
    std::string bytes = good[i];
    bytes.resize(big, '\xFF');
    put(folder + kFiles[i], bytes);
  }
  autosave_forget();
  eq_settings = saved_eq;
  eq_enabled = 0;
  dev.room.load(0);
  uint32_t t0 = os_tick_count();
  autosave_load_from(plugins.c_str());
  EXPECT_LT(os_tick_count() - t0, 2000u) << "start-up read the whole file";
  EXPECT_EQ(dev.room.value[EAXL_ENVIRONMENT], 0u) << "a 10 MB .env file was taken for a state";
  EXPECT_EQ(dev.buffers[L2].volume, -1000);
  // Quit replaces them with whole files of the state.
  autosave_save();
  EXPECT_EQ(file_bytes_of(folder + kFiles[0]).size(), size_t(PROPERTY_BLOCK_BYTES));
  EXPECT_EQ(file_bytes_of(folder + kFiles[1]).size(), 136u);
  EXPECT_EQ(file_bytes_of(folder + kFiles[2]).size(), 36u);
}

}  // namespace
