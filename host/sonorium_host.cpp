// A minimal player host: loads out_sonorium.so, hands it a main window and
// its instance, runs Init, finds out whether the plug-in is enabled, and
// runs Quit.
//
//   sonorium_host [path/to/out_sonorium.so]
//
// Without a path it looks beside its own binary, then at the plug-in of the
// build it belongs to. The main window answers IPC_GETPLUGINDIRECTORY with
// the folder the plug-in was loaded from and IPC_ISFULLSTOP with 1.

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/module.h"

namespace {

std::string plugin_folder;

LRESULT main_window_proc(HWND, UINT msg, WPARAM, LPARAM lparam) {
  if (msg != WM_USER) return 0;
  if (lparam == IPC_GETPLUGINDIRECTORY) return reinterpret_cast<LRESULT>(plugin_folder.c_str());
  if (lparam == IPC_ISFULLSTOP) return 1;
  return 0;
}

std::string folder_of(const std::string &path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string absolute(const std::string &path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

std::string find_plugin(int argc, char **argv) {
  if (argc > 1) return argv[1];
  char self[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n > 0) {
    self[n] = 0;
    std::string beside = folder_of(self) + "/out_sonorium.so";
    if (access(beside.c_str(), R_OK) == 0) return beside;
  }
  return SONORIUM_BUILT_PLUGIN;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
    std::fprintf(stderr, "usage: %s [path/to/out_sonorium.so]\n", argv[0]);
    return 2;
  }
  std::string path = absolute(find_plugin(argc, argv));
  void *library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    std::fprintf(stderr, "sonorium_host: cannot load %s: %s\n", path.c_str(), dlerror());
    return 1;
  }
  typedef Out_Module *(*GetModule)(void);
  GetModule get_module = reinterpret_cast<GetModule>(dlsym(library, "winampGetOutModule"));
  if (!get_module) {
    std::fprintf(stderr, "sonorium_host: %s exports no winampGetOutModule\n", path.c_str());
    dlclose(library);
    return 1;
  }
  Out_Module *module = get_module();
  std::printf("loaded %s\n", path.c_str());
  std::printf("description: %s\n", module->description);
  std::printf("id: %ld\n", static_cast<long>(module->id));

  plugin_folder = folder_of(path);
  HWND main_window = platform_create_window(main_window_proc, nullptr);
  module->hMainWindow = main_window;
  module->hDllInstance = reinterpret_cast<HINSTANCE>(library);

  module->Init();
  int latency = module->Open(44100, 2, 16, -1, -1);
  if (latency >= 0) {
    std::printf("enabled: yes (a 44100 Hz 16-bit stereo stream opens with %d ms of buffer)\n", latency);
    module->Close();
  } else {
    std::printf("enabled: no (no sound device with full EAX 2.0 support)\n");
  }
  module->Quit();

  module->hMainWindow = nullptr;
  platform_destroy_window(main_window);
  dlclose(library);
  std::printf("Init and Quit done\n");
  return 0;
}
