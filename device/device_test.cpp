// The device open, release and voice wrappers against the software card.
#include "device/device.h"

#include <gtest/gtest.h>

#include <cstring>

#include "card/card_api.h"
#include "device/report.h"
#include "engine/module.h"
#include "engine/settings.h"
#include "platform/os.h"

namespace {

LRESULT quiet_window(HWND, UINT, WPARAM, LPARAM) { return 0; }

GUID device_guid(uint8_t tag) {
  GUID g = {0x5A0A0000u + tag, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, tag}};
  return g;
}

CardDeviceConfig device_config(uint8_t tag, int eax, int hardware) {
  CardDeviceConfig c;
  card_default_device_config(&c);
  c.guid = device_guid(tag);
  c.eax = eax;
  c.hardwareVoices = hardware;
  return c;
}

class Device : public ::testing::Test {
 protected:
  void SetUp() override {
    card_reset();
    window_ = platform_create_window(quiet_window, nullptr);
    plugin_window.store(window_);
    live_settings = engine_settings_defaults;
    deviceGuid = GUID{};
    enabled_flag.store(0);
  }
  void TearDown() override {
    device_close();
    device_report_refresh_hook = nullptr;
    EXPECT_EQ(0, card_live_buffers());
    EXPECT_EQ(0, card_live_devices());
    plugin_window.store(nullptr);
    platform_destroy_window(window_);
    card_reset();
  }
  HWND window_ = nullptr;
};

void expect_closed(void) {
  EXPECT_EQ(nullptr, device_set.device);
  EXPECT_EQ(nullptr, device_set.primary);
  EXPECT_EQ(nullptr, device_set.listener);
  for (int i = 0; i < VOICE_COUNT; ++i) {
    EXPECT_EQ(nullptr, device_set.buffers[i]) << i;
    EXPECT_EQ(nullptr, device_set.buffer8s[i]) << i;
    EXPECT_EQ(nullptr, device_set.buffers3d[i]) << i;
    EXPECT_EQ(nullptr, device_set.propertySets[i]) << i;
  }
}

// --- Probing ----------------------------------------------------------------

TEST_F(Device, OnlyDeviceWithoutEaxIsNotCounted) {
  card_clear_devices();
  CardDeviceConfig c = device_config(1, 0, 1);
  ASSERT_GE(card_add_device(&c), 0);
  ASSERT_EQ(DS_OK, DirectSoundEnumerateA(eax_probe_callback, nullptr));
  EXPECT_EQ(0u, enabled_flag.load());
  EXPECT_STREQ("EAX 2.0 support not available", device_set.statusText.load());
  EXPECT_FALSE(device_ready());
  EXPECT_EQ(0, card_live_devices());
  expect_closed();
}

struct ProbeLog {
  int probed;
  int liveAfter[4];
  GUID guids[4];
};

BOOL CALLBACK logged_probe(LPGUID guid, LPCSTR description, LPCSTR module, LPVOID context) {
  ProbeLog *log = static_cast<ProbeLog *>(context);
  BOOL more = eax_probe_callback(guid, description, module, nullptr);
  if (guid && log->probed < 4) {
    log->guids[log->probed] = *guid;
    log->liveAfter[log->probed] = card_live_devices() + card_live_buffers();
    ++log->probed;
  }
  return more;
}

TEST_F(Device, TwoEaxDevicesAreEachOpenedAndReleasedOnce) {
  card_clear_devices();
  CardDeviceConfig a = device_config(1, 1, 1), b = device_config(2, 1, 1);
  ASSERT_GE(card_add_device(&a), 0);
  ASSERT_GE(card_add_device(&b), 0);
  ProbeLog log = {};
  ASSERT_EQ(DS_OK, DirectSoundEnumerateA(logged_probe, &log));
  EXPECT_EQ(2u, enabled_flag.load());
  ASSERT_EQ(2, log.probed);
  EXPECT_TRUE(log.guids[0] == a.guid);
  EXPECT_TRUE(log.guids[1] == b.guid);
  EXPECT_EQ(0, log.liveAfter[0]);
  EXPECT_EQ(0, log.liveAfter[1]);
  EXPECT_STREQ(DEVICE_TEXT_OK, device_set.statusText.load());
  // The probe leaves the last device it saw; Init then returns to the default.
  EXPECT_TRUE(deviceGuid == b.guid);
}

