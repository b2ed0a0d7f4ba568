// The real out_sonorium.dll on Wine's own DirectSound, which has no EAX 2.0:
// the disabled plug-in has no notify window (so no tray icon) and no view
// window (so no view thread), and Quit still returns cleanly.
#include <windows.h>

#include <gtest/gtest.h>

#include "engine/module.h"

namespace {

typedef Out_Module *(__cdecl *GetModule)(void);

TEST(TrayWhenDisabled, NoNotifyWindowAndNoView) {
  HMODULE library = LoadLibraryA("out_sonorium.dll");
  ASSERT_NE(library, nullptr);
  GetModule get = reinterpret_cast<GetModule>(
      reinterpret_cast<void (*)(void)>(GetProcAddress(library, "winampGetOutModule")));
  ASSERT_NE(get, nullptr);
  Out_Module *module = get();
  module->hDllInstance = library;

  module->Init();
  ASSERT_EQ(module->Open(44100, 2, 16, -1, -1), -1) << "Wine's DirectSound should leave the plug-in disabled";
  EXPECT_NE(FindWindowA("Sonorium plugin", "Sonorium plugin"), nullptr) << "the hidden window stays";
  EXPECT_EQ(FindWindowA("Sonorium notifywindow", nullptr), nullptr);
  EXPECT_EQ(FindWindowA("DS3D positioning", nullptr), nullptr);

  module->Quit();
  EXPECT_EQ(FindWindowA("Sonorium plugin", nullptr), nullptr);
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  module->hDllInstance = nullptr;
  FreeLibrary(library);
}

}  // namespace
