#include <gtest/gtest.h>

#include <cstring>

#include "host/host_os.h"
#include "host/install.h"

namespace {

class Install : public ::testing::Test {
 protected:
  std::string dir;
  void SetUp() override {
    std::string error;
    dir = host_make_temp_dir(&error);
    ASSERT_FALSE(dir.empty()) << error;
  }
  void TearDown() override { host_remove_temp_dir(dir); }
  std::string file(const char *name) { return dir + host_separator() + name; }
  std::vector<uint8_t> env() {
    std::vector<uint8_t> v(ENV_PRESET_BYTES, 7);
    std::memcpy(v.data(), "env4", 4);
    return v;
  }
  std::vector<uint8_t> eq() {
    std::vector<uint8_t> v(EQ_PRESET_BYTES, 3);
    std::memcpy(v.data(), "eq10", 4);
    return v;
  }
};

TEST_F(Install, PresetsBecomeTheAutosaveFilesAndTurnTheEqualizerOn) {
  std::string e;
  ASSERT_TRUE(write_whole_file(file("room.env"), env(), &e)) << e;
  ASSERT_TRUE(write_whole_file(file("curve.eq"), eq(), &e)) << e;
  std::string settings = file("player");
  ASSERT_TRUE(install_presets(settings, file("room.env"), file("curve.eq"), &e)) << e;
  std::vector<uint8_t> got;
  ASSERT_TRUE(read_whole_file(settings_file(settings, "_autosave.env"), &got, &e)) << e;
  EXPECT_EQ(env(), got);
  ASSERT_TRUE(read_whole_file(settings_file(settings, "_autosave.eq"), &got, &e)) << e;
  EXPECT_EQ(eq(), got);
  ASSERT_TRUE(read_whole_file(settings_file(settings, "_autosave.ds"), &got, &e)) << e;
  std::vector<uint8_t> ds(DS_FILE_BYTES, 1);
  ds[1] = ds[2] = ds[3] = 0;
  EXPECT_EQ(ds, got) << "flag on, every band highlighted";

  // A stored _autosave.ds keeps its highlights; only the flag changes.
  std::vector<uint8_t> stored(DS_FILE_BYTES, 0);
  stored[10] = 1;
  ASSERT_TRUE(write_whole_file(settings_file(settings, "_autosave.ds"), stored, &e));
  ASSERT_TRUE(install_presets(settings, "", file("curve.eq"), &e)) << e;
  ASSERT_TRUE(read_whole_file(settings_file(settings, "_autosave.ds"), &got, &e));
  stored[0] = 1;
  EXPECT_EQ(stored, got);
  host_remove_temp_dir(settings);
}

TEST_F(Install, WrongPresetsAreRefusedAndNothingIsWritten) {
  std::string e;
  std::vector<uint8_t> short_env = env();
  short_env.pop_back();
  std::vector<uint8_t> no_magic = env();
  no_magic[0] = 'X';
  std::vector<uint8_t> eq_as_env = eq();
  ASSERT_TRUE(write_whole_file(file("short.env"), short_env, &e));
  ASSERT_TRUE(write_whole_file(file("magic.env"), no_magic, &e));
  ASSERT_TRUE(write_whole_file(file("eq.env"), eq_as_env, &e));
  struct Case {
    const char *env, *eq, *says;
  } cases[] = {{"short.env", "", "571 bytes"},
               {"magic.env", "", "\"env4\""},
               {"eq.env", "", "136 bytes"},
               {"", "magic.env", "572 bytes; an .eq preset is 136"},
               {"missing.env", "", "cannot open"}};
  std::string settings = file("player");
  for (const Case &c : cases) {
    std::string env_path = c.env[0] ? file(c.env) : "", eq_path = c.eq[0] ? file(c.eq) : "";
    EXPECT_FALSE(install_presets(settings, env_path, eq_path, &e)) << c.says;
    EXPECT_NE(std::string::npos, e.find(c.says)) << e;
    EXPECT_NE(std::string::npos, e.find(c.env[0] ? c.env : c.eq)) << "names the file: " << e;
  }
  std::vector<uint8_t> got;
  EXPECT_FALSE(read_whole_file(settings_file(settings, "_autosave.env"), &got, &e));
}

}  // namespace