TEST_F(Device, FullOpenHasEverythingAndStartsNoVoice) {
  int refreshes = 0;
  static int *counter;
  counter = &refreshes;
  device_report_refresh_hook = [] { ++*counter; };
  device_open(0);
  EXPECT_TRUE(device_ready());
  EXPECT_TRUE(device_voices_ready());
  EXPECT_EQ(0u, device_set.stateFlags.load() & DEVICE_SOFTWARE_VOICES);
  EXPECT_STREQ(DEVICE_TEXT_OK, device_set.statusText.load());
  EXPECT_STREQ(DEVICE_TEXT_NO_DRIVER, device_report_text);
  EXPECT_EQ(1, refreshes);
  EXPECT_EQ(KSPROPERTY_SUPPORT_GET | KSPROPERTY_SUPPORT_SET, device_set.eaxSupport);
  EXPECT_EQ(DSSCL_PRIORITY, card_cooperative_level(device_set.device));
  EXPECT_EQ(5, card_live_buffers());
  EXPECT_TRUE(card_buffer_is_playing(device_set.primary));
  for (int i = 0; i < VOICE_COUNT; ++i) {
    EXPECT_FALSE(card_buffer_is_playing(device_set.buffers[i])) << i;
    EXPECT_EQ(0x180B4u, card_buffer_flags(device_set.buffers[i]) & 0x180BCu) << i;
  }
}

// --- Failing steps ------------------------------------------------------------

struct FailCase {
  int step;
  int skip;
  const char *text;
  bool voicesReady;
};

const FailCase fail_cases[] = {
    {CARD_FAIL_CREATE, 0, "Failed to create DirectSound object", false},
    {CARD_FAIL_COOPERATIVE_LEVEL, 0, "Failed to set cooperative level", false},
    {CARD_FAIL_PRIMARY_BUFFER, 0, "Failed to create primary buffer", false},
    {CARD_FAIL_SET_FORMAT, 0, "Failed to set output format", false},
    {CARD_FAIL_PRIMARY_PLAY, 0, "Can't play primary buffer", false},
    {CARD_FAIL_DUPLICATE, 1, "Failed to create secondary buffers", false},
    {CARD_FAIL_QI_BUFFER8, 0, "Failed to create DirectSoundBuffer8 interfaces", false},
    {CARD_FAIL_QI_BUFFER8, 3, "Failed to create DirectSoundBuffer8 interfaces", false},
    {CARD_FAIL_QI_LISTENER, 0, "Failed to create 3D Listener interface", true},
    {CARD_FAIL_QI_3DBUFFER, 2, "Failed to create 3D Buffer interfaces", true},
    {CARD_FAIL_QI_PROPERTYSET, 3, "Failed to get property set interfaces", true},
    {CARD_FAIL_EAX_QUERY, 0, "EAX 2.0 support not available", true},
};

TEST_F(Device, EachFailingStepLeavesItsTextAndNoReadyDevice) {
  for (const FailCase &f : fail_cases) {
    SCOPED_TRACE(f.text);
    card_fail_clear();
    card_fail(f.step, f.skip, -1, 0);
    device_open(0);
    EXPECT_STREQ(f.text, device_set.statusText.load());
    EXPECT_FALSE(device_ready());
    EXPECT_EQ(f.voicesReady, device_voices_ready());
    // What a partial open acquired is released by the close.
    device_close();
    card_fail_clear();
    EXPECT_EQ(0, card_live_buffers());
    EXPECT_EQ(0, card_live_devices());
    expect_closed();
  }
}

TEST_F(Device, SecondaryBuffersFailingInSoftwareToo) {
  card_fail(CARD_FAIL_SECONDARY_BUFFER, 0, -1, 0);
  device_open(0);
  EXPECT_STREQ("Failed to create secondary buffers", device_set.statusText.load());
  EXPECT_EQ(DEVICE_SOFTWARE_VOICES, device_set.stateFlags.load());
}

TEST_F(Device, NoHardwareVoicesFallsBackToSoftware) {
  card_clear_devices();
  CardDeviceConfig c = device_config(1, 1, 0);
  ASSERT_GE(card_add_device(&c), 0);
  device_open(0);
  EXPECT_TRUE(device_ready());
  EXPECT_EQ(DEVICE_SOFTWARE_VOICES, device_set.stateFlags.load() & DEVICE_SOFTWARE_VOICES);
  EXPECT_STREQ("ok - using DirectX 8 interface", device_set.statusText.load());
  for (int i = 0; i < VOICE_COUNT; ++i) EXPECT_EQ(0u, card_buffer_flags(device_set.buffers[i]) & DSBCAPS_LOCHARDWARE);
}

