// The real out_sonorium.dll as a player loads it, on Wine's own DirectSound,
// which has no EAX 2.0: the record, then the disabled plug-in's callbacks.

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "engine/module.h"

namespace {

const char kDescription[] = "Sonorium output plug-in v1.06";
const char kDisabledText[] = "Sorry, plugin is disabled, no full EAX 2.0 capable card found.";

typedef Out_Module *(__cdecl *GetModule)(void);

HMODULE plugin() {
  static HMODULE library = LoadLibraryA("out_sonorium.dll");
  return library;
}

Out_Module *module() {
  HMODULE library = plugin();
  if (!library) return nullptr;
  // Through void(*)(void), the type that may stand for any function.
  GetModule get = reinterpret_cast<GetModule>(
      reinterpret_cast<void (*)(void)>(GetProcAddress(library, "winampGetOutModule")));
  return get ? get() : nullptr;
}

bool inside_image(const void *p) {
  HMODULE base = plugin();
  auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
  auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(reinterpret_cast<const char *>(base) + dos->e_lfanew);
  uintptr_t start = reinterpret_cast<uintptr_t>(base);
  uintptr_t at = reinterpret_cast<uintptr_t>(p);
  return at >= start && at < start + nt->OptionalHeader.SizeOfImage;
}

// What a helper thread found of a top-level window of this process.
struct FoundWindow {
  std::string title;
  std::string text;  // the message box's text (control 0xFFFF)
  bool found = false;
};

struct Search {
  const char *className;
  const char *title;
  HWND hwnd;
};

BOOL CALLBACK find_window(HWND hwnd, LPARAM lparam) {
  Search *s = reinterpret_cast<Search *>(lparam);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != GetCurrentProcessId() || !IsWindowVisible(hwnd)) return TRUE;
  char cls[64] = {}, title[256] = {};
  GetClassNameA(hwnd, cls, sizeof cls);
  GetWindowTextA(hwnd, title, sizeof title);
  if (std::strcmp(cls, s->className) == 0 && std::strcmp(title, s->title) == 0) {
    s->hwnd = hwnd;
    return FALSE;
  }
  return TRUE;
}

// Runs modal() on this thread while a helper looks for the dialog box of
// class "#32770" titled title, reads it, presses its OK button and closes it.
FoundWindow dismiss_modal(const char *title, void (*modal)(void)) {
  FoundWindow result;
  std::atomic<bool> done{false};
  std::thread helper([&] {
    for (int i = 0; i < 1000 && !done.load(); ++i) {
      Search s = {"#32770", title, nullptr};
      EnumWindows(find_window, reinterpret_cast<LPARAM>(&s));
      if (s.hwnd) {
        char buffer[256] = {};
        GetWindowTextA(s.hwnd, buffer, sizeof buffer);
        result.title = buffer;
        buffer[0] = 0;
        GetDlgItemTextA(s.hwnd, 0xFFFF, buffer, sizeof buffer);
        result.text = buffer;
        result.found = true;
        PostMessageA(s.hwnd, WM_COMMAND, IDOK, 0);
        // The About dialog ignores IDOK and ends on WM_CLOSE.
        PostMessageA(s.hwnd, WM_CLOSE, 0, 0);
        return;
      }
      Sleep(10);
    }
  });
  modal();
  done.store(true);
  helper.join();
  return result;
}

HWND plugin_window() { return FindWindowA("Sonorium plugin", "Sonorium plugin"); }

TEST(ModuleRecord, ExportsOnlyTheModuleFunction) {
  ASSERT_NE(plugin(), nullptr) << "out_sonorium.dll not found beside the test";
  EXPECT_NE(GetProcAddress(plugin(), "winampGetOutModule"), nullptr);
  EXPECT_EQ(GetProcAddress(plugin(), "out_module"), nullptr);
  EXPECT_EQ(GetProcAddress(plugin(), "DllMain"), nullptr);
  // A host may ask more than once and must get the same record.
  EXPECT_EQ(module(), module());
}

