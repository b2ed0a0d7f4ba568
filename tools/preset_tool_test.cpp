#include "tools/preset_tool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "tools/preset_text.h"
#include "tools/preset_view.h"

namespace fs = std::filesystem;

namespace {

// Runs the command line in a fresh folder of the system's temporary
// directory, removed afterwards.
class PresetTool : public ::testing::Test {
 protected:
  void SetUp() override {
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ =
        fs::temp_directory_path() / ("sonorium_preset_test_" + std::string(info->name()) + "_" + std::to_string(stamp));
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
  std::string get(const char *name) const {
    std::ifstream f(dir_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  }
  // The names in the folder, to see that nothing was left behind.
  std::vector<std::string> listing() const {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  int run(std::initializer_list<std::string> args, std::FILE *in = nullptr) {
    std::vector<const char *> argv{"sonorium_preset"};
    for (const std::string &a : args) argv.push_back(a.c_str());
    out_.clear();
    err_.clear();
    return preset_tool_run(int(argv.size()), argv.data(), in, &out_, &err_);
  }
  fs::path dir_;
  std::string out_, err_;
};

TEST_F(PresetTool, WriteWithoutDescriptionGivesTheFirstStartPresets) {
  ASSERT_EQ(run({"write", path("a.env")}), 0) << err_;
  std::string env = get("a.env");
  ASSERT_EQ(env.size(), 572u);
  PropertyBlock defaults;
  env_block_defaults(&defaults);
  EXPECT_EQ(std::memcmp(env.data(), &defaults, 572), 0);

  ASSERT_EQ(run({"write", path("b.EQ")}), 0) << err_;
  std::string eq = get("b.EQ");
  ASSERT_EQ(eq.size(), 136u);
  EXPECT_EQ(eq.compare(0, 4, "eq10"), 0);
  EXPECT_EQ(eq[4], 100);  // preamp 100
  EXPECT_EQ(eq[8], 50);   // band 1 at 50
  EXPECT_EQ(listing(), (std::vector<std::string>{"a.env", "b.EQ"}));
}

TEST_F(PresetTool, PrintedTextWritesTheSameFileBack) {
  put("scene.txt",
      "environment = Stone Corridor\nlistener.reverb = -300\n"
      "voice1.position = 1.5 0 2\nvoice2.cone_outside_volume = -2500\nvoices.occlusion = -1200\n");
  ASSERT_EQ(run({"write", path("scene.env"), path("scene.txt")}), 0) << err_;
  ASSERT_EQ(run({"print", path("scene.env")}), 0) << err_;
  EXPECT_NE(out_.find("environment = Stone Corridor"), std::string::npos);
  EXPECT_NE(out_.find("voice1.position = 1.5 0 2\n"), std::string::npos);
  EXPECT_NE(out_.find("voice4.occlusion = -1200\n"), std::string::npos);
  put("printed.txt", out_);
  ASSERT_EQ(run({"write", path("again.env"), path("printed.txt")}), 0) << err_;
  EXPECT_EQ(get("again.env"), get("scene.env"));

  put("curve.txt", "eq.preamp = 80\neq.band3 = +3 dB\neq.band32 = 0\n");
  ASSERT_EQ(run({"write", path("curve.eq"), path("curve.txt")}), 0) << err_;
  ASSERT_EQ(run({"print", path("curve.eq")}), 0) << err_;
  put("printed.txt", out_);
  ASSERT_EQ(run({"write", path("again.eq"), path("printed.txt")}), 0) << err_;
  EXPECT_EQ(get("again.eq"), get("curve.eq"));
}

TEST_F(PresetTool, FromStartsFromAnExistingPresetAndChangesOnlyTheLinesGiven) {
  put("cave.txt", "environment = cave\nvoice3.volume = -400\n");
  ASSERT_EQ(run({"write", path("cave.env"), path("cave.txt")}), 0) << err_;
  put("change.txt", "listener.room = -600\n");
  ASSERT_EQ(run({"write", "--from", path("cave.env"), path("cave2.env"), path("change.txt")}), 0) << err_;
  std::string a = get("cave.env"), b = get("cave2.env");
  ASSERT_EQ(b.size(), 572u);
  PropertyBlock pa, pb;
  std::memcpy(&pa, a.data(), 572);
  std::memcpy(&pb, b.data(), 572);
  EXPECT_EQ(pb.room, -600);
  pb.room = pa.room;
  EXPECT_EQ(std::memcmp(&pa, &pb, 572), 0);
  EXPECT_EQ(pa.environment, 8u);
  EXPECT_EQ(pa.volume[2], -400);

  // Writing over the file it starts from.
  ASSERT_EQ(run({"write", path("cave.env"), "--from", path("cave.env"), path("change.txt")}), 0) << err_;
  EXPECT_EQ(get("cave.env"), b);
}

TEST_F(PresetTool, DescriptionFromStandardInput) {
  put("stdin.txt", "[eq]\npreamp = 60\nband1 = 70\n");
  std::FILE *in = std::fopen(path("stdin.txt").c_str(), "rb");
  ASSERT_NE(in, nullptr);
  int status = run({"write", path("x.eq"), "-"}, in);
  std::fclose(in);
  ASSERT_EQ(status, 0) << err_;
  EqSettings s;
  PresetError e{0, ""};
  std::string bytes = get("x.eq");
  ASSERT_TRUE(eq_settings_from_bytes(bytes.data(), bytes.size(), &s, &e)) << e.message;
  EXPECT_EQ(s.preamp, 60);
  EXPECT_EQ(s.bands[0], 70);
  EXPECT_EQ(s.bands[1], 50);
}

TEST_F(PresetTool, ARefusedDescriptionWritesNothingAndKeepsTheOldFile) {
  put("bad.txt", "listener.room = -500\n# fine so far\nlistener.reverb = 2001\n");
  EXPECT_EQ(run({"write", path("new.env"), path("bad.txt")}), 1);
  EXPECT_EQ(err_, path("bad.txt") +
                      ":3: listener.reverb = 2001 is outside the allowed range -10000..2000 mB; nothing was written\n");
  EXPECT_EQ(listing(), (std::vector<std::string>{"bad.txt"}));

  ASSERT_EQ(run({"write", path("old.env")}), 0);
  std::string old = get("old.env");
  EXPECT_EQ(run({"write", path("old.env"), path("bad.txt")}), 1);
  EXPECT_EQ(get("old.env"), old);
  EXPECT_EQ(listing(), (std::vector<std::string>{"bad.txt", "old.env"}));

  put("wrongkind.txt", "eq.band1 = 20\n");
  EXPECT_EQ(run({"write", path("old.env"), path("wrongkind.txt")}), 1);
  EXPECT_NE(err_.find(":1: eq.band1 belongs to a .eq preset"), std::string::npos) << err_;
  EXPECT_EQ(get("old.env"), old);
}

TEST_F(PresetTool, AWriteThatCannotCompleteLeavesNoPartialFile) {
  // The target is a folder: the new file is written beside it, cannot be
  // moved into its place, and is removed again.
  fs::create_directories(dir_ / "taken.env");
  EXPECT_EQ(run({"write", path("taken.env")}), 1);
  EXPECT_NE(err_.find("taken.env"), std::string::npos) << err_;
  EXPECT_EQ(listing(), (std::vector<std::string>{"taken.env"}));
  EXPECT_TRUE(fs::is_directory(dir_ / "taken.env"));

  // A folder that does not exist.
  EXPECT_EQ(run({"write", path("missing/x.eq")}), 1);
  EXPECT_NE(err_.find("cannot create"), std::string::npos) << err_;
}

TEST_F(PresetTool, FilesThatAreNotPresetsAreNamedAsSuch) {
  put("short.env", std::string(571, '\0'));
  EXPECT_EQ(run({"print", path("short.env")}), 1);
  EXPECT_NE(err_.find("short.env: not a .env preset: it holds 571 bytes where a .env preset holds 572"),
            std::string::npos)
      << err_;

  std::string tagged(572, '\0');
  tagged.replace(0, 4, "ENV4");
  put("tag.env", tagged);
  EXPECT_EQ(run({"print", path("tag.env")}), 1);
  EXPECT_NE(err_.find("begins with \"ENV4\" instead of \"env4\""), std::string::npos) << err_;

  ASSERT_EQ(run({"write", path("real.eq")}), 0);
  fs::copy_file(dir_ / "real.eq", dir_ / "mislabelled.env");
  EXPECT_EQ(run({"print", path("mislabelled.env")}), 1);
  EXPECT_NE(err_.find("(it is a .eq preset)"), std::string::npos) << err_;
  EXPECT_EQ(run({"write", "--from", path("real.eq"), path("y.env")}), 1);
  EXPECT_NE(err_.find("real.eq: not a .env preset"), std::string::npos) << err_;

  EXPECT_EQ(run({"print", path("nothing.env")}), 1);
  EXPECT_NE(err_.find("nothing.env: cannot open it for reading"), std::string::npos) << err_;

  put("notes.txt", "hello");
  EXPECT_EQ(run({"print", path("notes.txt")}), 1);
  EXPECT_NE(err_.find("not a preset"), std::string::npos) << err_;

  EXPECT_EQ(run({"write", path("y.env"), path("absent.txt")}), 1);
  EXPECT_NE(err_.find("absent.txt: cannot open"), std::string::npos) << err_;
  EXPECT_FALSE(fs::exists(dir_ / "y.env"));
}

TEST_F(PresetTool, PresetsAreRecognisedByContentWhenTheNameSaysNothing) {
  ASSERT_EQ(run({"write", path("a.env")}), 0);
  fs::copy_file(dir_ / "a.env", dir_ / "autosave.bak");
  ASSERT_EQ(run({"print", path("autosave.bak")}), 0) << err_;
  EXPECT_NE(out_.find("environment = Generic"), std::string::npos);
}

TEST_F(PresetTool, StoredValuesOutOfRangeAreKeptWithAWarning) {
  PropertyBlock b;
  env_block_defaults(&b);
  b.distanceFactor = 0;  // what a block holds when the device never answered
  put("odd.env", std::string(reinterpret_cast<const char *>(&b), 572));
  put("change.txt", "voice1.volume = -200\n");
  ASSERT_EQ(run({"write", "--from", path("odd.env"), path("out.env"), path("change.txt")}), 0) << err_;
  EXPECT_NE(err_.find("warning: listener.distance_factor 0 is outside > 0 m per unit (kept from "), std::string::npos)
      << err_;
  ASSERT_EQ(run({"print", path("out.env")}), 0);
  EXPECT_NE(out_.find("listener.distance_factor = 0"), std::string::npos);
  EXPECT_NE(out_.find("not accepted when read back"), std::string::npos);
}

TEST_F(PresetTool, UsageMistakes) {
  EXPECT_EQ(run({}), 2);
  EXPECT_NE(err_.find("no command given"), std::string::npos);
  EXPECT_NE(err_.find("Usage:"), std::string::npos);
  EXPECT_EQ(run({"write", path("x.txt")}), 2);
  EXPECT_NE(err_.find("must end in .env or .eq"), std::string::npos);
  EXPECT_EQ(run({"write", path(".env")}), 2);
  EXPECT_EQ(run({"print"}), 2);
  EXPECT_EQ(run({"print", "a", "b"}), 2);
  EXPECT_EQ(run({"write", path("a.env"), "--from"}), 2);
  EXPECT_EQ(run({"write", "--from", "a.env", "--from", "b.env", path("c.env")}), 2);
  EXPECT_EQ(run({"print", "--from", "a.env", path("c.env")}), 2);
  EXPECT_EQ(run({"--verbose", "environments"}), 2);
  EXPECT_EQ(run({"convert", "a.env"}), 2);
  EXPECT_EQ(listing(), std::vector<std::string>{});
}

TEST_F(PresetTool, EnvironmentsAndHelp) {
  ASSERT_EQ(run({"environments"}), 0);
  EXPECT_EQ(std::count(out_.begin(), out_.end(), '\n'), 26);
  EXPECT_NE(out_.find(" 0  Generic\n"), std::string::npos);
  EXPECT_NE(out_.find(" 7  Concert Hall\n"), std::string::npos);
  EXPECT_NE(out_.find("25  Psychotic\n"), std::string::npos);

  ASSERT_EQ(run({"--help"}), 0);
  EXPECT_TRUE(err_.empty());
  // Every settable name is told.
  for (int i = 0; i < env_field_count; ++i)
    EXPECT_NE(out_.find(std::string(" ") + env_fields[i].name), std::string::npos) << env_fields[i].name;
  EXPECT_NE(out_.find("eq.band32"), std::string::npos);
}

}  // namespace

namespace {

// The width and height a PNG's header gives.
bool png_size(const std::string &file, uint32_t *width, uint32_t *height) {
  if (file.size() < 24 || file.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 || file.compare(12, 4, "IHDR") != 0) return false;
  auto be = [&](size_t at) {
    return uint32_t(uint8_t(file[at])) << 24 | uint32_t(uint8_t(file[at + 1])) << 16 |
           uint32_t(uint8_t(file[at + 2])) << 8 | uint32_t(uint8_t(file[at + 3]));
  };
  *width = be(16);
  *height = be(20);
  return true;
}

TEST_F(PresetTool, ViewDrawsThePresetsRoomIntoAPicture) {
  ASSERT_EQ(run({"write", path("a.env")}), 0) << err_;
  if (!scene_offscreen_available()) {
    EXPECT_EQ(run({"view", path("a.env"), path("a.png")}), 1);
    EXPECT_NE(err_.find("off-screen"), std::string::npos) << err_;
    EXPECT_EQ(listing(), (std::vector<std::string>{"a.env"}));
    return;
  }
  uint32_t w = 0, h = 0;
  ASSERT_EQ(run({"view", path("a.env"), path("a.png")}), 0) << err_;
  ASSERT_TRUE(png_size(get("a.png"), &w, &h));
  EXPECT_EQ(w, 400u);
  EXPECT_EQ(h, 400u);
  ASSERT_EQ(run({"view", path("a.env"), path("b.png"), "64", "48"}), 0) << err_;
  ASSERT_TRUE(png_size(get("b.png"), &w, &h));
  EXPECT_EQ(w, 64u);
  EXPECT_EQ(h, 48u);
}

TEST_F(PresetTool, ViewRefusesBadSizesAndPresets) {
  ASSERT_EQ(run({"write", path("a.env")}), 0) << err_;
  EXPECT_EQ(run({"view", path("a.env"), path("a.png"), "0", "10"}), 2);
  EXPECT_EQ(run({"view", path("a.env"), path("a.png"), "64", "4097"}), 2);
  EXPECT_EQ(run({"view", path("a.env"), path("a.png"), "64x", "48"}), 2);
  EXPECT_EQ(run({"view", path("a.env"), path("a.png"), "64"}), 2);
  EXPECT_EQ(run({"view", path("missing.env"), path("a.png")}), 1);
  put("short.env", "env4");
  EXPECT_EQ(run({"view", path("short.env"), path("a.png")}), 1);
  EXPECT_EQ(listing(), (std::vector<std::string>{"a.env", "short.env"}));
}

TEST(PresetView, TakesPosesConeAnglesAndFogFromTheBlock) {
  PropertyBlock b;
  env_block_defaults(&b);
  b.listenerPosition[2] = 0.5f;
  b.listenerAngles[1] = 1.0f;
  b.ds3dVoice[3].position[0] = 0.25f;
  b.ds3dVoice[3].angles[2] = 0.3f;
  b.ds3dVoice[3].insideConeAngle = 90;
  b.ds3dVoice[3].outsideConeAngle = 200;
  b.airAbsorptionHF = -100;
  SceneView view = scene_view_start();
  scene_view_from_block(b, &view);
  EXPECT_EQ(view.poses[POSE_LISTENER].position[2], 0.5f);
  EXPECT_EQ(view.poses[POSE_LISTENER].angles[1], 1.0f);
  EXPECT_EQ(view.poses[POSE_VOICE_FIRST + 3].position[0], 0.25f);
  EXPECT_EQ(view.poses[POSE_VOICE_FIRST + 3].angles[2], 0.3f);
  EXPECT_EQ(view.cones[3][CONE_INSIDE].angle, 90.0f);
  EXPECT_EQ(view.cones[3][CONE_OUTSIDE].angle, 200.0f);
  EXPECT_EQ(view.cones[3][CONE_OUTSIDE].segments, 20);  // the rest of the record stays
  EXPECT_NEAR(view.fogDensity, 100 / 120.0f, 1e-6);
  // The start camera, whatever the preset.
  EXPECT_EQ(view.camera.width, 400);
  EXPECT_FLOAT_EQ(view.camera.pitch, 1.57f);
  // A stored absorption above 0 mB makes no negative fog.
  b.airAbsorptionHF = 20;
  scene_view_from_block(b, &view);
  EXPECT_EQ(view.fogDensity, 0.0f);
}

}  // namespace
