// The few Win32 types, constants and calls that the portable code uses.
// On Windows this is <windows.h>; elsewhere the same names are declared here
// with their published values, so engine and device code is one source.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <cstddef>
#include <cstdint>

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int BOOL;
typedef unsigned int UINT;
typedef int32_t HRESULT;
typedef void *LPVOID;
typedef const void *LPCVOID;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef DWORD *LPDWORD;
typedef LONG *LPLONG;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef void *HANDLE;
typedef struct HWND__ *HWND;
typedef struct HINSTANCE__ *HINSTANCE;
typedef HINSTANCE HMODULE;

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
typedef GUID *LPGUID;
typedef const GUID *LPCGUID;
typedef const GUID &REFGUID;
typedef const GUID &REFIID;
typedef GUID IID;

inline bool operator==(const GUID &a, const GUID &b) {
  const uint8_t *p = reinterpret_cast<const uint8_t *>(&a);
  const uint8_t *q = reinterpret_cast<const uint8_t *>(&b);
  for (size_t i = 0; i < sizeof(GUID); ++i)
    if (p[i] != q[i]) return false;
  return true;
}
inline bool operator!=(const GUID &a, const GUID &b) { return !(a == b); }

#define TRUE 1
#define FALSE 0
#define WINAPI
#define CALLBACK
#define STDMETHODCALLTYPE

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001)
#define E_NOINTERFACE ((HRESULT)0x80004002)
#define E_POINTER ((HRESULT)0x80004003)
#define E_FAIL ((HRESULT)0x80004005)
#define E_OUTOFMEMORY ((HRESULT)0x8007000E)
#define E_INVALIDARG ((HRESULT)0x80070057)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

#define WM_DESTROY 0x0002
#define WM_COMMAND 0x0111
#define WM_USER 0x0400

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

typedef LRESULT (*WNDPROC)(HWND, UINT, WPARAM, LPARAM);

// A stand-in window: a procedure and the code that sends to it. A host creates
// its main window with platform_create_window, and SendMessageA calls the
// procedure on the sending thread, as a same-thread send does on Windows.
struct HWND__ {
  WNDPROC proc;
  void *user;
};

extern "C" {
HWND platform_create_window(WNDPROC proc, void *user);
void platform_destroy_window(HWND hwnd);
LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
}
#endif
