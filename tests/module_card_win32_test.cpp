// The real out_sonorium.dll on the software card's drop-in dsound.dll under
// Wine: Init finds an EAX 2.0 device and the plug-in plays.

#include <windows.h>

#include <gtest/gtest.h>

#include "engine/module.h"

namespace {

typedef Out_Module *(__cdecl *GetModule)(void);
typedef int (*CardLiveDevices)(void);
typedef int (*CardLiveBuffers)(void);

TEST(ModuleOnCard, InitFindsTheEaxDeviceAndThePluginPlays) {
  // The card is the dsound.dll beside this program; its API is exported
  // from the same library the plug-in uses.
  HMODULE card = LoadLibraryA("dsound.dll");
  ASSERT_NE(card, nullptr);
  auto live_devices = reinterpret_cast<CardLiveDevices>(
      reinterpret_cast<void (*)(void)>(GetProcAddress(card, "card_live_devices")));
  auto live_buffers = reinterpret_cast<CardLiveBuffers>(
      reinterpret_cast<void (*)(void)>(GetProcAddress(card, "card_live_buffers")));
  ASSERT_NE(live_devices, nullptr) << "the software card's dsound.dll is not the one loaded";
  ASSERT_NE(live_buffers, nullptr);

  HMODULE library = LoadLibraryA("out_sonorium.dll");
  ASSERT_NE(library, nullptr);
  GetModule get = reinterpret_cast<GetModule>(
      reinterpret_cast<void (*)(void)>(GetProcAddress(library, "winampGetOutModule")));
  ASSERT_NE(get, nullptr);
  Out_Module *module = get();
  module->hDllInstance = library;

  module->Init();
  // The default device stays open with its primary buffer and four voices.
  EXPECT_EQ(live_devices(), 1);
  EXPECT_EQ(live_buffers(), 5);
  int latency = module->Open(44100, 2, 16, -1, -1);
  EXPECT_GE(latency, 0) << "the plug-in should be enabled on an EAX 2.0 device";

  // A quarter second of a quiet tone goes in without complaint.
  static short block[576 * 2];
  for (int i = 0; i < 576; ++i) block[2 * i] = block[2 * i + 1] = short((i % 100) * 20 - 1000);
  for (int n = 0; n < 20; ++n) {
    if (module->CanWrite() >= int(sizeof block)) module->Write(reinterpret_cast<char *>(block), sizeof block);
  }
  EXPECT_GT(module->GetWrittenTime(), 0);
  module->Close();
  module->Quit();
  EXPECT_EQ(live_devices(), 0);
  EXPECT_EQ(live_buffers(), 0);
}

}  // namespace
