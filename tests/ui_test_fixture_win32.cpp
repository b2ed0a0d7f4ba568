#include "tests/ui_test_fixture.h"

#include <commctrl.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "host/host_os.h"
#include "support/png.h"

namespace uitest {

namespace {

const char kHostClass[] = "Sonorium test host";

// What the stand-in main window knows and has been asked; it lives in the
// window's user data from WM_NCCREATE to WM_NCDESTROY.
struct HostState {
  std::string pluginDir;
  std::mutex lock;
  std::map<LPARAM, int> asked;
};

LRESULT CALLBACK host_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  HostState *state = reinterpret_cast<HostState *>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  switch (msg) {
    case WM_NCCREATE: {
      auto *create = reinterpret_cast<CREATESTRUCTA *>(lparam);
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
      break;
    }
    case WM_NCDESTROY:
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
      delete state;
      break;
    case WM_USER:
      if (!state) return 0;
      {
        std::lock_guard<std::mutex> hold(state->lock);
        ++state->asked[lparam];
      }
      if (lparam == IPC_GETPLUGINDIRECTORY) return reinterpret_cast<LRESULT>(state->pluginDir.c_str());
      if (lparam == IPC_ISFULLSTOP) return 1;
      return 0;
    default: break;
  }
  return DefWindowProcA(hwnd, msg, wparam, lparam);
}

bool register_host_class() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = host_proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kHostClass;
  return RegisterClassA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// Temporary plug-in folders stay until the program ends, so a test can look
// at what Quit wrote after plugin_unload.
struct TempFolders {
  std::vector<std::string> made;
  ~TempFolders() {
    for (const std::string &dir : made) host_remove_temp_dir(dir);
  }
};
TempFolders temp_folders;

// The card each loaded plug-in holds (by its host window), released after
// the plug-in; the system counts the loads of the one DLL.
std::map<HWND, HMODULE> cards;

std::string program_folder() {
  char self[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
  if (n == 0 || n >= sizeof self) return ".";
  return host_folder_of(self);
}

bool is_absolute(const char *path) { return path[0] == '\\' || path[0] == '/' || (path[0] && path[1] == ':'); }

bool file_exists(const std::string &path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

void notify_command(HWND control, int code) {
  HWND parent = GetParent(control);
  if (!parent) return;
  int id = GetDlgCtrlID(control);
  SendMessageA(parent, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(control));
}

LRESULT notify_tab(HWND tab, UINT code) {
  HWND parent = GetParent(tab);
  if (!parent) return 0;
  NMHDR header = {};
  header.hwndFrom = tab;
  header.idFrom = UINT_PTR(GetDlgCtrlID(tab));
  header.code = code;
  return SendMessageA(parent, WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
}

// The window whose left button is held by left_down, for the MK_LBUTTON
// of the moves that follow (a drag).
HWND pressed_window = nullptr;

// Creates every missing folder along `path`.
bool make_dirs(const std::string &path) {
  for (size_t i = 1; i < path.size(); ++i) {
    if ((path[i] == '\\' || path[i] == '/') && path[i - 1] != ':' && path[i - 1] != '\\' && path[i - 1] != '/')
      CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
  }
  return host_make_dir(path);
}

// Paints into a top-down 32-bit DIB; the pixels as B,G,R,x.
struct Capture {
  int width = 0, height = 0;
  std::vector<uint8_t> bgrx;
};

// Under Wine without a window manager the frame and caption of a top-level
// window belong to nobody, so the window's own pixels have none. They are
// drawn here as the system draws them, around the client pixels.
void draw_frame(HWND window, HDC dc, int w, int h, POINT client, SIZE size) {
  LONG_PTR style = GetWindowLongPtrA(window, GWL_STYLE);
  int saved = SaveDC(dc);
  ExcludeClipRect(dc, client.x, client.y, client.x + size.cx, client.y + size.cy);
  RECT all = {0, 0, w, h};
  FillRect(dc, &all, GetSysColorBrush(COLOR_3DFACE));
  if (style & (WS_BORDER | WS_DLGFRAME | WS_THICKFRAME)) DrawEdge(dc, &all, EDGE_RAISED, BF_RECT);
  if ((style & WS_CAPTION) == WS_CAPTION) {
    int edge = client.x;  // the frame is as wide on every side
    RECT caption = {edge, edge, w - edge, edge + GetSystemMetrics(SM_CYCAPTION) - 1};
    if (caption.bottom > client.y) caption.bottom = client.y;
    if (caption.bottom > caption.top) {
      UINT flags = DC_TEXT | DC_GRADIENT;
      if (GetForegroundWindow() == window) flags |= DC_ACTIVE;
      // Only windows with an icon show one; dialog frames have none.
      if (SendMessageA(window, WM_GETICON, ICON_SMALL, 0) || GetClassLongPtrA(window, GCLP_HICONSM)) flags |= DC_ICON;
      DrawCaption(window, dc, &caption, flags);
      if (style & WS_SYSMENU) {
        int button = caption.bottom - caption.top - 4;
        RECT close = {caption.right - button - 2, caption.top + 2, caption.right - 2, caption.bottom - 2};
        // The button face, and the cross drawn with lines: the glyph font
        // the system would use is not always installed.
        DrawFrameControl(dc, &close, DFC_BUTTON, DFCS_BUTTONPUSH);
        HPEN pen = CreatePen(PS_SOLID, 2, GetSysColor(COLOR_BTNTEXT));
        HGDIOBJ previous = SelectObject(dc, pen);
        int inset = (close.bottom - close.top) / 4 + 1;
        MoveToEx(dc, close.left + inset, close.top + inset, nullptr);
        LineTo(dc, close.right - inset, close.bottom - inset);
        MoveToEx(dc, close.right - inset, close.top + inset, nullptr);
        LineTo(dc, close.left + inset, close.bottom - inset);
        SelectObject(dc, previous);
        DeleteObject(pen);
      }
    }
  }
  RestoreDC(dc, saved);
}

// Where the client area lies in the window's rectangle, and its size.
void client_place(HWND window, const RECT &frame, POINT *at, SIZE *size) {
  RECT c = {};
  GetClientRect(window, &c);
  POINT origin = {0, 0};
  ClientToScreen(window, &origin);
  at->x = origin.x - frame.left;
  at->y = origin.y - frame.top;
  size->cx = c.right;
  size->cy = c.bottom;
}

// The strip between the top of the window and its client area shows one
// colour only: nothing drew a caption there.
bool caption_missing(const uint32_t *px, int w, int client_y) {
  if (client_y <= 0) return false;
  for (int i = 1; i < w * client_y; ++i)
    if ((px[i] & 0xFFFFFF) != (px[0] & 0xFFFFFF)) return false;
  return true;
}

bool capture_with(HWND window, bool print, Capture &out) {
  RECT r;
  if (!GetWindowRect(window, &r)) return false;
  int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return false;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void *bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (dc && dib && bits) {
    HGDIOBJ old = SelectObject(dc, dib);
    // A colour no window paints with, to tell painted pixels from untouched.
    std::memset(bits, 0xFE, size_t(w) * h * 4);
    if (print) {
      ok = PrintWindow(window, dc, 0) != 0;
    } else {
      HDC window_dc = GetWindowDC(window);
      ok = window_dc && BitBlt(dc, 0, 0, w, h, window_dc, 0, 0, SRCCOPY);
      if (window_dc) ReleaseDC(window, window_dc);
      if (!ok) ok = BitBlt(dc, 0, 0, w, h, screen, r.left, r.top, SRCCOPY) != 0;
      if (ok && !(GetWindowLongPtrA(window, GWL_STYLE) & WS_CHILD)) {
        POINT at;
        SIZE size;
        client_place(window, r, &at, &size);
        GdiFlush();
        if (caption_missing(static_cast<const uint32_t *>(bits), w, at.y)) draw_frame(window, dc, w, h, at, size);
      }
    }
    GdiFlush();
    SelectObject(dc, old);
    if (ok) {
      out.width = w;
      out.height = h;
      out.bgrx.assign(static_cast<uint8_t *>(bits), static_cast<uint8_t *>(bits) + size_t(w) * h * 4);
    }
  }
  if (dib) DeleteObject(dib);
  if (dc) DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return ok;
}

bool one_colour(const Capture &c) {
  const uint32_t *p = reinterpret_cast<const uint32_t *>(c.bgrx.data());
  size_t n = size_t(c.width) * c.height;
  for (size_t i = 1; i < n; ++i)
    if ((p[i] & 0xFFFFFF) != (p[0] & 0xFFFFFF)) return false;
  return true;
}

}  // namespace

bool plugin_load(Plugin &plugin, const char *dll_name, const char *plugin_dir) {
  plugin = Plugin();
  std::string error;
  if (plugin_dir) {
    plugin.plugin_dir = plugin_dir;
  } else {
    plugin.plugin_dir = host_make_temp_dir(&error);
    if (plugin.plugin_dir.empty()) {
      std::fprintf(stderr, "uitest: %s\n", error.c_str());
      return false;
    }
    temp_folders.made.push_back(plugin.plugin_dir);
  }

  if (!register_host_class()) {
    std::fprintf(stderr, "uitest: cannot register the host window class\n");
    return false;
  }
  auto *state = new HostState;
  state->pluginDir = plugin.plugin_dir;
  // A top-level window like the player's, never shown.
  plugin.host_window = CreateWindowExA(0, kHostClass, "Sonorium test host", WS_OVERLAPPEDWINDOW, 0, 0, 320, 200,
                                       nullptr, nullptr, GetModuleHandleA(nullptr), state);
  if (!plugin.host_window) {
    delete state;
    std::fprintf(stderr, "uitest: cannot create the host window\n");
    return false;
  }

  std::string folder = program_folder();
  std::string card = folder + "\\dsound.dll";
  if (file_exists(card)) {
    HMODULE loaded = LoadLibraryA(card.c_str());
    if (!loaded) {
      std::fprintf(stderr, "uitest: cannot load %s (error %lu)\n", card.c_str(), GetLastError());
      plugin_unload(plugin);
      return false;
    }
    cards[plugin.host_window] = loaded;
  }

  std::string path = is_absolute(dll_name) ? std::string(dll_name) : folder + "\\" + dll_name;
  plugin.dll = static_cast<HMODULE>(host_load_library(path, &error));
  if (!plugin.dll) {
    std::fprintf(stderr, "uitest: cannot load %s: %s\n", path.c_str(), error.c_str());
    plugin_unload(plugin);
    return false;
  }
  typedef Out_Module *(__cdecl * GetModule)(void);
  auto get = reinterpret_cast<GetModule>(host_symbol(plugin.dll, "winampGetOutModule"));
  Out_Module *module = get ? get() : nullptr;
  if (!module) {
    std::fprintf(stderr, "uitest: %s has no output module\n", path.c_str());
    plugin_unload(plugin);
    return false;
  }

  plugin.module = module;
  module->hMainWindow = plugin.host_window;
  module->hDllInstance = plugin.dll;
  module->Init();
  // The output thread asks for the plug-in folder on its first pass and
  // reads its settings there; waiting for that keeps a test from racing the
  // load, and keeps Quit from waiting on a thread that waits on this one.
  // A disabled plug-in has no output thread and never asks.
  pump_until([&] { return host_asked(plugin, IPC_GETPLUGINDIRECTORY) > 0; }, 1500);
  pump(20);
  return true;
}

void plugin_unload(Plugin &plugin) {
  if (plugin.module) {
    plugin.module->Quit();
    plugin.module->hMainWindow = nullptr;
    plugin.module = nullptr;
  }
  pump(0);
  if (plugin.dll) {
    FreeLibrary(plugin.dll);
    plugin.dll = nullptr;
  }
  if (plugin.host_window) {
    auto card = cards.find(plugin.host_window);
    if (card != cards.end()) {
      FreeLibrary(card->second);
      cards.erase(card);
    }
    DestroyWindow(plugin.host_window);
    plugin.host_window = nullptr;
  }
}

int host_asked(const Plugin &plugin, LPARAM code) {
  if (!plugin.host_window) return 0;
  auto *state = reinterpret_cast<HostState *>(GetWindowLongPtrA(plugin.host_window, GWLP_USERDATA));
  if (!state) return 0;
  std::lock_guard<std::mutex> hold(state->lock);
  auto it = state->asked.find(code);
  return it == state->asked.end() ? 0 : it->second;
}

void pump(int ms) {
  DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    int left = ms - int(GetTickCount() - start);
    if (left <= 0) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(left), QS_ALLINPUT);
  }
}

namespace {
struct FindQuery {
  const char *className;
  const char *title;
  HWND found;
};

BOOL CALLBACK find_top(HWND hwnd, LPARAM context) {
  auto *q = reinterpret_cast<FindQuery *>(context);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != GetCurrentProcessId()) return TRUE;
  if (q->className && class_of(hwnd) != q->className) return TRUE;
  if (q->title && text_of(hwnd) != q->title) return TRUE;
  q->found = hwnd;
  return FALSE;
}

struct ChildQuery {
  int id;
  HWND found;
};

BOOL CALLBACK find_id(HWND hwnd, LPARAM context) {
  auto *q = reinterpret_cast<ChildQuery *>(context);
  if (GetDlgCtrlID(hwnd) != q->id) return TRUE;
  q->found = hwnd;
  return FALSE;
}
}  // namespace

