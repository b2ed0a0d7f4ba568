// The device probe against a DirectSound nobody here wrote: Wine's own.
// Wine lists an output device only when it has an audio driver to talk to,
// so the program runs in a home of its own whose .asoundrc sends the ALSA
// default device to the null plug-in (Wine takes HOME from the unix side at
// its start, so the test script makes that home and starts Wine in it).
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "device/device.h"
#include "engine/module.h"
#include "engine/settings.h"

namespace {

struct Found {
  int withGuid;
  int withoutGuid;
  GUID first;
};

BOOL CALLBACK collect(LPGUID guid, LPCSTR, LPCSTR, LPVOID context) {
  Found *found = static_cast<Found *>(context);
  if (!guid) {
    ++found->withoutGuid;
  } else {
    if (found->withGuid == 0) found->first = *guid;
    ++found->withGuid;
  }
  return TRUE;
}

class WineDirectSound : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = CreateWindowExA(0, "STATIC", "device test", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    plugin_window.store(window_);
    live_settings = engine_settings_defaults;
    deviceGuid = GUID{};
    enabled_flag.store(0);
  }
  void TearDown() override {
    device_close();
    plugin_window.store(nullptr);
    if (window_) DestroyWindow(window_);
  }
  HWND window_ = nullptr;
};

TEST_F(WineDirectSound, ListsTheNullDeviceAfterThePrimaryDriver) {
  Found found = {};
  ASSERT_EQ(DS_OK, DirectSoundEnumerateA(collect, &found));
  EXPECT_EQ(1, found.withoutGuid);
  EXPECT_GE(found.withGuid, 1);
}

TEST_F(WineDirectSound, RefusesHardwareVoicesAndAcceptsSoftwareOnes) {
  Found found = {};
  ASSERT_EQ(DS_OK, DirectSoundEnumerateA(collect, &found));
  ASSERT_GE(found.withGuid, 1);
  IDirectSound8 *ds = nullptr;
  ASSERT_EQ(DS_OK, DirectSoundCreate8(&found.first, &ds, nullptr));
  ASSERT_EQ(DS_OK, ds->SetCooperativeLevel(window_, DSSCL_PRIORITY));
  WAVEFORMATEX format = {WAVE_FORMAT_PCM, 1, 48000, 96000, 2, 16, 0};
  DSBUFFERDESC desc = {};
  desc.dwSize = sizeof(DSBUFFERDESC1);
  desc.dwBufferBytes = 96000;
  desc.lpwfxFormat = &format;
  IDirectSoundBuffer *buffer = nullptr;
  desc.dwFlags = 0x180B4;
  EXPECT_TRUE(FAILED(ds->CreateSoundBuffer(&desc, &buffer, nullptr)));
  if (buffer) buffer->Release();
  buffer = nullptr;
  desc.dwFlags = 0x180B0;
  EXPECT_EQ(DS_OK, ds->CreateSoundBuffer(&desc, &buffer, nullptr));
  if (buffer) buffer->Release();
  ds->Release();
}

TEST_F(WineDirectSound, ProbeTakesTheSoftwareFallbackAndFindsNoEax) {
  ASSERT_EQ(DS_OK, DirectSoundEnumerateA(eax_probe_callback, nullptr));
  EXPECT_EQ(0u, enabled_flag.load());
  EXPECT_STREQ("EAX 2.0 support not available", device_set.statusText.load());
  uint32_t flags = device_set.stateFlags.load();
  EXPECT_EQ(DEVICE_SOFTWARE_VOICES, flags & DEVICE_SOFTWARE_VOICES);
  EXPECT_FALSE(device_ready());
  // The probe closes every device it opened.
  EXPECT_EQ(nullptr, device_set.device);
  EXPECT_EQ(nullptr, device_set.primary);
  EXPECT_EQ(nullptr, device_set.listener);
  for (int i = 0; i < VOICE_COUNT; ++i) {
    EXPECT_EQ(nullptr, device_set.buffers[i]);
    EXPECT_EQ(nullptr, device_set.propertySets[i]);
  }
}

TEST_F(WineDirectSound, DefaultDeviceOpensEverythingButEax) {
  device_open(0);
  EXPECT_STREQ("EAX 2.0 support not available", device_set.statusText.load());
  EXPECT_FALSE(device_ready());
  EXPECT_TRUE(device_voices_ready());
  EXPECT_NE(nullptr, device_set.listener);
  for (int i = 0; i < VOICE_COUNT; ++i) EXPECT_NE(nullptr, device_set.propertySets[i]) << i;
  EXPECT_EQ(96000u, device_set.voiceBufferBytes);
  // The voices still play from a shared memory: what L1 holds, L2 reads.
  VoiceLock lock;
  ASSERT_TRUE(voice_lock(device_set.buffer8s[L1], 0, 64, &lock));
  std::memset(lock.ptr1, 0x5A, lock.bytes1);
  voice_unlock(device_set.buffer8s[L1], &lock);
  VoiceLock copy;
  ASSERT_TRUE(voice_lock(device_set.buffer8s[L2], 0, 64, &copy));
  EXPECT_EQ(0x5A, static_cast<unsigned char *>(copy.ptr1)[10]);
  voice_unlock(device_set.buffer8s[L2], &copy);
}

// True when the home Wine was started with holds the .asoundrc that sends
// the ALSA default device to the null plug-in. Wine keeps the unix HOME in
// the Windows environment as WINEHOMEDIR, an NT path.
bool null_alsa_home(void) {
  char home[MAX_PATH];
  DWORD length = GetEnvironmentVariableA("WINEHOMEDIR", home, MAX_PATH);
  if (length < 5 || length >= MAX_PATH - 16 || std::strncmp(home, "\\??\\", 4) != 0) return false;
  char rc[MAX_PATH + 16];
  std::snprintf(rc, sizeof rc, "%s\\.asoundrc", home + 4);
  HANDLE file = CreateFileA(rc, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char text[256] = {};
  DWORD got = 0;
  ReadFile(file, text, sizeof text - 1, &got, nullptr);
  CloseHandle(file);
  return std::strstr(text, "pcm.!default") && std::strstr(text, "type null");
}

}  // namespace

int main(int argc, char **argv) {
  if (!null_alsa_home()) {
    std::fprintf(stderr,
                 "run under Wine with HOME set to a fresh folder whose .asoundrc holds "
                 "'pcm.!default { type null }'\n");
    return 1;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
