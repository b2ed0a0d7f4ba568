#include "support/file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A fresh folder in the system's temporary directory, removed afterwards.
class FileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / ("sonorium_file_test_" + std::string(info->name()) + "_" + std::to_string(stamp));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string path(const char *name) const { return (dir_ / name).string(); }
  void put(const char *name, const std::string &content) const {
    std::ofstream(dir_ / name, std::ios::binary) << content;
  }
  fs::path dir_;
};

void collect(const char *name, void *context) { static_cast<std::vector<std::string> *>(context)->push_back(name); }

TEST_F(FileTest, OpeningAMissingFileForReadingFailsAndCreatesNothing) {
  std::string p = path("missing.env");
  EXPECT_EQ(file_open_read(p.c_str(), OPEN_EXISTING, 0), FILE_FAILED);
  EXPECT_FALSE(fs::exists(p));
}

TEST_F(FileTest, CreatingAnExistingFileTruncatesIt) {
  put("old.eq", std::string(300, 'x'));
  std::string p = path("old.eq");
  HANDLE h = file_create(p.c_str(), CREATE_ALWAYS, 0);
  ASSERT_NE(h, FILE_FAILED);
  EXPECT_EQ(file_write(h, "eq10", 4), 4);
  EXPECT_NE(file_close(h), 0);
  EXPECT_EQ(fs::file_size(p), 4u);
}

TEST_F(FileTest, WrittenBytesReadBackFromAnOffset) {
  std::string p = path("data.bin");
  HANDLE h = file_create(p.c_str(), CREATE_ALWAYS, 0);
  ASSERT_NE(h, FILE_FAILED);
  EXPECT_EQ(file_write(h, "hello world", 11), 11);
  EXPECT_NE(file_close(h), 0);

  h = file_open_read(p.c_str(), OPEN_EXISTING, 0);
  ASSERT_NE(h, FILE_FAILED);
  EXPECT_EQ(file_seek(h, 6), 6);
  char buf[16] = {};
  EXPECT_EQ(file_read(h, buf, sizeof buf), 5);
  EXPECT_STREQ(buf, "world");
  EXPECT_EQ(file_read(h, buf, sizeof buf), 0);
  // The handle has read access only.
  EXPECT_EQ(file_write(h, "x", 1), -1);
  EXPECT_NE(file_close(h), 0);
  EXPECT_EQ(fs::file_size(p), 11u);
}

TEST_F(FileTest, OtherReadersMayShareAReadHandle) {
  put("shared.env", "abc");
  std::string p = path("shared.env");
  HANDLE a = file_open_read(p.c_str(), OPEN_EXISTING, 0);
  HANDLE b = file_open_read(p.c_str(), OPEN_EXISTING, 0);
  ASSERT_NE(a, FILE_FAILED);
  ASSERT_NE(b, FILE_FAILED);
  file_close(a);
  file_close(b);
}

TEST_F(FileTest, DirectoriesDoNotOpenAsFiles) {
  std::string p = path("folder");
  EXPECT_NE(dir_create(p.c_str()), 0);
  EXPECT_EQ(file_open_read(p.c_str(), OPEN_EXISTING, 0), FILE_FAILED);
  EXPECT_EQ(file_create(p.c_str(), CREATE_ALWAYS, 0), FILE_FAILED);
  EXPECT_TRUE(fs::is_directory(p));
}

TEST_F(FileTest, DeleteReportsWhetherAFileWent) {
  put("gone.env", "x");
  std::string p = path("gone.env");
  EXPECT_NE(file_delete(p.c_str()), 0);
  EXPECT_FALSE(fs::exists(p));
  EXPECT_EQ(file_delete(p.c_str()), 0);
}

TEST_F(FileTest, DirCreateAndExists) {
  std::string p = path("SONORIUM");
  EXPECT_EQ(dir_exists(p.c_str()), 0);
  EXPECT_NE(dir_create(p.c_str()), 0);
  EXPECT_NE(dir_exists(p.c_str()), 0);
  // Creating it again still reports that it exists.
  EXPECT_NE(dir_create(p.c_str()), 0);
  put("plain.txt", "x");
  EXPECT_EQ(dir_exists(path("plain.txt").c_str()), 0);
}

TEST_F(FileTest, DirSearchListsPresetsIgnoringCaseAndSkipsDirectories) {
  put("Hall.env", "1");
  put("CAVE.ENV", "2");
  put("room.Env", "3");
  put("flat.eq", "4");
  put("notes.env.bak", "5");
  put(".env", "6");
  fs::create_directory(dir_ / "folder.env");

  std::vector<std::string> names;
  EXPECT_EQ(dir_search(dir_.string().c_str(), "*.env", collect, &names), 3);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"CAVE.ENV", "Hall.env", "room.Env"}));

  names.clear();
  EXPECT_EQ(dir_search(dir_.string().c_str(), "*.eq", collect, &names), 1);
  EXPECT_EQ(names, std::vector<std::string>{"flat.eq"});

  // A trailing separator on the folder changes nothing.
  names.clear();
  std::string withSeparator = dir_.string() + path_separator();
  EXPECT_EQ(dir_search(withSeparator.c_str(), "*.eq", collect, &names), 1);
}

