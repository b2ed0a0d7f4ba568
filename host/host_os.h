// The player's seam to the operating system: loading the plug-in, the
// main window that answers the host messages, the folders it needs, and
// the software card's own functions.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32.h"

// Loads a shared library; null with a message on failure.
void *host_load_library(const std::string &path, std::string *error);
void *host_symbol(void *library, const char *name);
void host_free_library(void *library);

// The plug-in used when none is named: the one beside the player, else
// (natively) the one of the build the player belongs to.
std::string host_default_plugin(void);
std::string host_absolute(const std::string &path);
std::string host_folder_of(const std::string &path);
char host_separator(void);

bool host_make_dir(const std::string &path);  // true if it exists afterwards
// A new empty folder for temporary settings; empty with a message on failure.
std::string host_make_temp_dir(std::string *error);
// Removes the files of `dir` and its subfolders one level deep, then dir.
void host_remove_temp_dir(const std::string &dir);

bool host_stderr_is_terminal(void);

// The main window. `answer` is asked for the value of every WM_USER
// message (lParam = the IPC code). Messages sent from other threads are
// served by host_pump_messages.
typedef intptr_t (*HostIpcAnswer)(LPARAM code);
HWND host_create_main_window(HostIpcAnswer answer);
void host_destroy_main_window(HWND window);
void host_pump_messages(void);

// The software card's functions, once the plug-in is loaded (natively the
// card is the DirectSound; on Windows only when the drop-in dsound.dll of
// the card is the one the plug-in loaded).
struct HostCardApi {
  int (*setSinkWav)(const char *path) = nullptr;
  void (*setRoom)(int on) = nullptr;
  int (*setSimulatedTime)(int on) = nullptr;
};
bool host_card_api(HostCardApi *out);

// Whether this build can run the plug-in on the simulated clock (natively:
// the plug-in, the card and the player share one clock).
bool host_simulated_clock_available(void);
// Joins (1) or leaves (0) simulated time with the calling thread.
void host_clock_thread(int join);