HWND find_window(const char *class_name, const char *title) {
  FindQuery q = {class_name, title, nullptr};
  EnumWindows(find_top, reinterpret_cast<LPARAM>(&q));
  return q.found;
}

HWND find_child(HWND parent, int id) {
  ChildQuery q = {id, nullptr};
  EnumChildWindows(parent, find_id, reinterpret_cast<LPARAM>(&q));
  return q.found;
}

std::vector<HWND> children(HWND parent) {
  std::vector<HWND> list;
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) list.push_back(c);
  return list;
}

std::string class_of(HWND window) {
  char name[256];
  int n = GetClassNameA(window, name, sizeof name);
  return std::string(name, n > 0 ? size_t(n) : 0);
}

std::string text_of(HWND window) {
  int length = GetWindowTextLengthA(window);
  std::string text(size_t(length) + 1, '\0');
  int n = GetWindowTextA(window, &text[0], length + 1);
  text.resize(n > 0 ? size_t(n) : 0);
  return text;
}

LONG_PTR style_of(HWND window) { return GetWindowLongPtrA(window, GWL_STYLE); }
LONG_PTR exstyle_of(HWND window) { return GetWindowLongPtrA(window, GWL_EXSTYLE); }
bool is_enabled(HWND window) { return IsWindowEnabled(window) != 0; }
bool is_visible(HWND window) { return IsWindowVisible(window) != 0; }
int check_of(HWND button) { return int(SendMessageA(button, BM_GETCHECK, 0, 0)); }