TEST_F(Device, HardwareFailureAfterTwoVoicesReleasesThemBeforeSoftware) {
  card_fail(CARD_FAIL_HARDWARE_BUFFER, 2, -1, 0);
  device_open(0);
  EXPECT_TRUE(device_ready());
  EXPECT_EQ(DEVICE_SOFTWARE_VOICES, device_set.stateFlags.load() & DEVICE_SOFTWARE_VOICES);
  EXPECT_EQ(5, card_live_buffers());
}

// --- Sizes and the voices-only reopen -----------------------------------------

TEST(VoiceBufferSize, IsNinetySixBytesPerMillisecondInWholeBlocksOf32) {
  EXPECT_EQ(96000u, voice_buffer_size(1000));
  EXPECT_EQ(33600u, voice_buffer_size(350));
  EXPECT_EQ(96u, voice_buffer_size(1));
  EXPECT_EQ(0u, voice_buffer_size(0));
  for (int ms = 1; ms <= 5000; ms += 7) EXPECT_EQ(0u, voice_buffer_size(ms) % 32) << ms;
}

TEST_F(Device, VoicesOnlyReopenKeepsDeviceAndMakesVoicesOfTheNewSize) {
  device_open(0);
  ASSERT_TRUE(device_ready());
  IDirectSound8 *device = device_set.device;
  IDirectSoundBuffer *primary = device_set.primary;
  IDirectSound3DListener *listener = device_set.listener;
  DSBCAPS caps = {sizeof(DSBCAPS), 0, 0, 0, 0};
  device_set.buffer8s[R2]->GetCaps(&caps);
  EXPECT_EQ(96000u, caps.dwBufferBytes);

  voices_release();
  EXPECT_FALSE(device_ready());
  EXPECT_EQ(1, card_live_buffers());
  live_settings.bufferLengthMs = 350;
  device_open(1);
  EXPECT_TRUE(device_ready());
  EXPECT_EQ(device, device_set.device);
  EXPECT_EQ(primary, device_set.primary);
  EXPECT_EQ(listener, device_set.listener);
  EXPECT_EQ(33600u, device_set.voiceBufferBytes);
  for (int i = 0; i < VOICE_COUNT; ++i) {
    caps.dwBufferBytes = 0;
    device_set.buffer8s[i]->GetCaps(&caps);
    EXPECT_EQ(33600u, caps.dwBufferBytes) << i;
  }
  EXPECT_EQ(5, card_live_buffers());
}

TEST_F(Device, VoicesOnlyOpenWithoutDeviceFails) {
  device_open(1);
  EXPECT_STREQ("Failed to create secondary buffers", device_set.statusText.load());
  EXPECT_FALSE(device_ready());
}

// --- The voices -----------------------------------------------------------------

TEST_F(Device, DuplicatePlaysWhatTheOriginalHoldsAndKeepsItsOwnVolumeAndPlace) {
  card_set_sink_memory(48000);
  device_open(0);
  ASSERT_TRUE(device_ready());
  IDirectSoundBuffer8 **v = device_set.buffer8s;
  VoiceLock lock;
  ASSERT_TRUE(voice_lock(v[L1], 0, device_set.voiceBufferBytes, &lock));
  int16_t *samples = static_cast<int16_t *>(lock.ptr1);
  for (DWORD i = 0; i < lock.bytes1 / 2; ++i) samples[i] = 8000;
  voice_unlock(v[L1], &lock);

  // Only L2 is heard.
  voice_set_volume(v[L1], -10000);
  voice_set_volume(v[R1], -10000);
  voice_set_volume(v[R2], -10000);
  voice_set_volume(v[L2], -600);
  device_set.buffers3d[L2]->SetPosition(3.0f, 1.0f, 2.0f, DS3D_IMMEDIATE);
  EXPECT_EQ(-10000, voice_get_volume(v[L1]));
  EXPECT_EQ(-600, voice_get_volume(v[L2]));
  D3DVECTOR where = {};
  device_set.buffers3d[L1]->GetPosition(&where);
  EXPECT_EQ(0.0f, where.x);
  EXPECT_EQ(0.0f, where.y);
  EXPECT_EQ(0.0f, where.z);

  for (int i = 0; i < VOICE_COUNT; ++i) EXPECT_EQ(DS_OK, voice_play(v[i]));
  os_sleep(100);
  card_mix_now();
  uint32_t frames = card_memory_frames();
  ASSERT_GT(frames, 0u);
  const int16_t *out = card_memory_samples();
  int peak = 0;
  for (uint32_t i = 0; i < frames * 2; ++i) peak = out[i] > peak ? out[i] : (-out[i] > peak ? -out[i] : peak);
  EXPECT_GT(peak, 1000);
  for (int i = 0; i < VOICE_COUNT; ++i) voice_stop(v[i]);
}

