// The real out_sonorium.dll on the software card's drop-in dsound.dll under
// Wine: Init finds an EAX 2.0 device and the plug-in plays.

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <thread>

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

namespace {

char host_folder[MAX_PATH];

LRESULT CALLBACK quiet_host_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_USER && lparam == IPC_GETPLUGINDIRECTORY) return reinterpret_cast<LRESULT>(host_folder);
  if (msg == WM_USER && lparam == IPC_ISFULLSTOP) return 1;
  return DefWindowProcA(hwnd, msg, wparam, lparam);
}

// The output thread asks the host's window for the plug-in folder on its
// first pass; only the host's thread can answer. A host that calls Quit at
// once, without serving messages in between, has that thread waiting for the
// output thread to end: the question must give up rather than wait forever.
TEST(ModuleOnCard, QuitRightAfterInitReturnsWhileTheFolderQuestionWaits) {
  GetTempPathA(MAX_PATH, host_folder);
  WNDCLASSA wc = {};
  wc.lpfnWndProc = quiet_host_proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "Sonorium quiet host";
  RegisterClassA(&wc);
  HWND host = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
  ASSERT_NE(host, nullptr);
  HMODULE library = LoadLibraryA("out_sonorium.dll");
  ASSERT_NE(library, nullptr);
  GetModule get = reinterpret_cast<GetModule>(
      reinterpret_cast<void (*)(void)>(GetProcAddress(library, "winampGetOutModule")));
  ASSERT_NE(get, nullptr);
  Out_Module *module = get();
  module->hMainWindow = host;
  module->hDllInstance = library;
  for (int round = 0; round < 3; ++round) {
    std::atomic<bool> done{false};
    // A hang is a failure with a message, not a test run that never ends.
    std::thread watchdog([&done] {
      for (int ms = 0; ms < 20000 && !done.load(); ms += 10) Sleep(10);
      if (!done.load()) {
        fprintf(stderr, "Quit did not return within 20 s of Init\n");
        fflush(stderr);
        ExitProcess(3);
      }
    });
    DWORD start = GetTickCount();
    module->Init();
    module->Quit();
    done = true;
    watchdog.join();
    EXPECT_LT(GetTickCount() - start, 10000u) << "round " << round;
  }
  module->hMainWindow = nullptr;
  module->hDllInstance = nullptr;
  DestroyWindow(host);
  FreeLibrary(library);
}

}  // namespace