TEST(ModuleRecord, HoldsThePublishedFieldsInThePublishedOrder) {
  // Twenty fields of pointer size: 80 bytes in the shipped 32-bit DLL, 160 in
  // the 64-bit test build.
  const size_t w = sizeof(void *);
#ifndef _WIN64
  static_assert(sizeof(Out_Module) == 80, "80 bytes on 32-bit Windows");
#endif
  EXPECT_EQ(sizeof(Out_Module), 20 * w);
  EXPECT_EQ(offsetof(Out_Module, version), 0u);
  EXPECT_EQ(offsetof(Out_Module, description), 1 * w);
  EXPECT_EQ(offsetof(Out_Module, id), 2 * w);
  EXPECT_EQ(offsetof(Out_Module, hMainWindow), 3 * w);
  EXPECT_EQ(offsetof(Out_Module, hDllInstance), 4 * w);
  EXPECT_EQ(offsetof(Out_Module, Config), 5 * w);
  EXPECT_EQ(offsetof(Out_Module, Quit), 8 * w);
  EXPECT_EQ(offsetof(Out_Module, Open), 9 * w);
  EXPECT_EQ(offsetof(Out_Module, SetVolume), 15 * w);
  EXPECT_EQ(offsetof(Out_Module, SetPan), 16 * w);
  EXPECT_EQ(offsetof(Out_Module, GetWrittenTime), 19 * w);

  Out_Module *m = module();
  ASSERT_NE(m, nullptr);
  // Read as the host does: twenty words of pointer size.
  const uintptr_t *word = reinterpret_cast<const uintptr_t *>(m);
  EXPECT_EQ(word[0], 0x10u);
  EXPECT_STREQ(reinterpret_cast<const char *>(word[1]), kDescription);
  EXPECT_EQ(word[2], 70005u);
  EXPECT_EQ(word[3], 0u) << "hMainWindow is the host's to fill in";
  EXPECT_EQ(word[4], 0u) << "hDllInstance is the host's to fill in";
  for (int i = 5; i < 20; ++i) {
    const void *callback = reinterpret_cast<const void *>(word[i]);
    EXPECT_NE(callback, nullptr) << "callback at field " << i;
    EXPECT_TRUE(inside_image(callback)) << "callback at field " << i;
  }
}

// Without an EAX 2.0 device the plug-in stays loaded but disabled. The host
// fills in the instance, as a player does, before Init.
class DisabledPlugin : public ::testing::Test {
 protected:
  void SetUp() override {
    m_ = module();
    ASSERT_NE(m_, nullptr);
    m_->hDllInstance = plugin();
    m_->Init();
  }
  void TearDown() override {
    if (!m_) return;
    m_->Quit();
    m_->hDllInstance = nullptr;
  }
  Out_Module *m_ = nullptr;
};

TEST_F(DisabledPlugin, ConfigShowsTheDisabledMessage) {
  FoundWindow box = dismiss_modal(kDescription, [] { module()->Config(nullptr); });
  ASSERT_TRUE(box.found) << "no message box titled \"" << kDescription << "\"";
  EXPECT_EQ(box.title, kDescription);
  EXPECT_EQ(box.text, kDisabledText);
}

TEST_F(DisabledPlugin, AboutWorksWhileDisabled) {
  FoundWindow dialog = dismiss_modal("About Sonorium plugin", [] { module()->About(nullptr); });
  EXPECT_TRUE(dialog.found) << "no About dialog";
}

TEST_F(DisabledPlugin, OpenFailsAndTheOtherStreamCallbacksDoNoHarm) {
  EXPECT_EQ(m_->Open(44100, 2, 16, -1, -1), -1);
  EXPECT_EQ(m_->Open(48000, 1, 8, 0, 0), -1);
  static char block[4608];
  m_->SetVolume(255);
  m_->SetVolume(-666);
  m_->SetPan(0);
  m_->Write(block, sizeof block);
  m_->Write(nullptr, 0);
  m_->CanWrite();
  m_->IsPlaying();
  m_->Pause(1);
  m_->Pause(0);
  m_->Flush(0);
  m_->GetOutputTime();
  m_->GetWrittenTime();
  m_->Close();
  EXPECT_EQ(m_->Open(44100, 2, 16, -1, -1), -1);
}

TEST_F(DisabledPlugin, SetPanChangesNothing) {
  Out_Module before;
  std::memcpy(&before, m_, sizeof before);
  int written = m_->GetWrittenTime();
  int output = m_->GetOutputTime();
  for (int pan : {-128, -127, 0, 127, 128, -100000, 100000}) m_->SetPan(pan);
  EXPECT_EQ(std::memcmp(&before, m_, sizeof before), 0);
  EXPECT_EQ(m_->GetWrittenTime(), written);
  EXPECT_EQ(m_->GetOutputTime(), output);
  EXPECT_EQ(m_->Open(44100, 2, 16, -1, -1), -1);
}

