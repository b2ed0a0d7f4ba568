// The "DirectSound settings" dialog and its four pages: moves values between
// the controls and the dialog copy of the settings; the rules are in
// settings_dialog.cpp.
#include <windows.h>
#include <commctrl.h>

#include <atomic>

#include "device/device.h"
#include "device/report.h"
#include "engine/module.h"
#include "engine/settings_dialog.h"
#include "platform/dsound.h"
#include "resources/resource_ids.h"
#include "skin/skin.h"
#include "support/fpu_guard.h"
#include "ui/tray.h"

namespace {

// Posted to the Device page after a device open: the open may run on the
// output thread, so the report is rebuilt on the dialog's own thread.
const UINT kRefreshStatus = WM_APP + 0x21;
enum : int { kMaxDevices = 16 };

HWND pages[SETTINGS_PAGE_COUNT];
int current_page;
GUID dialog_device;
// One GUID per entry of the device combo, in its order.
GUID device_guids[kMaxDevices];
int device_count;
// The fade list's selection, kept across openings; -1 = none.
int remembered_fade_row = -1;
// The list's item height is made one pixel taller once per dialog life.
bool item_height_adjusted;
// Set while the page fills its own controls: the edit's change notices that
// this causes are not the user's edits.
bool fading_loading;
std::atomic<HWND> device_page{nullptr};

const UDACCEL kAccel[3] = {{0, 1}, {1, 10}, {2, 50}};

HWND item(HWND page, int id) { return GetDlgItem(page, id); }

int check_of(HWND page, int id) { return SendMessageA(item(page, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void set_check(HWND page, int id, bool on) {
  SendMessageA(item(page, id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

void enable(HWND page, int id, bool on) { EnableWindow(item(page, id), on ? TRUE : FALSE); }

void setup_updown(HWND page, int id, int max, int position) {
  HWND updown = item(page, id);
  SendMessageA(updown, UDM_SETRANGE32, 0, max);
  SendMessageA(updown, UDM_SETACCEL, 3, reinterpret_cast<LPARAM>(kAccel));
  SendMessageA(updown, UDM_SETPOS32, 0, position);
}

int updown_position(HWND page, int id) {
  BOOL failed = FALSE;
  int v = int(SendMessageA(item(page, id), UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&failed)));
  return v;
}

int trackbar_position(HWND page, int id) { return int(SendMessageA(item(page, id), TBM_GETPOS, 0, 0)); }

void setup_trackbar(HWND page, int id, int max, int page_size, int position) {
  HWND tb = item(page, id);
  SendMessageA(tb, TBM_SETRANGEMIN, FALSE, 0);
  SendMessageA(tb, TBM_SETRANGEMAX, TRUE, max);
  SendMessageA(tb, TBM_SETPAGESIZE, 0, page_size);
  SendMessageA(tb, TBM_SETPOS, TRUE, position);
}

// --- Device page -------------------------------------------------------------

BOOL CALLBACK add_device(LPGUID guid, LPCSTR description, LPCSTR, LPVOID context) {
  HWND combo = static_cast<HWND>(context);
  if (device_count >= kMaxDevices) return FALSE;
  device_guids[device_count] = guid ? *guid : GUID{};
  ++device_count;
  SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(description));
  return TRUE;
}

void refresh_status(HWND page) {
  int selected = int(SendMessageA(item(page, IDC_DEVICE_LIST), CB_GETCURSEL, 0, 0));
  GUID guid = selected >= 0 && selected < device_count ? device_guids[selected] : GUID{};
  char before[DEVICE_REPORT_MAX];
  memcpy(before, device_report_text, sizeof before);
  device_report_text[0] = 0;
  device_report_refresh(guid, deviceGuid);
  // A device that cannot be created leaves the status as it was.
  if (device_report_text[0] == 0) {
    memcpy(device_report_text, before, sizeof before);
    return;
  }
  SetDlgItemTextA(page, IDC_DEVICE_STATUS, device_report_text);
}

void device_init(HWND page) {
  HWND combo = item(page, IDC_DEVICE_LIST);
  SendMessageA(combo, CB_RESETCONTENT, 0, 0);
  device_count = 0;
  DirectSoundEnumerateA(add_device, combo);
  // The last entry naming the dialog's device: the primary driver and the
  // default device's own entry both carry their GUIDs, so the later wins.
  int selected = 0;
  for (int i = device_count - 1; i >= 0; --i) {
    if (device_guids[i] == dialog_device) {
      selected = i;
      break;
    }
  }
  SendMessageA(combo, CB_SETCURSEL, selected, 0);
  refresh_status(page);
}

INT_PTR CALLBACK device_page_proc(HWND page, UINT msg, WPARAM wparam, LPARAM) {
  FpuGuard guard;
  switch (msg) {
    case WM_INITDIALOG:
      device_page.store(page);
      device_init(page);
      return FALSE;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDC_DEVICE_LIST && HIWORD(wparam) == CBN_SELCHANGE) refresh_status(page);
      return FALSE;
    case kRefreshStatus:
      refresh_status(page);
      return TRUE;
    case WM_DESTROY:
      device_page.store(nullptr);
      return FALSE;
  }
  return FALSE;
}

// Runs wherever a device was opened: only hands the refresh over.
void post_status_refresh(void) {
  HWND page = device_page.load();
  if (page) PostMessageA(page, kRefreshStatus, 0, 0);
}

// --- Buffering page ----------------------------------------------------------

void buffering_texts(HWND page) {
  int buffer_ms = buffer_ms_from_position(trackbar_position(page, IDC_BUFFER_LENGTH));
  char text[64];
  buffer_text(text, buffer_ms);
  SetDlgItemTextA(page, IDC_BUFFER_LENGTH_TEXT, text);
  HWND pre = item(page, IDC_PREBUFFER);
  SendMessageA(pre, TBM_SETRANGEMAX, TRUE, prebuffer_max(buffer_ms));
  SendMessageA(pre, TBM_SETPAGESIZE, 0, prebuffer_page(buffer_ms));
  prebuffer_text(text, trackbar_position(page, IDC_PREBUFFER), buffer_ms);
  SetDlgItemTextA(page, IDC_PREBUFFER_TEXT, text);
}

void buffering_init(HWND page) {
  const EngineSettings &s = dialog_settings;
  setup_trackbar(page, IDC_BUFFER_LENGTH, BUFFER_POSITION_MAX, BUFFER_PAGE, buffer_position_from_ms(s.bufferLengthMs));
  setup_trackbar(page, IDC_PREBUFFER, prebuffer_max(s.bufferLengthMs), prebuffer_page(s.bufferLengthMs),
                 s.prebufferMs);
  HWND combo = item(page, IDC_INTERPOLATION);
  SendMessageA(combo, CB_RESETCONTENT, 0, 0);
  for (const char *text : interpolation_items) SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  SendMessageA(combo, CB_SETCURSEL, s.interpolation ? 1 : 0, 0);
  set_check(page, IDC_CPU_USAGE_CONTROL, s.cpuUsageControl != 0);
  SendMessageA(page, WM_HSCROLL, 0, reinterpret_cast<LPARAM>(item(page, IDC_BUFFER_LENGTH)));
}

INT_PTR CALLBACK buffering_page_proc(HWND page, UINT msg, WPARAM, LPARAM lparam) {
  FpuGuard guard;
  switch (msg) {
    case WM_INITDIALOG:
      buffering_init(page);
      return FALSE;
    case WM_HSCROLL:
      if (reinterpret_cast<HWND>(lparam) == item(page, IDC_BUFFER_LENGTH) ||
          reinterpret_cast<HWND>(lparam) == item(page, IDC_PREBUFFER))
        buffering_texts(page);
      return FALSE;
  }
  return FALSE;
}

// --- Fading page -------------------------------------------------------------

const int kFadeControls[] = {IDC_FADE_ENABLED, IDC_FADE_TIME, IDC_FADE_TIME_SPIN, IDC_FADE_TIME_LABEL,
                             IDC_FADE_TIME_UNIT};

void fade_redraw_row(HWND page, int row) {
  HWND list = item(page, IDC_FADE_LIST);
  char text[64];
  fade_row_text(text, dialog_settings, row);
  int selected = int(SendMessageA(list, LB_GETCURSEL, 0, 0));
  SendMessageA(list, LB_DELETESTRING, row, 0);
  SendMessageA(list, LB_INSERTSTRING, row, reinterpret_cast<LPARAM>(text));
  if (selected == row) SendMessageA(list, LB_SETCURSEL, row, 0);
}

void fade_load_selected(HWND page, int row) {
  for (int id : kFadeControls) enable(page, id, true);
  char text[64];
  fade_group_text(text, row);
  SetDlgItemTextA(page, IDC_FADE_GROUP, text);
  SendMessageA(item(page, IDC_FADE_TIME_SPIN), UDM_SETPOS32, 0, dialog_settings.*fade_rows[row].time);
  set_check(page, IDC_FADE_ENABLED, (dialog_settings.fadeFlags & fade_rows[row].bit) != 0);
}

void fading_init(HWND page) {
  const EngineSettings &s = dialog_settings;
  fading_loading = true;
  set_check(page, IDC_CROSSFADE, (s.fadeFlags & FADE_CROSSFADE) != 0);
  setup_updown(page, IDC_FADE_TIME_SPIN, FADE_TIME_MAX, 0);
  HWND list = item(page, IDC_FADE_LIST);
  SendMessageA(list, LB_RESETCONTENT, 0, 0);
  for (int row = 0; row < FADE_ROW_COUNT; ++row) {
    char text[64];
    fade_row_text(text, s, row);
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  }
  if (!item_height_adjusted) {
    int height = int(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0));
    SendMessageA(list, LB_SETITEMHEIGHT, 0, height + 1);
    item_height_adjusted = true;
  }
  SendMessageA(list, LB_SETTABSTOPS, 5, reinterpret_cast<LPARAM>(fade_list_tab_stops));
  SendMessageA(list, LB_SETCURSEL, WPARAM(-1), 0);
  for (int id : kFadeControls) enable(page, id, false);
  SetDlgItemTextA(page, IDC_FADE_GROUP, "");
  if (remembered_fade_row >= 0 && remembered_fade_row < FADE_ROW_COUNT) {
    SendMessageA(list, LB_SETCURSEL, remembered_fade_row, 0);
    fade_load_selected(page, remembered_fade_row);
  }
  fading_loading = false;
}

int fade_selected(HWND page) {
  int row = int(SendMessageA(item(page, IDC_FADE_LIST), LB_GETCURSEL, 0, 0));
  return row >= 0 && row < FADE_ROW_COUNT ? row : -1;
}

void fade_command(HWND page, int id, int code) {
  int row = fade_selected(page);
  switch (id) {
    case IDC_FADE_LIST:
      if (row < 0) return;
      if (code == LBN_SELCHANGE) {
        fade_load_selected(page, row);
      } else if (code == LBN_DBLCLK) {
        dialog_settings.fadeFlags ^= fade_rows[row].bit;
        fade_redraw_row(page, row);
        fade_load_selected(page, row);
      }
      return;
    case IDC_FADE_ENABLED:
      if (row < 0 || code != BN_CLICKED) return;
      dialog_settings.fadeFlags ^= fade_rows[row].bit;
      fade_redraw_row(page, row);
      return;
    case IDC_FADE_TIME:
      if (row < 0 || code != EN_CHANGE || fading_loading) return;
      {
        int ms = updown_position(page, IDC_FADE_TIME_SPIN);
        if (ms != dialog_settings.*fade_rows[row].time) {
          dialog_settings.*fade_rows[row].time = ms;
          fade_redraw_row(page, row);
        }
      }
      return;
  }
}

INT_PTR CALLBACK fading_page_proc(HWND page, UINT msg, WPARAM wparam, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      fading_init(page);
      return FALSE;
    case WM_COMMAND:
      fade_command(page, LOWORD(wparam), HIWORD(wparam));
      return FALSE;
    case WM_DESTROY:
      remembered_fade_row = fade_selected(page);
      return FALSE;
  }
  return FALSE;
}

// --- Gap control page --------------------------------------------------------

const int kInsertGapControls[] = {IDC_INSERT_GAP, IDC_INSERT_GAP_SPIN, IDC_INSERT_GAP_LABEL, IDC_INSERT_GAP_UNIT};
const int kLeadingLimitControls[] = {IDC_LEADING_LIMIT, IDC_LEADING_LIMIT_MS, IDC_LEADING_LIMIT_SPIN,
                                     IDC_LEADING_LIMIT_UNIT};
const int kTrailingLimitControls[] = {IDC_TRAILING_LIMIT, IDC_TRAILING_LIMIT_MS, IDC_TRAILING_LIMIT_SPIN,
                                      IDC_TRAILING_LIMIT_UNIT};

void gap_mode_changed(HWND page) {
  int mode = dialog_settings.gapMode;
  if (mode < 0 || mode >= GAP_MODE_COUNT) mode = GAP_REMOVE;
  SetDlgItemTextA(page, IDC_GAP_DESCRIPTION, gap_mode_descriptions[mode]);
  for (int id : kInsertGapControls) enable(page, id, insert_gap_controls_enabled(mode));
}

void silence_rows_enabled(HWND page) {
  for (int id : kLeadingLimitControls) enable(page, id, (dialog_settings.silenceFlags & 1) != 0);
  for (int id : kTrailingLimitControls) enable(page, id, (dialog_settings.silenceFlags & 2) != 0);
}

void threshold_label(HWND page) {
  char text[32];
  threshold_text(text, trackbar_position(page, IDC_THRESHOLD));
  SetDlgItemTextA(page, IDC_THRESHOLD_TEXT, text);
}

void gaps_init(HWND page) {
  const EngineSettings &s = dialog_settings;
  HWND combo = item(page, IDC_GAP_MODE);
  SendMessageA(combo, CB_RESETCONTENT, 0, 0);
  for (const char *text : gap_mode_names) SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  SendMessageA(combo, CB_SETCURSEL, s.gapMode, 0);
  gap_mode_changed(page);
  setup_updown(page, IDC_INSERT_GAP_SPIN, INSERT_GAP_MAX, s.insertGapMs);
  set_check(page, IDC_SILENCE_LEADING, (s.silenceFlags & 1) != 0);
  set_check(page, IDC_SILENCE_TRAILING, (s.silenceFlags & 2) != 0);
  set_check(page, IDC_LEADING_LIMIT, (s.silenceLimitFlags & 1) != 0);
  set_check(page, IDC_TRAILING_LIMIT, (s.silenceLimitFlags & 2) != 0);
  setup_updown(page, IDC_LEADING_LIMIT_SPIN, SILENCE_LIMIT_MAX, s.leadingLimitMs);
  setup_updown(page, IDC_TRAILING_LIMIT_SPIN, SILENCE_LIMIT_MAX, s.trailingLimitMs);
  silence_rows_enabled(page);
  setup_trackbar(page, IDC_THRESHOLD, THRESHOLD_POSITION_MAX, THRESHOLD_PAGE,
                 threshold_position_from_value(s.silenceThreshold));
  threshold_label(page);
}

INT_PTR CALLBACK gaps_page_proc(HWND page, UINT msg, WPARAM wparam, LPARAM lparam) {
  FpuGuard guard;
  switch (msg) {
    case WM_INITDIALOG:
      gaps_init(page);
      return FALSE;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDC_GAP_MODE:
          if (HIWORD(wparam) == CBN_SELCHANGE) {
            int mode = int(SendMessageA(item(page, IDC_GAP_MODE), CB_GETCURSEL, 0, 0));
            if (mode >= 0) dialog_settings.gapMode = mode;
            gap_mode_changed(page);
          }
          break;
        case IDC_SILENCE_LEADING:
        case IDC_SILENCE_TRAILING:
          if (HIWORD(wparam) == BN_CLICKED) {
            dialog_settings.silenceFlags ^= LOWORD(wparam) == IDC_SILENCE_LEADING ? 1 : 2;
            silence_rows_enabled(page);
          }
          break;
      }
      return FALSE;
    case WM_HSCROLL:
      if (reinterpret_cast<HWND>(lparam) == item(page, IDC_THRESHOLD)) threshold_label(page);
      return FALSE;
  }
  return FALSE;
}

// --- The dialog --------------------------------------------------------------

const DLGPROC kPageProcs[SETTINGS_PAGE_COUNT] = {device_page_proc, buffering_page_proc, fading_page_proc,
                                                 gaps_page_proc};

// Reads what the commit takes from the controls into the dialog copy.
void read_controls(void) {
  EngineSettings &s = dialog_settings;
  HWND device = pages[SETTINGS_PAGE_DEVICE];
  int selected = int(SendMessageA(item(device, IDC_DEVICE_LIST), CB_GETCURSEL, 0, 0));
  if (selected >= 0 && selected < device_count) dialog_device = device_guids[selected];
  HWND buffering = pages[SETTINGS_PAGE_BUFFERING];
  s.bufferLengthMs = buffer_ms_from_position(trackbar_position(buffering, IDC_BUFFER_LENGTH));
  s.prebufferMs = trackbar_position(buffering, IDC_PREBUFFER);
  int interpolation = int(SendMessageA(item(buffering, IDC_INTERPOLATION), CB_GETCURSEL, 0, 0));
  s.interpolation = interpolation == 1 ? 1 : 0;
  s.cpuUsageControl = check_of(buffering, IDC_CPU_USAGE_CONTROL);
  HWND fading = pages[SETTINGS_PAGE_FADING];
  s.fadeFlags = (s.fadeFlags & 0x3F) | (check_of(fading, IDC_CROSSFADE) ? FADE_CROSSFADE : 0);
  HWND gaps = pages[SETTINGS_PAGE_GAPS];
  int mode = int(SendMessageA(item(gaps, IDC_GAP_MODE), CB_GETCURSEL, 0, 0));
  if (mode >= 0) s.gapMode = mode;
  s.insertGapMs = updown_position(gaps, IDC_INSERT_GAP_SPIN);
  s.silenceFlags = (check_of(gaps, IDC_SILENCE_LEADING) ? 1 : 0) | (check_of(gaps, IDC_SILENCE_TRAILING) ? 2 : 0);
  s.silenceLimitFlags = (check_of(gaps, IDC_LEADING_LIMIT) ? 1 : 0) | (check_of(gaps, IDC_TRAILING_LIMIT) ? 2 : 0);
  s.leadingLimitMs = updown_position(gaps, IDC_LEADING_LIMIT_SPIN);
  s.trailingLimitMs = updown_position(gaps, IDC_TRAILING_LIMIT_SPIN);
  s.silenceThreshold = threshold_value_from_position(trackbar_position(gaps, IDC_THRESHOLD));
}

void show_page(int index, bool show) {
  if (index >= 0 && index < SETTINGS_PAGE_COUNT && pages[index]) ShowWindow(pages[index], show ? SW_SHOW : SW_HIDE);
}

void dialog_init(HWND dialog, HWND focus) {
  dialog_settings = applied_settings;
  dialog_device = appliedDeviceGuid;
  HWND tab = item(dialog, IDC_SETTINGS_TAB);
  for (int i = 0; i < SETTINGS_PAGE_COUNT; ++i) {
    TCITEMA tci = {};
    tci.mask = TCIF_TEXT | TCIF_IMAGE;
    tci.pszText = const_cast<char *>(settings_page_titles[i]);
    tci.iImage = -1;
    SendMessageA(tab, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&tci));
  }
  RECT area;
  GetClientRect(tab, &area);
  SendMessageA(tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
  MapWindowPoints(tab, dialog, reinterpret_cast<POINT *>(&area), 2);
  HINSTANCE instance = module_instance();
  for (int i = 0; i < SETTINGS_PAGE_COUNT; ++i) {
    pages[i] = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_SETTINGS_DEVICE + i), dialog, kPageProcs[i], 0);
    if (pages[i])
      SetWindowPos(pages[i], HWND_TOP, area.left, area.top, area.right - area.left, area.bottom - area.top,
                   SWP_HIDEWINDOW);
  }
  current_page = 0;
  SendMessageA(tab, TCM_SETCURSEL, 0, 0);
  show_page(0, true);
  if (focus) SetFocus(focus);
  device_report_refresh_hook = post_status_refresh;
  skin_sweep(0);
  skin_attach_tree(dialog, 1);
  // The pages set their list's tab stops before the skin was attached; the
  // skinned list draws its rows at the stops it is told.
  if (HWND list = item(pages[SETTINGS_PAGE_FADING], IDC_FADE_LIST))
    SendMessageA(list, LB_SETTABSTOPS, 5, reinterpret_cast<LPARAM>(fade_list_tab_stops));
}