RECT rect_in_parent(HWND control) {
  RECT r = {};
  GetWindowRect(control, &r);
  HWND parent = GetParent(control);
  if (parent && (style_of(control) & WS_CHILD)) MapWindowPoints(nullptr, parent, reinterpret_cast<POINT *>(&r), 2);
  return r;
}

RECT rect_in_dialog_units(HWND dialog, HWND control) {
  // The pixels of 400 x 800 units give the dialog's scale with enough digits
  // to round single units correctly.
  RECT scale = {0, 0, 400, 800};
  if (!MapDialogRect(dialog, &scale) || scale.right <= 0 || scale.bottom <= 0) {
    LONG base = GetDialogBaseUnits();
    scale.right = LOWORD(base) * 100;
    scale.bottom = HIWORD(base) * 100;
  }
  RECT px = {};
  GetWindowRect(control, &px);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT *>(&px), 2);
  auto units = [](LONG pixels, LONG per, int count) { return LONG(std::lround(double(pixels) * count / per)); };
  return RECT{units(px.left, scale.right, 400), units(px.top, scale.bottom, 800), units(px.right, scale.right, 400),
              units(px.bottom, scale.bottom, 800)};
}

void click(HWND button) { SendMessageA(button, BM_CLICK, 0, 0); }

void mouse_move(HWND window, int x, int y) {
  WPARAM keys = pressed_window == window ? MK_LBUTTON : 0;
  SendMessageA(window, WM_MOUSEMOVE, keys, MAKELPARAM(x, y));
}

