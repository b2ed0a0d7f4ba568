// The plug-in module's state that the device reads (the hidden window and
// the enabled flag). The module itself is not linked into the tests.
#include <atomic>
#include <cstdint>

#include "engine/module.h"

std::atomic<uint32_t> enabled_flag{0};
std::atomic<HWND> plugin_window{nullptr};
