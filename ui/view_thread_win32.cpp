// The view thread: the plug-in's own user-interface thread. It owns the DS3D
// positioning window and serves its messages until the window is destroyed.
#include <atomic>
#include <cstring>

#include "resources/resource_ids.h"
#include "ui/tray.h"

namespace {

// Overlapped window with caption, system menu, sizing frame and minimize
// box, no maximize box; children and siblings clipped for the GL view.
const DWORD kViewStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_CLIPSIBLINGS |
                         WS_CLIPCHILDREN;
static_assert(kViewStyle == 0x06CE0000, "view window style");
const UINT kViewClassStyle = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC;
static_assert(kViewClassStyle == 0x2B, "view class style");
// How long Quit waits for the view thread to finish.
const DWORD kStopTimeoutMs = 5000;
// How long Init waits for the window to be made.
const DWORD kStartTimeoutMs = 5000;

HINSTANCE view_instance = nullptr;
HANDLE view_thread = nullptr;
DWORD view_thread_id = 0;
HANDLE view_ready = nullptr;
std::atomic<HWND> view{nullptr};

DWORD WINAPI view_thread_main(LPVOID) {
  WNDCLASSEXA wc;
  std::memset(&wc, 0, sizeof wc);
  wc.cbSize = sizeof wc;
  wc.style = kViewClassStyle;
  wc.lpfnWndProc = view_window_proc;
  wc.hInstance = view_instance;
  wc.hIcon = LoadIconA(view_instance, MAKEINTRESOURCEA(IDI_VIEW));
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = nullptr;  // the view paints every pixel itself
  wc.lpszClassName = VIEW_WINDOW_CLASS;
  RegisterClassExA(&wc);
  HWND window = CreateWindowExA(0, VIEW_WINDOW_CLASS, VIEW_WINDOW_CLASS, kViewStyle, 0, 0, view_width.load(),
                                view_height.load(), nullptr, nullptr, view_instance, nullptr);
  view.store(window);
  // The message queue exists from here on, so Quit can reach the thread.
  MSG msg;
  PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
  SetEvent(view_ready);
  if (window) {
    ShowWindow(window, view_shown.load() ? SW_SHOW : SW_HIDE);
    UpdateWindow(window);
  }
  // -1 (a failed GetMessageA) keeps the loop going like any nonzero result.
  while (GetMessageA(&msg, nullptr, 0, 0) != 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}

// Waits for `object` while serving the messages other threads send to this
// one. The view thread's window may send to the host's windows while it is
// created or destroyed (activation moving to them), and the host's thread
// is the one waiting here; posted messages stay queued for the host.
// Returns as MsgWaitForMultipleObjects does for the first of `objects` set.
DWORD wait_serving_sends(DWORD count, const HANDLE *objects, DWORD timeout_ms) {
  DWORD start = GetTickCount();
  for (;;) {
    DWORD elapsed = GetTickCount() - start;
    DWORD left = elapsed >= timeout_ms ? 0 : timeout_ms - elapsed;
    DWORD r = MsgWaitForMultipleObjects(count, objects, FALSE, left, QS_SENDMESSAGE);
    if (r != WAIT_OBJECT_0 + count) return r;
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

}  // namespace

// The window's outer size, so the next window made is as large as this one.
void view_window_sized(HWND window) {
  RECT r;
  if (!GetWindowRect(window, &r)) return;
  if (r.right - r.left > 0 && r.bottom - r.top > 0) {
    view_width.store(r.right - r.left);
    view_height.store(r.bottom - r.top);
  }
}

void view_window_destroyed(void) { view.store(nullptr); }

HWND view_window(void) { return view.load(); }

void view_thread_start(HINSTANCE instance) {
  if (view_thread) return;
  view_instance = instance;
  view_ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  view_thread = CreateThread(nullptr, 0, view_thread_main, nullptr, 0, &view_thread_id);
  // Until the window exists (or the thread gave up), so that Quit right
  // after Init finds the window to have destroyed.
  if (view_thread && view_ready) {
    HANDLE either[2] = {view_ready, view_thread};
    wait_serving_sends(2, either, kStartTimeoutMs);
  }
}

void view_thread_stop(void) {
  if (!view_thread) return;
  HWND window = view.load();
  // The window belongs to the view thread, so that thread destroys it (and
  // with it the window's drawing context); WM_DESTROY then ends its loop.
  // Without a window the loop is ended directly.
  if (!(window && PostMessageA(window, VIEW_MESSAGE_DESTROY, 0, 0)))
    PostThreadMessageA(view_thread_id, WM_QUIT, 0, 0);
  if (wait_serving_sends(1, &view_thread, kStopTimeoutMs) != WAIT_OBJECT_0) {
    // A thread that does not end would run on in a DLL that the host is
    // about to unload; ending it here is the lesser harm.
    TerminateThread(view_thread, 0);
    WaitForSingleObject(view_thread, kStopTimeoutMs);
  }
  CloseHandle(view_thread);
  view_thread = nullptr;
  view_thread_id = 0;
  if (view_ready) CloseHandle(view_ready);
  view_ready = nullptr;
  view.store(nullptr);
  UnregisterClassA(VIEW_WINDOW_CLASS, view_instance);
}