TEST_F(FileTest, DirSearchOfEmptyAndMissingFolders) {
  std::vector<std::string> names;
  EXPECT_EQ(dir_search(dir_.string().c_str(), "*.env", collect, &names), 0);
  EXPECT_EQ(dir_search(path("missing").c_str(), "*.env", collect, &names), -1);
  EXPECT_TRUE(names.empty());
}

TEST(FileNameMatches, ExtensionPatterns) {
  EXPECT_NE(file_name_matches("a.env", "*.env"), 0);
  EXPECT_NE(file_name_matches("A.ENV", "*.env"), 0);
  EXPECT_EQ(file_name_matches(".env", "*.env"), 0);
  EXPECT_EQ(file_name_matches("a.envx", "*.env"), 0);
  EXPECT_EQ(file_name_matches("aenv", "*.env"), 0);
  EXPECT_NE(file_name_matches("_autosave.eq", "_autosave.eq"), 0);
}

// Saving replaces a file whole or not at all; a full disk is simulated by
// the wrappers' test limit, so this runs the same on every platform.
class FileSave : public FileTest {
 protected:
  void TearDown() override {
    file_test_fail_writes_after(-1);
    FileTest::TearDown();
  }
  std::string content(const char *name) const {
    std::ifstream in(dir_ / name, std::ios::binary);
    if (!in) return "<missing>";
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::vector<std::string> names() const {
    std::vector<std::string> found;
    for (const auto &e : fs::directory_iterator(dir_)) found.push_back(e.path().filename().string());
    std::sort(found.begin(), found.end());
    return found;
  }
};

TEST_F(FileSave, ReplacesTheWholeContentAndLeavesNoOtherFile) {
  put("room.env", std::string(572, 'o'));
  std::string p = path("room.env");
  ASSERT_EQ(file_save(p.c_str(), "env4new", 7), FILE_SAVED);
  EXPECT_EQ(content("room.env"), "env4new");
  ASSERT_EQ(file_save(path("fresh.eq").c_str(), "eq10", 4), FILE_SAVED);
  EXPECT_EQ(content("fresh.eq"), "eq10");
  EXPECT_EQ(names(), (std::vector<std::string>{"fresh.eq", "room.env"}));
}

TEST_F(FileSave, AWriteThatFailsAtAnyPointKeepsTheOldFile) {
  const std::string old(572, 'o');
  put("room.env", old);
  std::string p = path("room.env");
  std::string fresh(572, 'n');
  for (long long room : {0LL, 1LL, 300LL, 571LL}) {
    file_test_fail_writes_after(room);
    EXPECT_EQ(file_save(p.c_str(), fresh.data(), fresh.size()), FILE_SAVE_NOT_WRITTEN) << room;
    EXPECT_EQ(content("room.env"), old) << room;
    EXPECT_EQ(names(), std::vector<std::string>{"room.env"}) << room;
  }
  // A file that did not exist is not created half.
  file_test_fail_writes_after(10);
  EXPECT_EQ(file_save(path("new.eq").c_str(), fresh.data(), 136), FILE_SAVE_NOT_WRITTEN);
  EXPECT_EQ(names(), std::vector<std::string>{"room.env"});
  // Exactly enough room is enough.
  file_test_fail_writes_after(572);
  EXPECT_EQ(file_save(p.c_str(), fresh.data(), fresh.size()), FILE_SAVED);
  EXPECT_EQ(content("room.env"), fresh);
}

TEST_F(FileSave, ATargetThatCannotBeReplacedStaysAsItIs) {
  // A folder where the file should be: the rename fails, the folder stays
  // and the new file is removed.
  fs::create_directory(dir_ / "taken.env");
  put(std::string("taken.env/inside").c_str(), "kept");
  EXPECT_EQ(file_save(path("taken.env").c_str(), "env4", 4), FILE_SAVE_NOT_REPLACED);
  EXPECT_TRUE(fs::is_directory(dir_ / "taken.env"));
  EXPECT_EQ(content("taken.env/inside"), "kept");
  EXPECT_EQ(names(), std::vector<std::string>{"taken.env"});
  // A missing folder: nothing to write into.
  EXPECT_EQ(file_save(path("missing/x.eq").c_str(), "eq10", 4), FILE_SAVE_NOT_CREATED);
  // A path with no room left for the new file's name is refused whole.
  std::string too_long = path("") + std::string(FILE_PATH_MAX, 'x');
  EXPECT_EQ(file_save(too_long.c_str(), "eq10", 4), FILE_SAVE_NOT_CREATED);
  EXPECT_EQ(file_save("", "eq10", 4), FILE_SAVE_NOT_CREATED);
}

}  // namespace
