// The EAX panel: a tab control over four pages (Settings, Listener, the
// channel page shared by the four voices, About). Every control writes to
// the device at once and every page is filled by reading the device back;
// the rules are in eax_panel.cpp.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstring>

#include "device/device.h"
#include "device/eax_panel.h"
#include "device/properties.h"
#include "resources/resource_ids.h"
#include "skin/skin.h"
#include "support/fpu_guard.h"
#include "ui/about.h"
#include "ui/poses.h"
#include "ui/preset_menu.h"
#include "ui/tray.h"

namespace {

// Posted to the panel to have both pages read the device again.
const UINT kRefreshPages = WM_APP + 0x35;

std::atomic<HWND> panel{nullptr};
HWND pages[PANEL_PAGE_COUNT];
// The tab shown before a change, between TCN_SELCHANGING and TCN_SELCHANGE.
int leaving_tab;

HWND item(HWND page, int id) { return GetDlgItem(page, id); }

void set_check(HWND page, int id, bool on) {
  SendDlgItemMessageA(page, id, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

int32_t trackbar_position(HWND trackbar) { return int32_t(SendMessageA(trackbar, TBM_GETPOS, 0, 0)); }

void trackbar_setup(HWND page, int id, int32_t max) {
  HWND tb = item(page, id);
  SendMessageA(tb, TBM_SETRANGEMIN, FALSE, 0);
  SendMessageA(tb, TBM_SETRANGEMAX, TRUE, max);
}

// Repaints the DS3D view, whose fog follows the air absorption. The view
// belongs to another thread: only its window is invalidated.
void view_repaint(void) {
  HWND view = view_window();
  if (view) InvalidateRect(view, nullptr, FALSE);
}

void apply_enable_rules(HWND page, PanelEnable (*rule)(int, bool, bool), bool (*kept_empty)(int)) {
  bool ready = device_ready(), voices = device_voices_ready();
  for (HWND child = GetWindow(page, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    int id = GetDlgCtrlID(child);
    PanelEnable e = rule(id, ready, voices);
    if (e != PANEL_LEAVE) EnableWindow(child, e == PANEL_ENABLE);
    if (kept_empty(id) && GetWindowTextLengthA(child) > 0 && (GetWindowLongPtrA(child, GWL_STYLE) & ES_READONLY))
      SetWindowTextA(child, "");
  }
}

// --- Slider rows ---------------------------------------------------------------

void row_show(HWND page, const PanelRow &r) {
  HWND tb = item(page, panel_row_slider_id(r));
  char text[32];
  int32_t position = panel_row_read(r.row, trackbar_position(tb), text);
  SendMessageA(tb, TBM_SETPOS, TRUE, position);
  SetDlgItemTextA(page, r.valueId, text);
}

void row_moved(HWND page, const PanelRow &r) {
  char text[32];
  panel_row_moved(r.row, trackbar_position(item(page, panel_row_slider_id(r))), text);
  SetDlgItemTextA(page, r.valueId, text);
}

// --- Tooltips ------------------------------------------------------------------

// The controls whose procedure answers the tooltip's text request, with the
// procedure each replaced. Only one panel exists at a time.
struct TipControl {
  HWND control;
  WNDPROC previous;
  HWND page;
};
enum : int { kMaxTips = PANEL_HELP_COUNT };
TipControl tip_controls[kMaxTips];
// The tooltip windows, with the page each belongs to.
struct TipWindow {
  HWND tip;
  HWND page;
};
TipWindow tip_windows[kMaxTips];

TipControl *tip_control_of(HWND control) {
  for (TipControl &t : tip_controls)
    if (t.control == control) return &t;
  return nullptr;
}

// Takes the page's tooltips out of the skin; they are about to go.
void tips_unregister(HWND page) {
  for (TipWindow &t : tip_windows) {
    if (t.page != page || !t.tip) continue;
    if (IsWindow(t.tip)) {
      skin_attach(t.tip, 0);
      skin_mark_tree(t.tip);
    }
    t = TipWindow{nullptr, nullptr};
  }
}

LRESULT CALLBACK tip_control_proc(HWND control, UINT msg, WPARAM wparam, LPARAM lparam) {
  TipControl *t = tip_control_of(control);
  WNDPROC previous = t ? t->previous : nullptr;
  switch (msg) {
    case WM_NOTIFY: {
      NMHDR *n = reinterpret_cast<NMHDR *>(lparam);
      if (n && n->code == TTN_GETDISPINFOA) {
        NMTTDISPINFOA *info = reinterpret_cast<NMTTDISPINFOA *>(lparam);
        const char *text = panel_help_text(GetDlgCtrlID(control));
        info->lpszText = const_cast<char *>(text ? text : "");
        info->hinst = nullptr;
        return 0;
      }
      break;
    }
    case WM_DESTROY:
      if (t) tips_unregister(t->page);
      break;
    case WM_NCDESTROY:
      if (t) {
        SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        *t = TipControl{nullptr, nullptr, nullptr};
      }
      break;
  }
  return previous ? CallWindowProcA(previous, control, msg, wparam, lparam)
                  : DefWindowProcA(control, msg, wparam, lparam);
}

void tip_attach(HWND page, HWND control) {
  TipControl *slot = tip_control_of(nullptr);
  TipWindow *tip_slot = nullptr;
  for (TipWindow &t : tip_windows)
    if (!t.tip) {
      tip_slot = &t;
      break;
    }
  if (!slot || !tip_slot || !control) return;
  HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(page, GWLP_HINSTANCE));
  HWND tip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_NOPREFIX, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, page, nullptr, instance, nullptr);
  if (!tip) return;
  TTTOOLINFOA ti;
  std::memset(&ti, 0, sizeof ti);
  // The first record size every comctl32 version takes.
  ti.cbSize = TTTOOLINFOA_V2_SIZE;
  ti.uFlags = TTF_SUBCLASS;
  ti.hwnd = control;
  ti.uId = 0;
  GetClientRect(control, &ti.rect);
  InflateRect(&ti.rect, -1, -1);
  ti.hinst = nullptr;
  ti.lpszText = LPSTR_TEXTCALLBACKA;
  SendMessageA(tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
  slot->control = control;
  slot->page = page;
  slot->previous = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(tip_control_proc)));
  SendMessageA(tip, TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(PANEL_TIP_AUTOPOP_MS, 0));
  SendMessageA(tip, TTM_SETMAXTIPWIDTH, 0, PANEL_TIP_MAX_WIDTH);
  SendMessageA(tip, WM_SETFONT, static_cast<WPARAM>(SendMessageA(page, WM_GETFONT, 0, 0)), FALSE);
  skin_attach(tip, 1);
  *tip_slot = TipWindow{tip, page};
}

void tips_attach(HWND page) {
  for (int id : panel_help_ids)
    if (HWND control = item(page, id)) tip_attach(page, control);
}

// --- Listener page -------------------------------------------------------------

uint32_t listener_boxes_shown(HWND page) {
  uint32_t flags = 0;
  for (const PanelFlagBox &b : listener_flag_boxes)
    if (SendDlgItemMessageA(page, b.id, BM_GETCHECK, 0, 0) == BST_CHECKED) flags |= b.bit;
  return flags;
}

void listener_checks(HWND page) {
  uint32_t flags = panel_listener_flags(listener_boxes_shown(page));
  for (const PanelFlagBox &b : listener_flag_boxes) set_check(page, b.id, (flags & b.bit) != 0);
}

void listener_environment(HWND page) {
  HWND combo = item(page, IDC_LISTENER_ENVIRONMENT);
  LRESULT shown = SendMessageA(combo, CB_GETCURSEL, 0, 0);
  uint32_t environment = shown >= 0 ? uint32_t(shown) : 0;
  eax_listener_get(EAXL_ENVIRONMENT, &environment);
  SendMessageA(combo, CB_SETCURSEL, environment < uint32_t(ENVIRONMENT_COUNT) ? WPARAM(environment) : WPARAM(-1), 0);
}

void listener_refresh(HWND page) {
  if (!page) return;
  listener_checks(page);
  for (const PanelRow &r : listener_rows) row_show(page, r);
}

void listener_init(HWND page) {
  HWND combo = item(page, IDC_LISTENER_ENVIRONMENT);
  SendMessageA(combo, CB_RESETCONTENT, 0, 0);
  for (const char *name = environment_names; *name; name += std::strlen(name) + 1)
    SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
  for (const PanelRow &r : listener_rows) trackbar_setup(page, panel_row_slider_id(r), r.row->n);
  listener_refresh(page);
  listener_environment(page);
  tips_attach(page);
  apply_enable_rules(page, panel_listener_enable, panel_listener_kept_empty);
}

void listener_scrolled(HWND page, HWND trackbar) {
  const PanelRow *r = panel_row_by_slider(0, GetDlgCtrlID(trackbar));
  if (!r) return;
  row_moved(page, *r);
  if (r == panel_size_row) {
    // The hardware rescales these with the size; show what it made of them.
    const PanelRow *rescaled[5];
    int n = panel_rows_rescaled(panel_listener_flags(listener_boxes_shown(page)), rescaled);
    for (int i = 0; i < n; ++i) row_show(page, *rescaled[i]);
  }
  fog_density_refresh();
  view_repaint();
}

INT_PTR CALLBACK listener_page_proc(HWND page, UINT msg, WPARAM wparam, LPARAM lparam) {
  FpuGuard guard;
  switch (msg) {
    case WM_INITDIALOG:
      listener_init(page);
      return FALSE;
    case WM_COMMAND: {
      int id = LOWORD(wparam), code = HIWORD(wparam);
      if (id == IDC_LISTENER_ENVIRONMENT && code == CBN_SELCHANGE) {
        LRESULT selected = SendMessageA(item(page, id), CB_GETCURSEL, 0, 0);
        if (selected >= 0 && selected < ENVIRONMENT_COUNT) {
          uint32_t environment = uint32_t(selected);
          eax_listener_set(EAXL_ENVIRONMENT, &environment);
        }
        // The environment replaces every listener value.
        listener_refresh(page);
        listener_environment(page);
        fog_density_refresh();
        view_repaint();
        return TRUE;
      }
      if (code == BN_CLICKED) {
        for (const PanelFlagBox &b : listener_flag_boxes) {
          if (b.id != id) continue;
          panel_listener_flag_toggle(b.bit);
          // The boxes show the device's bits, not their own clicks.
          listener_checks(page);
          return TRUE;
        }
      }
      return FALSE;
    }
    case WM_HSCROLL:
      if (lparam) listener_scrolled(page, reinterpret_cast<HWND>(lparam));
      return TRUE;
  }
  return FALSE;
}

// --- Channel page --------------------------------------------------------------

void channel_volume(HWND page) {
  HWND tb = item(page, IDC_VOICE_VOLUME_SLIDER);
  int32_t mb = panel_volume_mb(trackbar_position(tb));
  voice_volume_get(&mb);
  int32_t position = panel_volume_position(mb);
  SendMessageA(tb, TBM_SETPOS, TRUE, position);
  char text[32];
  panel_volume_text(position, text);
  SetDlgItemTextA(page, IDC_VOICE_VOLUME_LABEL, text);
}

void channel_mode(HWND page) {
  uint32_t mode = uint32_t(-1);
  for (int m = 0; m < PANEL_MODE_COUNT; ++m)
    if (SendDlgItemMessageA(page, panel_mode_buttons[m], BM_GETCHECK, 0, 0) == BST_CHECKED) mode = uint32_t(m);
  ds3d_voice_get_mode(&mode);
  for (int m = 0; m < PANEL_MODE_COUNT; ++m) set_check(page, panel_mode_buttons[m], mode == uint32_t(m));
}

void channel_checks(HWND page) {
  uint32_t shown = 0;
  for (const PanelFlagBox &b : voice_flag_boxes)
    if (SendDlgItemMessageA(page, b.id, BM_GETCHECK, 0, 0) == BST_CHECKED) shown |= b.bit;
  uint32_t flags = panel_voice_flags(shown);
  for (const PanelFlagBox &b : voice_flag_boxes) set_check(page, b.id, (flags & b.bit) != 0);
}

void channel_refresh(HWND page) {
  if (!page) return;
  AcousticGuard hold;
  channel_mode(page);
  channel_checks(page);
  for (const PanelRow &r : channel_rows) row_show(page, r);
  channel_volume(page);
}

void channel_init(HWND page) {
  trackbar_setup(page, IDC_VOICE_VOLUME_SLIDER, PANEL_VOLUME_MAX);
  for (const PanelRow &r : channel_rows) trackbar_setup(page, panel_row_slider_id(r), r.row->n);
  // The push-like box is the volume row's label: checked and never enabled.
  set_check(page, IDC_VOICE_VOLUME_LABEL, true);
  channel_refresh(page);
  tips_attach(page);
  apply_enable_rules(page, panel_channel_enable, panel_channel_kept_empty);
}

void channel_scrolled(HWND page, HWND trackbar) {
  int id = GetDlgCtrlID(trackbar);
  if (id == IDC_VOICE_VOLUME_SLIDER) {
    int32_t position = trackbar_position(trackbar);
    char text[32];
    panel_volume_text(position, text);
    SetDlgItemTextA(page, IDC_VOICE_VOLUME_LABEL, text);
    panel_row_moved(panel_volume_row, position, text);
  } else if (const PanelRow *r = panel_row_by_slider(1, id)) {
    row_moved(page, *r);
  } else {
    return;
  }
  fog_density_refresh();
  view_repaint();
}

INT_PTR CALLBACK channel_page_proc(HWND page, UINT msg, WPARAM wparam, LPARAM lparam) {
  FpuGuard guard;
  switch (msg) {
    case WM_INITDIALOG:
      channel_init(page);
      return FALSE;
    case WM_COMMAND: {
      int id = LOWORD(wparam);
      if (HIWORD(wparam) != BN_CLICKED) return FALSE;
      int mode = panel_mode_of_button(id);
      if (mode >= 0) {
        AcousticGuard hold;
        uint32_t m = uint32_t(mode);
        ds3d_voice_set_mode(&m);
        channel_mode(page);
        return TRUE;
      }
      for (const PanelFlagBox &b : voice_flag_boxes) {
        if (b.id != id) continue;
        AcousticGuard hold;
        panel_voice_flag_toggle(b.bit);
        channel_checks(page);
        return TRUE;
      }
      return FALSE;
    }
    case WM_HSCROLL:
      if (lparam) channel_scrolled(page, reinterpret_cast<HWND>(lparam));
      return TRUE;
  }
  return FALSE;
}

// --- Settings page: the presets --------------------------------------------------

void preset_loaded(const char *path, void *) {
  if (!panel_preset_load(path)) return;
  listener_refresh(pages[PANEL_PAGE_LISTENER]);
  if (pages[PANEL_PAGE_LISTENER]) listener_environment(pages[PANEL_PAGE_LISTENER]);
  channel_refresh(pages[PANEL_PAGE_CHANNEL]);
  // The loaded positions, orientations and cone angles reach the device
  // through the poses the view keeps; the view thread sends them.
  view_apply_poses();
  view_repaint();
}

bool preset_saved(const char *path, void *) { return panel_preset_save(path); }

const PresetHandler kEnvPresets = {".env", preset_loaded, preset_saved, nullptr};

INT_PTR CALLBACK settings_page_proc(HWND page, UINT msg, WPARAM wparam, LPARAM) {
  FpuGuard guard;
  if (msg == WM_COMMAND && LOWORD(wparam) == IDC_PANEL_PRESETS && HIWORD(wparam) == BN_CLICKED) {
    preset_menu_run(page, item(page, IDC_PANEL_PRESETS), item(page, IDC_PANEL_PRESET_SORT), &kEnvPresets);
    return TRUE;
  }
  return FALSE;
}

// --- The panel -----------------------------------------------------------------

const DLGPROC kPageProcs[PANEL_PAGE_COUNT] = {settings_page_proc, listener_page_proc, channel_page_proc,
                                              about_page_proc};

void show_page(int page, bool show) {
  if (page >= 0 && page < PANEL_PAGE_COUNT && pages[page]) ShowWindow(pages[page], show ? SW_SHOW : SW_HIDE);
}

void panel_init(HWND dialog, HWND focus) {
  panel.store(dialog);
  SetWindowTextA(dialog, about_description);
  HWND tab = item(dialog, IDC_PANEL_TAB);
  for (int i = 0; i < PANEL_TAB_COUNT; ++i) {
    TCITEMA tci;
    std::memset(&tci, 0, sizeof tci);
    tci.mask = TCIF_TEXT | TCIF_PARAM | TCIF_IMAGE;
    tci.pszText = const_cast<char *>(panel_tabs[i].label);
    tci.iImage = -1;
    tci.lParam = reinterpret_cast<LPARAM>(panel_tabs[i].label);
    SendMessageA(tab, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&tci));
  }
  int selected = panel_tab_clamp(panel_selected_tab);
  panel_tab_select(selected);
  RECT area;
  GetClientRect(tab, &area);
  SendMessageA(tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
  HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE));
  for (int p = 0; p < PANEL_PAGE_COUNT; ++p) {
    pages[p] = CreateDialogParamA(instance, MAKEINTRESOURCEA(panel_page_resources[p]), tab, kPageProcs[p], 0);
    if (pages[p])
      SetWindowPos(pages[p], nullptr, area.left, area.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_HIDEWINDOW);
  }
  SendMessageA(tab, TCM_SETCURSEL, selected, 0);
  show_page(panel_tabs[selected].page, true);
  if (focus) SetFocus(focus);
  skin_sweep(0);
  skin_attach_tree(dialog, 1);
}

