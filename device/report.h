// The device report of the settings dialog's Device tab: the status of the
// last device open, the speaker configuration and what GetCaps tells of the
// device picked in the list.
#pragma once

#include <cstdint>

#include "platform/dsound.h"
#include "platform/win32.h"

enum : int { DEVICE_REPORT_MAX = 1024 };

// The process-wide report text. A device open resets it with
// device_report_reset; a refresh replaces it.
extern char device_report_text[DEVICE_REPORT_MAX];
// "No device driver is present."
void device_report_reset(void);

extern const char DEVICE_REPORT_OTHER_DEVICE[];  // "you must fully stop playback for the correct status"
extern const char DEVICE_REPORT_NO_CAPS[];       // "can't get device info (device in use)"

// The name of a speaker configuration, by its low 16 bits; "unknown" from 8.
const char *speaker_config_name(uint32_t config);

// The status line for the device selected in the list: the open's result
// when it is the open device, otherwise the request to stop playback.
const char *device_report_status(const GUID &selected, const GUID &open_device, const char *open_status);

// Formats the report for device into device_report_text: the full report,
// the one without hardware voices when software_voices is set, or the
// GetCaps failure line. Does nothing when device is null.
void device_report_format(IDirectSound8 *device, const char *status, bool software_voices);

// The refresh of the Device tab: creates a temporary device object for the
// selected GUID (all zero: the default device) in device_set.probeDevice,
// formats the report with the status choice, releases the object. When the
// device cannot be created the text stays as it was.
void device_report_refresh(const GUID &selected, const GUID &open_device);
