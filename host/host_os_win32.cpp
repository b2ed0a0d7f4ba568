#include <io.h>

#include <cstdio>

#include "host/host_os.h"

namespace {
HostIpcAnswer ipc_answer = nullptr;
const char *const WINDOW_CLASS = "Sonorium player";

LRESULT CALLBACK main_window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_USER && ipc_answer) return ipc_answer(lparam);
  return DefWindowProcA(hwnd, msg, wparam, lparam);
}

template <typename T>
T card_function(HMODULE card, const char *name) {
  return reinterpret_cast<T>(reinterpret_cast<void *>(GetProcAddress(card, name)));
}
}  // namespace

void *host_load_library(const std::string &path, std::string *error) {
  HMODULE library = LoadLibraryA(path.c_str());
  if (!library) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "LoadLibrary failed with error %lu", static_cast<unsigned long>(GetLastError()));
    *error = buf;
  }
  return reinterpret_cast<void *>(library);
}

void *host_symbol(void *library, const char *name) {
  return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void host_free_library(void *library) {
  if (library) FreeLibrary(static_cast<HMODULE>(library));
}

std::string host_folder_of(const std::string &path) {
  size_t slash = path.find_last_of("\\/");
  if (slash == std::string::npos) return ".";
  return path.substr(0, slash);
}

char host_separator(void) { return '\\'; }

std::string host_absolute(const std::string &path) {
  char full[MAX_PATH];
  DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  return n > 0 && n < sizeof full ? std::string(full) : path;
}

std::string host_default_plugin(void) {
  char self[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
  if (n == 0 || n >= sizeof self) return "out_sonorium.dll";
  return host_folder_of(self) + "\\out_sonorium.dll";
}

bool host_make_dir(const std::string &path) {
  if (CreateDirectoryA(path.c_str(), nullptr)) return true;
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string host_make_temp_dir(std::string *error) {
  char base[MAX_PATH];
  DWORD n = GetTempPathA(sizeof base, base);
  if (n == 0 || n >= sizeof base) {
    *error = "no temporary folder";
    return std::string();
  }
  for (unsigned i = 0; i < 100; ++i) {
    char name[MAX_PATH + 64];
    std::snprintf(name, sizeof name, "%ssonorium-settings-%lu-%u", base,
                  static_cast<unsigned long>(GetCurrentProcessId()), i);
    if (CreateDirectoryA(name, nullptr)) return name;
  }
  *error = std::string("cannot create a temporary folder in ") + base;
  return std::string();
}

void host_remove_temp_dir(const std::string &dir) {
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = dir + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        WIN32_FIND_DATAA inner;
        HANDLE g = FindFirstFileA((path + "\\*").c_str(), &inner);
        if (g != INVALID_HANDLE_VALUE) {
          do {
            if (!(inner.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
              DeleteFileA((path + "\\" + inner.cFileName).c_str());
          } while (FindNextFileA(g, &inner));
          FindClose(g);
        }
        RemoveDirectoryA(path.c_str());
      } else {
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(h, &found));
    FindClose(h);
  }
  RemoveDirectoryA(dir.c_str());
}

bool host_stderr_is_terminal(void) { return _isatty(_fileno(stderr)) != 0; }

HWND host_create_main_window(HostIpcAnswer answer) {
  ipc_answer = answer;
  WNDCLASSA wc = {};
  wc.lpfnWndProc = main_window_proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = WINDOW_CLASS;
  RegisterClassA(&wc);
  // A message-only window: it is never shown, only sent to.
  return CreateWindowExA(0, WINDOW_CLASS, "Sonorium player", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

void host_destroy_main_window(HWND window) {
  if (window) DestroyWindow(window);
  UnregisterClassA(WINDOW_CLASS, GetModuleHandleA(nullptr));
  ipc_answer = nullptr;
}

// Sends from the plug-in's own threads wait until this thread looks at its
// queue; PeekMessage serves them.
void host_pump_messages(void) {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

bool host_card_api(HostCardApi *out) {
  *out = HostCardApi();
  HMODULE card = GetModuleHandleA("dsound.dll");
  if (!card) return false;
  out->setSinkWav = card_function<int (*)(const char *)>(card, "card_set_sink_wav");
  out->setRoom = card_function<void (*)(int)>(card, "card_set_room");
  out->setSimulatedTime = card_function<int (*)(int)>(card, "card_set_simulated_time");
  return out->setSinkWav && out->setRoom;
}

bool host_simulated_clock_available(void) { return false; }

void host_clock_thread(int) {}
