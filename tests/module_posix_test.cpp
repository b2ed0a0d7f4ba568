// The plug-in as a host loads it: out_sonorium.so through dlopen, the record
// from winampGetOutModule, and the host's floating-point state across every
// entry point that computes.

#include <dlfcn.h>

#include <cstdint>
#include <cstring>

#include <gtest/gtest.h>

#include "engine/module.h"

namespace {

Out_Module *load_module(void **library) {
  *library = dlopen(SONORIUM_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
  if (!*library) return nullptr;
  auto get = reinterpret_cast<Out_Module *(*)(void)>(dlsym(*library, "winampGetOutModule"));
  return get ? get() : nullptr;
}

struct FpState {
  uint16_t x87;
  uint32_t mxcsr;
};

FpState read_fp_state() {
  FpState s{};
#if defined(__i386__) || defined(__x86_64__)
  __asm__ __volatile__("fnstcw %0" : "=m"(s.x87));
  __asm__ __volatile__("stmxcsr %0" : "=m"(s.mxcsr));
#endif
  return s;
}

void write_fp_state(FpState s) {
#if defined(__i386__) || defined(__x86_64__)
  __asm__ __volatile__("fldcw %0" : : "m"(s.x87));
  __asm__ __volatile__("ldmxcsr %0" : : "m"(s.mxcsr));
#else
  (void)s;
#endif
}

// Round toward zero at double precision on the x87; round up, flush to zero
// and denormals-are-zero on SSE. Exceptions stay masked, so nothing traps
// in the test's own code.
const FpState kUnusual = {0x0E7F, 0xDFC0};

class ModuleEntry : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = load_module(&library_);
    ASSERT_NE(module_, nullptr) << dlerror();
    host_ = platform_create_window(host_proc, nullptr);
    module_->hMainWindow = host_;
  }
  void TearDown() override {
    if (module_) module_->hMainWindow = nullptr;
    platform_destroy_window(host_);
    if (library_) dlclose(library_);
  }
  static LRESULT host_proc(HWND, UINT, WPARAM, LPARAM lparam) {
    if (lparam == IPC_GETPLUGINDIRECTORY) return reinterpret_cast<LRESULT>("/nonexistent-plugin-folder");
    return lparam == IPC_ISFULLSTOP ? 1 : 0;
  }

  // Calls f with the unusual state loaded and returns the state found after.
  template <typename F>
  FpState around(F f) {
    FpState saved = read_fp_state();
    write_fp_state(kUnusual);
    f();
    FpState after = read_fp_state();
    write_fp_state(saved);
    return after;
  }

  void *library_ = nullptr;
  Out_Module *module_ = nullptr;
  HWND host_ = nullptr;
};

#define EXPECT_FP_UNCHANGED(state)            \
  do {                                        \
    FpState s_ = (state);                     \
    EXPECT_EQ(s_.x87, kUnusual.x87);          \
    EXPECT_EQ(s_.mxcsr, kUnusual.mxcsr);      \
  } while (0)

TEST_F(ModuleEntry, RecordCarriesTheModulesIdentityAndEveryCallback) {
  EXPECT_EQ(module_->version, 0x10);
  EXPECT_STREQ(module_->description, "Sonorium output plug-in v1.06");
  EXPECT_EQ(module_->id, 70005);
  EXPECT_EQ(module_->hDllInstance, nullptr);
  const void *callbacks[] = {
      reinterpret_cast<const void *>(module_->Config),        reinterpret_cast<const void *>(module_->About),
      reinterpret_cast<const void *>(module_->Init),          reinterpret_cast<const void *>(module_->Quit),
      reinterpret_cast<const void *>(module_->Open),          reinterpret_cast<const void *>(module_->Close),
      reinterpret_cast<const void *>(module_->Write),         reinterpret_cast<const void *>(module_->CanWrite),
      reinterpret_cast<const void *>(module_->IsPlaying),     reinterpret_cast<const void *>(module_->Pause),
      reinterpret_cast<const void *>(module_->SetVolume),     reinterpret_cast<const void *>(module_->SetPan),
      reinterpret_cast<const void *>(module_->Flush),         reinterpret_cast<const void *>(module_->GetOutputTime),
      reinterpret_cast<const void *>(module_->GetWrittenTime)};
  for (const void *c : callbacks) EXPECT_NE(c, nullptr);
  // A host may ask more than once and must get the same record.
  auto get = reinterpret_cast<Out_Module *(*)(void)>(dlsym(library_, "winampGetOutModule"));
  EXPECT_EQ(get(), module_);
}

TEST_F(ModuleEntry, ModuleInternalsAreNotExported) {
  EXPECT_EQ(dlsym(library_, "out_module"), nullptr);
  EXPECT_EQ(dlsym(library_, "enabled_flag"), nullptr);
  EXPECT_EQ(dlsym(library_, "_Z4Openiiiii"), nullptr);
}

TEST_F(ModuleEntry, InitAndQuitKeepTheHostsFloatingPointState) {
  EXPECT_FP_UNCHANGED(around([&] { module_->Init(); }));
  EXPECT_FP_UNCHANGED(around([&] { module_->Quit(); }));
  // A second life in the same process starts from scratch.
  EXPECT_FP_UNCHANGED(around([&] { module_->Init(); }));
  EXPECT_FP_UNCHANGED(around([&] { module_->Quit(); }));
}

TEST_F(ModuleEntry, StreamCallbacksKeepTheHostsFloatingPointState) {
  module_->Init();
  static char block[4608];
  for (size_t i = 0; i < sizeof block; ++i) block[i] = char(i * 37);
  int opened = 0;
  EXPECT_FP_UNCHANGED(around([&] { opened = module_->Open(44100, 2, 16, -1, -1); }));
  EXPECT_FP_UNCHANGED(around([&] { module_->SetVolume(-666); }));
  EXPECT_FP_UNCHANGED(around([&] { module_->SetVolume(200); }));
  EXPECT_FP_UNCHANGED(around([&] { module_->SetPan(-128); }));
  EXPECT_FP_UNCHANGED(around([&] { module_->Write(block, sizeof block); }));
  EXPECT_FP_UNCHANGED(around([&] { module_->Flush(1000); }));
  EXPECT_FP_UNCHANGED(around([&] { module_->Write(block, sizeof block); }));
  EXPECT_FP_UNCHANGED(around([&] { module_->Write(nullptr, 0); }));
  EXPECT_FP_UNCHANGED(around([&] { module_->Close(); }));
  EXPECT_FP_UNCHANGED(around([&] { module_->Quit(); }));
  (void)opened;
}

TEST_F(ModuleEntry, SetPanChangesNothing) {
  module_->Init();
  Out_Module before;
  std::memcpy(&before, module_, sizeof before);
  int written = module_->GetWrittenTime();
  int output = module_->GetOutputTime();
  for (int pan : {-128, -1, 0, 1, 127, 128, -100000, 100000}) module_->SetPan(pan);
  EXPECT_EQ(std::memcmp(&before, module_, sizeof before), 0);
  EXPECT_EQ(module_->GetWrittenTime(), written);
  EXPECT_EQ(module_->GetOutputTime(), output);
  module_->Quit();
}

}  // namespace