TEST_F(Device, LostBufferGivesTheRememberedCursorsUntilAGoodQuery) {
  device_open(0);
  ASSERT_TRUE(device_ready());
  IDirectSoundBuffer8 *l1 = device_set.buffer8s[L1];
  voice_set_cursor(l1, 4000);
  DWORD play = 0, write = 0;
  EXPECT_EQ(DS_OK, voice_get_cursors(l1, &play, &write));
  EXPECT_EQ(4000u, play);
  EXPECT_EQ(0, device_set.bufferLost.load());
  DWORD good_write = write;

  ASSERT_EQ(0, card_lose_buffer(device_set.buffers[L1]) < 0 ? -1 : 0);
  play = write = 12345;
  EXPECT_EQ(DSERR_BUFFERLOST, voice_get_cursors(l1, &play, &write));
  EXPECT_EQ(1, device_set.bufferLost.load());
  EXPECT_EQ(4000u, play);
  EXPECT_EQ(good_write, write);
  VoiceLock lock = {reinterpret_cast<void *>(1), 1, nullptr, 0};
  EXPECT_FALSE(voice_lock(l1, 0, 64, &lock));
  EXPECT_EQ(nullptr, lock.ptr1);
  EXPECT_EQ(0u, lock.bytes1);
  EXPECT_EQ(DSERR_BUFFERLOST, voice_play(l1));
  EXPECT_EQ(1, device_set.bufferLost.load());

  EXPECT_EQ(DS_OK, l1->Restore());
  voice_set_cursor(l1, 800);
  EXPECT_EQ(DS_OK, voice_get_cursors(l1, &play, &write));
  EXPECT_EQ(0, device_set.bufferLost.load());
  EXPECT_EQ(800u, play);
  EXPECT_EQ(800u, device_set.rememberedPlay.load());
}

TEST_F(Device, LockFailureClearsTheSlotsWithoutFlaggingLoss) {
  device_open(0);
  ASSERT_TRUE(device_ready());
  card_fail(CARD_FAIL_LOCK, 0, 1, 0);
  VoiceLock lock;
  EXPECT_FALSE(voice_lock(device_set.buffer8s[R1], 0, 64, &lock));
  EXPECT_EQ(nullptr, lock.ptr1);
  EXPECT_EQ(0, device_set.bufferLost.load());
  // Each routine's slots are its own: a second lock leaves the first alone.
  VoiceLock a, b;
  ASSERT_TRUE(voice_lock(device_set.buffer8s[R1], 0, 64, &a));
  ASSERT_TRUE(voice_lock(device_set.buffer8s[L1], 128, 64, &b));
  EXPECT_NE(a.ptr1, b.ptr1);
  EXPECT_EQ(64u, a.bytes1);
  voice_unlock(device_set.buffer8s[L1], &b);
  voice_unlock(device_set.buffer8s[R1], &a);
}

TEST_F(Device, WrappersDoNothingOnNull) {
  DWORD play = 7, write = 9;
  device_set.bufferLost.store(0);
  EXPECT_TRUE(FAILED(voice_get_cursors(nullptr, &play, &write)));
  EXPECT_EQ(7u, play);
  EXPECT_EQ(9u, write);
  VoiceLock lock;
  EXPECT_FALSE(voice_lock(nullptr, 0, 64, &lock));
  EXPECT_EQ(nullptr, lock.ptr1);
  voice_unlock(nullptr, &lock);
  EXPECT_TRUE(FAILED(voice_play(nullptr)));
  voice_stop(nullptr);
  voice_set_cursor(nullptr, 10);
  voice_set_frequency(nullptr, 44100);
  voice_set_volume(nullptr, -100);
  EXPECT_EQ(0, voice_get_volume(nullptr));
  EXPECT_EQ(0u, device_get_speaker_config(nullptr));
  EXPECT_EQ(0, device_set.bufferLost.load());
  // Releasing what was never opened is harmless.
  voices_release();
  device_close();
  expect_closed();
}

TEST_F(Device, SpeakerConfigComesFromTheDevice) {
  card_clear_devices();
  CardDeviceConfig c = device_config(1, 1, 1);
  c.speakerConfig = 0x00050004;
  ASSERT_GE(card_add_device(&c), 0);
  device_open(0);
  EXPECT_EQ(0x00050004u, device_get_speaker_config(device_set.device));
}

}  // namespace