void dialog_destroy(HWND dialog) {
  device_report_refresh_hook = nullptr;
  item_height_adjusted = false;
  for (HWND &page : pages) page = nullptr;
  tray_dialog_closed(TRAY_DIALOG_SETTINGS, dialog);
}

}  // namespace

INT_PTR CALLBACK settings_dialog_proc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam) {
  FpuGuard guard;
  switch (msg) {
    case WM_INITDIALOG:
      dialog_init(dialog, reinterpret_cast<HWND>(wparam));
      return FALSE;
    case WM_NOTIFY: {
      const NMHDR *n = reinterpret_cast<const NMHDR *>(lparam);
      if (n && n->idFrom == IDC_SETTINGS_TAB) {
        if (n->code == TCN_SELCHANGING) {
          show_page(current_page, false);
        } else if (n->code == TCN_SELCHANGE) {
          current_page = int(SendMessageA(n->hwndFrom, TCM_GETCURSEL, 0, 0));
          show_page(current_page, true);
        }
      }
      return FALSE;
    }
    case WM_COMMAND:
      switch (wparam) {
        case IDC_SETTINGS_APPLY:
          read_controls();
          settings_commit(dialog_settings, dialog_device);
          return TRUE;
        case IDC_SETTINGS_OK:
          read_controls();
          settings_commit(dialog_settings, dialog_device);
          SendMessageA(dialog, WM_CLOSE, 0, 0);
          return TRUE;
        case IDC_SETTINGS_CANCEL:
          SendMessageA(dialog, WM_CLOSE, 0, 0);
          return TRUE;
        case IDC_SETTINGS_RESET:
          if (current_page >= 0 && current_page < SETTINGS_PAGE_COUNT && pages[current_page]) {
            if (settings_reset_page(current_page, &dialog_settings, &dialog_device, engine_settings_defaults))
              remembered_fade_row = -1;
            SendMessageA(pages[current_page], WM_INITDIALOG, 0, 0);
          }
          return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      DestroyWindow(dialog);
      return TRUE;
    case WM_DESTROY:
      dialog_destroy(dialog);
      return FALSE;
  }
  return FALSE;
}

void settings_dialog_register(void) { tray_dialogs[TRAY_DIALOG_SETTINGS].proc = settings_dialog_proc; }