void mouse_leave(HWND window) { SendMessageA(window, WM_MOUSELEAVE, 0, 0); }

void left_down(HWND window, int x, int y) {
  pressed_window = window;
  SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
}

void left_up(HWND window, int x, int y) {
  if (pressed_window == window) pressed_window = nullptr;
  SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

void left_click(HWND window, int x, int y) {
  mouse_move(window, x, y);
  left_down(window, x, y);
  left_up(window, x, y);
}

void set_trackbar(HWND trackbar, int position) {
  SendMessageA(trackbar, TBM_SETPOS, TRUE, position);
  HWND parent = GetParent(trackbar);
  if (!parent) return;
  // The trackbar keeps the position within its range; a drag reports where
  // the thumb really is.
  int at = int(SendMessageA(trackbar, TBM_GETPOS, 0, 0));
  UINT msg = (style_of(trackbar) & TBS_VERT) ? WM_VSCROLL : WM_HSCROLL;
  LPARAM from = reinterpret_cast<LPARAM>(trackbar);
  SendMessageA(parent, msg, MAKEWPARAM(TB_THUMBTRACK, at), from);
  SendMessageA(parent, msg, MAKEWPARAM(TB_THUMBPOSITION, at), from);
  SendMessageA(parent, msg, MAKEWPARAM(TB_ENDTRACK, 0), from);
}

void select_combo(HWND combo, int index) {
  SendMessageA(combo, CB_SETCURSEL, WPARAM(index), 0);
  notify_command(combo, CBN_SELCHANGE);
}

void select_list(HWND list, int index) {
  if (style_of(list) & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) {
    // Multiple-selection lists have no current selection to set; a click
    // selects the one item.
    SendMessageA(list, LB_SETSEL, FALSE, -1);
    SendMessageA(list, LB_SETSEL, TRUE, index);
    SendMessageA(list, LB_SETCARETINDEX, WPARAM(index), FALSE);
  } else {
    SendMessageA(list, LB_SETCURSEL, WPARAM(index), 0);
  }
  notify_command(list, LBN_SELCHANGE);
}

void set_edit(HWND edit, const char *text) {
  SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
  // A single-line edit control reports the new text itself; a multiline one
  // (and any control of our own) does not, so it is reported here.
  bool reports_itself = lstrcmpiA(class_of(edit).c_str(), "Edit") == 0 && !(style_of(edit) & ES_MULTILINE);
  if (!reports_itself) notify_command(edit, EN_CHANGE);
}

void select_tab(HWND tab, int index) {
  // The parent may refuse to leave the page (TRUE to TCN_SELCHANGING).
  if (notify_tab(tab, TCN_SELCHANGING)) return;
  SendMessageA(tab, TCM_SETCURSEL, WPARAM(index), 0);
  notify_tab(tab, TCN_SELCHANGE);
}

std::string screenshot_dir() {
  std::string dir;
  char value[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("SONORIUM_SCREENSHOTS", value, sizeof value);
  if (n > 0 && n < sizeof value)
    dir = value;
  else
    dir = program_folder() + "\\screenshots";
  while (dir.size() > 1 && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
  make_dirs(dir);
  return dir;
}

std::vector<uint8_t> capture_rgb(HWND window, int *width, int *height) {
  *width = *height = 0;
  if (!IsWindow(window)) return {};
  // Pending paints first, so both ways of capturing see the current state.
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  pump(0);
  // A visible window is read back from its own pixels, which hold what its
  // children drew; PrintWindow asks the window to paint itself into our
  // bitmap, which also works for a hidden one but leaves out children that
  // do not answer WM_PRINT. Whichever comes first and paints more than one
  // colour is kept.
  bool visible = IsWindowVisible(window) != 0;
  Capture shot;
  bool ok = false;
  for (int attempt = 0; attempt < 2; ++attempt) {
    Capture c;
    bool print = (attempt == 0) != visible;
    if (!capture_with(window, print, c)) continue;
    bool flat = one_colour(c);
    if (!ok || !flat) {
      shot = c;
      ok = true;
    }
    if (!flat) break;
  }
  std::vector<uint8_t> rgb(size_t(shot.width) * shot.height * 3);
  for (size_t i = 0, n = size_t(shot.width) * shot.height; i < n; ++i) {
    rgb[3 * i] = shot.bgrx[4 * i + 2];
    rgb[3 * i + 1] = shot.bgrx[4 * i + 1];
    rgb[3 * i + 2] = shot.bgrx[4 * i];
  }
  *width = shot.width;
  *height = shot.height;
  return rgb;
}

std::string save_png(HWND window, const char *name) {
  if (!name || !name[0]) return std::string();
  int w = 0, h = 0;
  std::vector<uint8_t> rgb = capture_rgb(window, &w, &h);
  if (rgb.empty()) return std::string();
  std::string dir = screenshot_dir();
  char sep = dir.find('\\') == std::string::npos && dir.find('/') != std::string::npos ? '/' : '\\';
  std::string path = dir + sep + name + ".png";
  if (png_write_file(path.c_str(), rgb.data(), w, h, w * 3, 3) != 0) return std::string();
  return path;
}

}  // namespace uitest
