// For Windows test programs that link the plug-in's window code and its
// dialog templates into themselves: the common controls, the skin as Init
// starts it, and a stand-in for the hidden plug-in window that owns the
// dialogs. Test-only.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "skin/skin.h"

namespace uitest {

// The stand-in owner window while the environment is set up.
inline HWND static_ui_owner = nullptr;

class StaticUiEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    INITCOMMONCONTROLSEX icc = {sizeof icc, 0x401C};
    InitCommonControlsEx(&icc);
    skin_init(2048);
    skin_install(0);
    static_ui_owner =
        CreateWindowExA(0, "STATIC", "owner", 0, 0, 0, 0, 0, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  }
  void TearDown() override {
    DestroyWindow(static_ui_owner);
    static_ui_owner = nullptr;
    skin_install(1);
    skin_shutdown();
  }
};

}  // namespace uitest
