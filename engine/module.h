// The host's output-module record and the process-wide state of the module
// entry (the enabled flag, the hidden plug-in window).
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/win32.h"

#ifdef _WIN32
#define SONORIUM_CDECL __cdecl
#else
#define SONORIUM_CDECL
#endif

// The published layout: on 32-bit Windows every field is 32 bits, 80 bytes in
// all. The callbacks are cdecl.
struct Out_Module {
  int version;
  const char *description;
  intptr_t id;
  HWND hMainWindow;
  HINSTANCE hDllInstance;
  void(SONORIUM_CDECL *Config)(HWND hwndParent);
  void(SONORIUM_CDECL *About)(HWND hwndParent);
  void(SONORIUM_CDECL *Init)(void);
  void(SONORIUM_CDECL *Quit)(void);
  int(SONORIUM_CDECL *Open)(int samplerate, int numchannels, int bitspersamp, int bufferlenms, int prebufferms);
  void(SONORIUM_CDECL *Close)(void);
  int(SONORIUM_CDECL *Write)(char *buf, int len);
  int(SONORIUM_CDECL *CanWrite)(void);
  int(SONORIUM_CDECL *IsPlaying)(void);
  int(SONORIUM_CDECL *Pause)(int pause);
  void(SONORIUM_CDECL *SetVolume)(int volume);
  void(SONORIUM_CDECL *SetPan)(int pan);
  void(SONORIUM_CDECL *Flush)(int t);
  int(SONORIUM_CDECL *GetOutputTime)(void);
  int(SONORIUM_CDECL *GetWrittenTime)(void);
};

#define OUT_MODULE_DESCRIPTION "Sonorium output plug-in v1.06"
#define OUT_MODULE_ID 0x11175

// Host messages: WM_USER to hMainWindow with wParam 0 and the code in lParam.
#define IPC_GETPLUGINDIRECTORY 336
#define IPC_ISFULLSTOP 400

// The one record, returned by winampGetOutModule.
extern Out_Module out_module;

// Count of devices that passed the full EAX 2.0 test in Init; 0 = disabled.
// Written only by Init, read by every thread.
extern std::atomic<uint32_t> enabled_flag;

// The hidden plug-in window; owns the modeless dialogs and is the
// cooperative-level window of the device.
extern std::atomic<HWND> plugin_window;

// The tray's notify window; Config sends it WM_COMMAND CONFIG_COMMAND_ID.
// Null while there is none.
extern std::atomic<HWND> notify_window;
#define CONFIG_COMMAND_ID 95

// The texts of Config's box in disabled mode.
#define DISABLED_MESSAGE "Sorry, plugin is disabled, no full EAX 2.0 capable card found."

// Sends one of the host messages to the host's main window; 0 when the host
// has not given one yet.
intptr_t host_message(int code);
// The same for the output thread, which must never wait on the host's thread
// without bound: the host's thread may itself be waiting for the output
// thread (Quit joins it). False when the host did not answer within
// timeout_ms; *result is 0 then.
bool host_message_bounded(int code, int timeout_ms, intptr_t *result);

// The module's instance: hDllInstance once the host has filled it in,
// otherwise the instance the loader gave the DLL entry point.
HINSTANCE module_instance(void);
