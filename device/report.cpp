#include "device/report.h"

#include <cstring>

#include "device/device.h"
#include "support/format_text.h"

char device_report_text[DEVICE_REPORT_MAX];
const char DEVICE_REPORT_OTHER_DEVICE[] = "you must fully stop playback for the correct status";
const char DEVICE_REPORT_NO_CAPS[] = "can't get device info (device in use)";

namespace {
const char kFull[] =
    "Status: %s\r\n\r\nSpeaker config: %s\r\nSupport sample rates from  %d Hz  to  %d Hz  %s\r\n"
    "Hardware-mixing streaming buffers:  %d  free  (%d max)\r\nHardware 3D streaming buffers:  %d  free  (%d "
    "max)\r\nHardware memory:  %#.3d  (%#.3d  bytes free)\r\nCertified: %s";
const char kSoftware[] =
    "Status: %s\r\n\r\n(no hardware acceleration available)\r\nSpeaker config: %s\r\nSupport sample rates from  "
    "%d Hz  to  %d Hz  %s\r\n%!d%!d%!d%!d%!d%!dCertified: %s";
const char kNoCaps[] = "Status: %s\r\n\r\n%s";

const char *const kSpeakerNames[9] = {"direct-out", "headphones", "mono", "quadraphonic", "stereo",
                                      "surround",   "5.1",        "7.1",  "unknown"};
const GUID kNoGuid = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
}  // namespace

void device_report_reset(void) { std::strcpy(device_report_text, DEVICE_TEXT_NO_DRIVER); }

const char *speaker_config_name(uint32_t config) {
  uint32_t code = config & 0xFFFF;
  return kSpeakerNames[code < 8 ? code : 8];
}

const char *device_report_status(const GUID &selected, const GUID &open_device, const char *open_status) {
  if (selected != open_device) return DEVICE_REPORT_OTHER_DEVICE;
  return open_status ? open_status : DEVICE_TEXT_NO_DRIVER;
}

void device_report_format(IDirectSound8 *device, const char *status, bool software_voices) {
  if (!device) return;
  DWORD speakers = device_get_speaker_config(device);
  DSCAPS caps;
  std::memset(&caps, 0, sizeof caps);
  caps.dwSize = sizeof caps;
  TextArgs a;
  text_args_clear(&a);
  text_args_pointer(&a, status);
  if (FAILED(device->GetCaps(&caps))) {
    text_args_pointer(&a, DEVICE_REPORT_NO_CAPS);
    format_text(device_report_text, kNoCaps, a.bytes);
    return;
  }
  text_args_pointer(&a, speaker_config_name(speakers));
  text_args_dword(&a, caps.dwMinSecondarySampleRate);
  text_args_dword(&a, caps.dwMaxSecondarySampleRate);
  text_args_pointer(&a, (caps.dwFlags & DSCAPS_CONTINUOUSRATE) ? "(continuous)" : "");
  text_args_dword(&a, caps.dwFreeHwMixingStreamingBuffers);
  text_args_dword(&a, caps.dwMaxHwMixingStreamingBuffers);
  text_args_dword(&a, caps.dwFreeHw3DStreamingBuffers);
  text_args_dword(&a, caps.dwMaxHw3DStreamingBuffers);
  text_args_dword(&a, caps.dwTotalHwMemBytes);
  text_args_dword(&a, caps.dwFreeHwMemBytes);
  text_args_pointer(&a, (caps.dwFlags & DSCAPS_CERTIFIED) ? "yes" : "no");
  format_text(device_report_text, software_voices ? kSoftware : kFull, a.bytes);
}

void device_report_refresh(const GUID &selected, const GUID &open_device) {
  IDirectSound8 *probe = nullptr;
  const GUID *id = selected == kNoGuid ? nullptr : &selected;
  if (SUCCEEDED(DirectSoundCreate8(id, &probe, nullptr)) && probe) {
    device_set.probeDevice = probe;
    const char *status = device_report_status(selected, open_device, device_set.statusText.load());
    device_report_format(probe, status,
                         (device_set.stateFlags.load() & DEVICE_SOFTWARE_VOICES) != 0);
    probe->Release();
    device_set.probeDevice = nullptr;
  }
}
