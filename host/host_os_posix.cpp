#include <dlfcn.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>

#include "card/card_api.h"
#include "host/host_os.h"
#include "platform/clock.h"

namespace {
HostIpcAnswer ipc_answer = nullptr;

LRESULT main_window_proc(HWND, UINT msg, WPARAM, LPARAM lparam) {
  if (msg != WM_USER || !ipc_answer) return 0;
  return ipc_answer(lparam);
}
}  // namespace

void *host_load_library(const std::string &path, std::string *error) {
  void *library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char *e = dlerror();
    *error = e ? e : "dlopen failed";
  }
  return library;
}

void *host_symbol(void *library, const char *name) { return dlsym(library, name); }

void host_free_library(void *library) {
  if (library) dlclose(library);
}

std::string host_folder_of(const std::string &path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

char host_separator(void) { return '/'; }

std::string host_absolute(const std::string &path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

std::string host_default_plugin(void) {
  char self[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n > 0) {
    self[n] = 0;
    std::string beside = host_folder_of(self) + "/out_sonorium.so";
    if (access(beside.c_str(), R_OK) == 0) return beside;
  }
#ifdef SONORIUM_BUILT_PLUGIN
  return SONORIUM_BUILT_PLUGIN;
#else
  return "out_sonorium.so";
#endif
}

bool host_make_dir(const std::string &path) {
  if (mkdir(path.c_str(), 0777) == 0) return true;
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string host_make_temp_dir(std::string *error) {
  const char *base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/sonorium-settings-XXXXXX";
  std::string buf = pattern;
  if (!mkdtemp(&buf[0])) {
    *error = "cannot create a temporary folder from " + pattern + ": " + std::strerror(errno);
    return std::string();
  }
  return buf;
}

void host_remove_temp_dir(const std::string &dir) {
  DIR *d = opendir(dir.c_str());
  if (d) {
    while (dirent *e = readdir(d)) {
      std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      std::string path = dir + "/" + name;
      struct stat st;
      if (lstat(path.c_str(), &st) != 0) continue;
      if (S_ISDIR(st.st_mode)) {
        DIR *sub = opendir(path.c_str());
        if (sub) {
          while (dirent *f = readdir(sub)) {
            std::string n = f->d_name;
            if (n != "." && n != "..") unlink((path + "/" + n).c_str());
          }
          closedir(sub);
        }
        rmdir(path.c_str());
      } else {
        unlink(path.c_str());
      }
    }
    closedir(d);
  }
  rmdir(dir.c_str());
}

bool host_stderr_is_terminal(void) { return isatty(STDERR_FILENO) == 1; }

HWND host_create_main_window(HostIpcAnswer answer) {
  ipc_answer = answer;
  return platform_create_window(main_window_proc, nullptr);
}

void host_destroy_main_window(HWND window) {
  platform_destroy_window(window);
  ipc_answer = nullptr;
}

// A send to a stand-in window is a direct call: there is nothing to serve.
void host_pump_messages(void) {}

bool host_card_api(HostCardApi *out) {
  out->setSinkWav = card_set_sink_wav;
  out->setRoom = card_set_room;
  out->setSimulatedTime = card_set_simulated_time;
  return true;
}

bool host_simulated_clock_available(void) { return true; }

void host_clock_thread(int join) {
  if (join)
    clock_thread_register();
  else
    clock_thread_unregister();
}
