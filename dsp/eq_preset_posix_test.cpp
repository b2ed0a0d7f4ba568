// Saving an equalizer preset over an existing one on a disk that refuses
// the write keeps the old preset.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "dsp/eq_preset.h"
#include "support/file_size_limit_test_fixture.h"

namespace {

TEST(EqPresetOnAFullDisk, AFailedSaveKeepsTheOldPresetAndLeavesNoOtherFile) {
  std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("sonorium-eqfull-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::string path = (dir / "Rock.eq").string();
  EqSettings old_curve;
  old_curve.preamp = 40;
  for (int i = 0; i < EQ_BANDS; ++i) old_curve.bands[i] = i;
  ASSERT_EQ(eq_preset_write(path.c_str(), &old_curve), 0);
  const std::string before = file_bytes_of(path);
  ASSERT_EQ(before.size(), 136u);

  EqSettings new_curve = old_curve;
  new_curve.preamp = 90;
  for (rlim_t limit : {rlim_t(0), rlim_t(100)}) {
    int result = with_file_size_limit(limit, [&] { return eq_preset_write(path.c_str(), &new_curve) == -1 ? 1 : 0; });
    EXPECT_EQ(result, 1) << "the save reports its failure, limit " << limit;
    EXPECT_EQ(file_bytes_of(path), before) << limit;
    EXPECT_EQ(file_names_in(dir.string()), std::vector<std::string>{"Rock.eq"}) << limit;
  }
  // With room, the save replaces the preset.
  ASSERT_EQ(eq_preset_write(path.c_str(), &new_curve), 0);
  EqSettings back = old_curve;
  ASSERT_EQ(eq_preset_read(path.c_str(), &back), 0);
  EXPECT_EQ(back.preamp, 90);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

}  // namespace
