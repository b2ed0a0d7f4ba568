// The preset tool against the plug-in itself on the software card: the
// block it writes by default is what the plug-in captures after a first
// start, its environments load what the card loads, and a preset it writes
// is taken by the plug-in's own loader.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>

#include "card/card_api.h"
#include "device/card_device_test_fixture.h"
#include "device/block.h"
#include "device/device.h"
#include "device/presets.h"
#include "device/properties.h"
#include "engine/autosave.h"
#include "engine/module.h"
#include "engine/settings.h"
#include "platform/os.h"
#include "tools/preset_text.h"
#include "ui/poses.h"

// The plug-in module's state that the device and the autosave read; the
// module itself is not linked into the tests.
std::atomic<uint32_t> enabled_flag{0};
std::atomic<HWND> plugin_window{nullptr};
intptr_t host_message(int) { return 0; }
bool host_message_bounded(int code, int, intptr_t *result) {
  *result = host_message(code);
  return true;
}

namespace {

// The fields in which two blocks differ, by their text names.
std::string differences(const PropertyBlock &a, const PropertyBlock &b) {
  std::string out;
  for (int i = 0; i < env_field_count; ++i) {
    const EnvField &f = env_fields[i];
    size_t size = f.type == FIELD_VECTOR ? 12 : 4;
    for (int v = 0; v < (f.voice ? 4 : 1); ++v) {
      size_t at = f.offset + size_t(f.stride) * size_t(v);
      if (std::memcmp(reinterpret_cast<const char *>(&a) + at, reinterpret_cast<const char *>(&b) + at, size))
        out += (f.voice ? "voice" + std::to_string(v + 1) + "." : std::string("listener.")) + f.name + " ";
    }
  }
  return out;
}

class PresetOnCard : public card_device_fixture::DeviceOnCard {
 protected:
  void SetUp() override {
    expectAllReleased = false;
    DeviceOnCard::SetUp();
    if (HasFatalFailure()) return;
    // No plug-in folder: the first-start state, then the poses.
    autosave_load_from(nullptr);
  }
  void TearDown() override {
    autosave_forget();
    DeviceOnCard::TearDown();
  }
  PropertyBlock capture() {
    AcousticGuard hold;
    block_capture();
    return property_block;
  }
};

TEST_F(PresetOnCard, TheDefaultBlockIsWhatTheFirstStartCaptures) {
  PropertyBlock tool;
  env_block_defaults(&tool);
  PropertyBlock plugin = capture();
  EXPECT_EQ(differences(tool, plugin), "");
  EXPECT_EQ(std::memcmp(&tool, &plugin, sizeof tool), 0);
}

TEST_F(PresetOnCard, EveryEnvironmentLoadsWhatTheCardLoadsUnderThePanelsName) {
  for (int i = 0; i < ENVIRONMENT_COUNT; ++i) {
    EXPECT_STREQ(preset_environment_name(i), environment_name(i));
    uint32_t index = uint32_t(i);
    eax_listener_set(EAXL_ENVIRONMENT, &index);
    PropertyBlock plugin = capture();
    PropertyBlock tool = plugin;
    std::memset(&tool.environment, 0, 14 * 4);
    preset_environment_load(&tool, i);
    EXPECT_EQ(differences(tool, plugin), "") << environment_name(i);
  }
}

TEST_F(PresetOnCard, AWrittenPresetIsTakenByThePlugInsLoader) {
  PropertyBlock b;
  env_block_defaults(&b);
  const std::string text =
      "environment = Cave\nlistener.room = -500\nlistener.rolloff_factor = 0.5\n"
      "voice2.volume = -300\nvoice2.mode = head_relative\nvoices.direct_hf = -250\n"
      "voice3.outside_cone_angle = 120\nvoice4.position = 2 0.5 -3\n";
  PresetError e{0, ""};
  ASSERT_TRUE(env_block_from_text(text.data(), text.size(), &b, &e)) << e.message;
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("sonorium_preset_card_" + std::to_string(stamp));
  std::filesystem::create_directories(dir);
  std::string file = (dir / "cave.env").string();
  ASSERT_TRUE(preset_file_write(file.c_str(), &b, sizeof b, &e)) << e.message;
  EXPECT_TRUE(block_file_load(file.c_str()));
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);

  uint32_t environment = 99;
  int32_t room = 0;
  eax_listener_get(EAXL_ENVIRONMENT, &environment);
  eax_listener_get(EAXL_ROOM, &room);
  EXPECT_EQ(environment, 8u);
  EXPECT_EQ(room, -500);
  {
    CurrentVoiceScope scope;
    current_voice_select(1);
    int32_t volume = 0;
    voice_volume_get(&volume);
    EXPECT_EQ(volume, -300);
  }
  EXPECT_FLOAT_EQ(scene_poses[POSE_VOICE_FIRST + 3].position[2], -3.0f);
  // Read back whole, the state is the preset.
  PropertyBlock plugin = capture();
  EXPECT_EQ(differences(b, plugin), "");
}

}  // namespace