void panel_tab_changed(HWND tab) {
  int now = panel_tab_clamp(int(SendMessageA(tab, TCM_GETCURSEL, 0, 0)));
  int before = panel_tab_clamp(leaving_tab);
  if (panel_tabs[now].page != panel_tabs[before].page) {
    show_page(panel_tabs[before].page, false);
    show_page(panel_tabs[now].page, true);
  }
  panel_tab_select(now);
  channel_refresh(pages[PANEL_PAGE_CHANNEL]);
}

// Owner-drawn tab: the label centred on one line, drawn twice; the
// selected tab's first copy sits one pixel to the right, so it reads bold.
void panel_draw_tab(const DRAWITEMSTRUCT *d) {
  const char *label = reinterpret_cast<const char *>(d->itemData);
  if (!label) return;
  HBRUSH background = CreateSolidBrush(GetBkColor(d->hDC));
  FillRect(d->hDC, &d->rcItem, background);
  DeleteObject(background);
  SetBkMode(d->hDC, TRANSPARENT);
  RECT r = d->rcItem;
  if (d->itemState & ODS_SELECTED) r.left += 2;
  DrawTextA(d->hDC, label, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  r = d->rcItem;
  DrawTextA(d->hDC, label, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

void panel_destroyed(HWND dialog) {
  for (HWND &p : pages) p = nullptr;
  panel.store(nullptr);
  tray_dialog_closed(TRAY_DIALOG_EAX_PANEL, dialog);
}

}  // namespace

INT_PTR CALLBACK eax_panel_proc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam) {
  FpuGuard guard;
  switch (msg) {
    case WM_INITDIALOG:
      panel_init(dialog, reinterpret_cast<HWND>(wparam));
      return FALSE;
    case WM_DRAWITEM: {
      const DRAWITEMSTRUCT *d = reinterpret_cast<const DRAWITEMSTRUCT *>(lparam);
      if (!d || d->CtlID != IDC_PANEL_TAB) return FALSE;
      panel_draw_tab(d);
      return TRUE;
    }
    case WM_NOTIFY: {
      const NMHDR *n = reinterpret_cast<const NMHDR *>(lparam);
      if (!n || n->idFrom != IDC_PANEL_TAB) return FALSE;
      if (n->code == TCN_SELCHANGING) {
        leaving_tab = int(SendMessageA(n->hwndFrom, TCM_GETCURSEL, 0, 0));
      } else if (n->code == TCN_SELCHANGE) {
        panel_tab_changed(n->hwndFrom);
      }
      return FALSE;
    }
    case kRefreshPages:
      listener_refresh(pages[PANEL_PAGE_LISTENER]);
      if (pages[PANEL_PAGE_LISTENER]) listener_environment(pages[PANEL_PAGE_LISTENER]);
      channel_refresh(pages[PANEL_PAGE_CHANNEL]);
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(dialog);
      return TRUE;
    case WM_DESTROY:
      panel_destroyed(dialog);
      return FALSE;
  }
  return FALSE;
}

void eax_panel_register(void) { tray_dialogs[TRAY_DIALOG_EAX_PANEL].proc = eax_panel_proc; }

HWND eax_panel_window(void) { return panel.load(); }

void eax_panel_post_refresh(void) {
  HWND p = panel.load();
  if (p) PostMessageA(p, kRefreshPages, 0, 0);
}
