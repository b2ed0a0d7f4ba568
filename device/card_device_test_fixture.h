// The plug-in's device on the software card as Init leaves it: a hidden
// plug-in window, default engine settings, no device chosen, the view's
// poses reset and the default device open. Tests of the acoustic state
// derive from it; TearDown closes the device and puts everything back.
#pragma once

#include <gtest/gtest.h>

#include <cstring>

#include "card/card_api.h"
#include "device/block.h"
#include "device/device.h"
#include "device/properties.h"
#include "engine/module.h"
#include "engine/settings.h"
#include "platform/os.h"
#include "ui/poses.h"

namespace card_device_fixture {

inline LRESULT quiet_window(HWND, UINT, WPARAM, LPARAM) { return 0; }

class DeviceOnCard : public ::testing::Test {
 protected:
  void SetUp() override {
    card_reset();
    window_ = platform_create_window(quiet_window, nullptr);
    plugin_window.store(window_);
    live_settings = engine_settings_defaults;
    deviceGuid = GUID{};
    enabled_flag.store(0);
    poses_reset();
    std::memset(&property_block, 0, sizeof property_block);
    device_open(0);
    ASSERT_TRUE(device_ready()) << device_set.statusText.load();
  }
  void TearDown() override {
    current_voice_select(NO_VOICE);
    device_close();
    if (expectAllReleased) {
      EXPECT_EQ(0, card_live_buffers());
      EXPECT_EQ(0, card_live_devices());
    }
    plugin_window.store(nullptr);
    platform_destroy_window(window_);
    poses_reset();
    card_reset();
  }
  // Whether TearDown checks that closing released every card object.
  bool expectAllReleased = true;
  HWND window_ = nullptr;
};

}  // namespace card_device_fixture
