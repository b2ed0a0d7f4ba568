// Init's device probe as the host sees it: the real out_sonorium.so on
// software-card devices configured before Init.

#include <dlfcn.h>

#include <string>

#include <gtest/gtest.h>

#include "card/card_api.h"
#include "engine/module.h"

namespace {

class ModuleDevices : public ::testing::Test {
 protected:
  void SetUp() override {
    card_reset();
    card_clear_devices();
    library_ = dlopen(SONORIUM_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library_, nullptr) << dlerror();
    auto get = reinterpret_cast<Out_Module *(*)(void)>(dlsym(library_, "winampGetOutModule"));
    ASSERT_NE(get, nullptr);
    module_ = get();
  }
  void TearDown() override {
    if (library_) dlclose(library_);
    card_reset();
  }
  void add_device(const char *name, int eax, uint8_t tag) {
    CardDeviceConfig config;
    card_default_device_config(&config);
    snprintf(config.description, sizeof config.description, "%s", name);
    config.eax = eax;
    config.guid.Data4[7] = tag;
    ASSERT_GE(card_add_device(&config), 0);
  }

  void *library_ = nullptr;
  Out_Module *module_ = nullptr;
};

TEST_F(ModuleDevices, OnlyADeviceWithoutEaxLeavesThePluginDisabled) {
  add_device("Plain stereo card", 0, 1);
  module_->Init();
  EXPECT_EQ(card_live_devices(), 0) << "a disabled plug-in keeps no device";
  EXPECT_EQ(card_live_buffers(), 0);
  EXPECT_EQ(module_->Open(44100, 2, 16, -1, -1), -1);

  testing::internal::CaptureStderr();
  module_->Config(nullptr);
  std::string shown = testing::internal::GetCapturedStderr();
  EXPECT_NE(shown.find("Sorry, plugin is disabled, no full EAX 2.0 capable card found."), std::string::npos);

  module_->Quit();
  EXPECT_EQ(card_live_devices(), 0);
}

TEST_F(ModuleDevices, TwoEaxDevicesEnableThePluginOnTheDefaultDevice) {
  add_device("First EAX card", 1, 1);
  add_device("Second EAX card", 1, 2);
  module_->Init();
  // The probes released both devices; only the default device stays open,
  // with its primary buffer and the four voices.
  EXPECT_EQ(card_live_devices(), 1);
  EXPECT_EQ(card_live_buffers(), 5);
  int latency = module_->Open(44100, 2, 16, -1, -1);
  EXPECT_GE(latency, 0);
  module_->Close();
  module_->Quit();
  EXPECT_EQ(card_live_devices(), 0);
  EXPECT_EQ(card_live_buffers(), 0);
}

}  // namespace