TEST_F(DisabledPlugin, QuitTearsDownTheHiddenWindowOnly) {
  HWND hidden = plugin_window();
  ASSERT_NE(hidden, nullptr) << "Init keeps the hidden plug-in window even when disabled";
  EXPECT_FALSE(IsWindowVisible(hidden));
  m_->Quit();
  EXPECT_EQ(plugin_window(), nullptr);
  // The host's message loop must not have been told to quit.
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  // A second Init in the same process registers and creates the window again.
  m_->Init();
  EXPECT_NE(plugin_window(), nullptr);
  EXPECT_EQ(m_->Open(44100, 2, 16, -1, -1), -1);
}

#ifndef _WIN64
// How many bytes of arguments the callee removed from the stack when called
// as a 32-bit host calls it: the arguments pushed right to left, then the
// call. A cdecl callee leaves them for the caller (0); a stdcall callee would
// remove them, and a host that pops them again would corrupt its stack.
extern "C" int sonorium_stack_left_after_call(const void *fn, const int *args, int count);
__asm__(
    ".text\n"
    ".globl _sonorium_stack_left_after_call\n"
    "_sonorium_stack_left_after_call:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  movl 8(%ebp), %ebx\n"
    "  movl 12(%ebp), %esi\n"
    "  movl 16(%ebp), %ecx\n"
    "  movl %esp, %edi\n"
    "1:\n"
    "  testl %ecx, %ecx\n"
    "  jz 2f\n"
    "  decl %ecx\n"
    "  pushl (%esi,%ecx,4)\n"
    "  jmp 1b\n"
    "2:\n"
    "  call *%ebx\n"
    "  movl %edi, %eax\n"
    "  subl %esp, %eax\n"
    "  movl %edi, %esp\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebx\n"
    "  popl %ebp\n"
    "  ret\n");

int bytes_popped_by_callee(const void *fn, const int *args, int count) {
  return 4 * count - sonorium_stack_left_after_call(fn, args, count);
}

int __attribute__((noinline)) __stdcall stdcall_callee(int x, int y) { return x + y; }
int __attribute__((noinline)) __cdecl cdecl_callee(int x, int y) { return x - y; }

TEST_F(DisabledPlugin, CallbacksWithArgumentsAreCdecl) {
  const int one[1] = {0};
  const int open_args[5] = {44100, 2, 16, -1, -1};
  const int write_args[2] = {0, 0};
  // The probe tells the two conventions apart.
  EXPECT_EQ(bytes_popped_by_callee(reinterpret_cast<const void *>(stdcall_callee), write_args, 2), 8);
  EXPECT_EQ(bytes_popped_by_callee(reinterpret_cast<const void *>(cdecl_callee), write_args, 2), 0);
  EXPECT_EQ(bytes_popped_by_callee(reinterpret_cast<const void *>(m_->SetPan), one, 1), 0);
  EXPECT_EQ(bytes_popped_by_callee(reinterpret_cast<const void *>(m_->SetVolume), one, 1), 0);
  EXPECT_EQ(bytes_popped_by_callee(reinterpret_cast<const void *>(m_->Pause), one, 1), 0);
  EXPECT_EQ(bytes_popped_by_callee(reinterpret_cast<const void *>(m_->Flush), one, 1), 0);
  EXPECT_EQ(bytes_popped_by_callee(reinterpret_cast<const void *>(m_->Open), open_args, 5), 0);
  EXPECT_EQ(bytes_popped_by_callee(reinterpret_cast<const void *>(m_->Write), write_args, 2), 0);
}
#endif

TEST(ModuleFloatingPoint, InitAndQuitKeepTheCallersState) {
  Out_Module *m = module();
  ASSERT_NE(m, nullptr);
  uint16_t saved_x87 = 0;
  __asm__ __volatile__("fnstcw %0" : "=m"(saved_x87));
  uint32_t saved_csr = 0;
  __asm__ __volatile__("stmxcsr %0" : "=m"(saved_csr));
  // Truncating double precision on the x87; round up, flush to zero and
  // denormals-are-zero on SSE; exceptions masked.
  uint16_t x87 = 0x0E7F, got_x87 = 0;
  uint32_t csr = 0xDFC0, got_csr = 0;
  __asm__ __volatile__("fldcw %0" : : "m"(x87));
  __asm__ __volatile__("ldmxcsr %0" : : "m"(csr));
  m->Init();
  m->SetVolume(100);
  m->Quit();
  __asm__ __volatile__("fnstcw %0" : "=m"(got_x87));
  __asm__ __volatile__("stmxcsr %0" : "=m"(got_csr));
  __asm__ __volatile__("fldcw %0" : : "m"(saved_x87));
  __asm__ __volatile__("ldmxcsr %0" : : "m"(saved_csr));
  EXPECT_EQ(got_x87, x87);
  EXPECT_EQ(got_csr, csr);
}

}  // namespace
