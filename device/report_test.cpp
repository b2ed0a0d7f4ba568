#include "device/report.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A device object that answers GetCaps and GetSpeakerConfig from fields.
struct CapsDevice : IDirectSound8 {
  DSCAPS caps{};
  DWORD speakers = 4;
  bool capsFail = false;
  DWORD sizeSeen = 0;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void **) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateSoundBuffer(LPCDSBUFFERDESC, LPDIRECTSOUNDBUFFER *, LPUNKNOWN) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetCaps(LPDSCAPS out) override {
    sizeSeen = out->dwSize;
    if (capsFail || out->dwSize != 96) return E_INVALIDARG;
    *out = caps;
    out->dwSize = 96;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER, LPLPDIRECTSOUNDBUFFER) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Compact() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSpeakerConfig(LPDWORD out) override {
    *out = speakers;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSpeakerConfig(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Initialize(LPCGUID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE VerifyCertification(LPDWORD) override { return E_NOTIMPL; }
};

CapsDevice sample_device() {
  CapsDevice d;
  d.caps.dwFlags = DSCAPS_CONTINUOUSRATE | DSCAPS_CERTIFIED;
  d.caps.dwMinSecondarySampleRate = 100;
  d.caps.dwMaxSecondarySampleRate = 100000;
  d.caps.dwFreeHwMixingStreamingBuffers = 60;
  d.caps.dwMaxHwMixingStreamingBuffers = 64;
  d.caps.dwFreeHw3DStreamingBuffers = 28;
  d.caps.dwMaxHw3DStreamingBuffers = 32;
  d.caps.dwTotalHwMemBytes = 1234567;
  d.caps.dwFreeHwMemBytes = 1000;
  d.speakers = 0x00050004;
  return d;
}

TEST(SpeakerNames, LowWordIndexesTheNamesUpToSeven) {
  EXPECT_STREQ(speaker_config_name(0x00050004), "stereo");
  EXPECT_STREQ(speaker_config_name(0), "direct-out");
  EXPECT_STREQ(speaker_config_name(1), "headphones");
  EXPECT_STREQ(speaker_config_name(7), "7.1");
  EXPECT_STREQ(speaker_config_name(8), "unknown");
  EXPECT_STREQ(speaker_config_name(9), "unknown");
  EXPECT_STREQ(speaker_config_name(0x00010100), "unknown");
}

TEST(ReportStatus, OnlyTheOpenDeviceShowsTheOpensResult) {
  GUID open = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
  GUID other = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  EXPECT_STREQ(device_report_status(open, open, "EAX 2.0 support not available"), "EAX 2.0 support not available");
  EXPECT_STREQ(device_report_status(other, open, "ok - using DirectX 8 interface"),
               "you must fully stop playback for the correct status");
}

TEST(ReportText, FullReportCarriesTheTwelveValues) {
  CapsDevice d = sample_device();
  device_report_format(&d, "ok - using DirectX 8 interface", false);
  EXPECT_EQ(d.sizeSeen, 96u);
  EXPECT_STREQ(device_report_text,
               "Status: ok - using DirectX 8 interface\r\n\r\nSpeaker config: stereo\r\n"
               "Support sample rates from  100 Hz  to  100000 Hz  (continuous)\r\n"
               "Hardware-mixing streaming buffers:  60  free  (64 max)\r\n"
               "Hardware 3D streaming buffers:  28  free  (32 max)\r\n"
               "Hardware memory:  1.234.567  (1.000  bytes free)\r\nCertified: yes");
}

TEST(ReportText, SoftwareVoicesHideTheHardwareLines) {
  CapsDevice d = sample_device();
  d.caps.dwFlags = 0;
  d.speakers = 9;
  device_report_format(&d, "ok - using DirectX 8 interface", true);
  EXPECT_STREQ(device_report_text,
               "Status: ok - using DirectX 8 interface\r\n\r\n(no hardware acceleration available)\r\n"
               "Speaker config: unknown\r\nSupport sample rates from  100 Hz  to  100000 Hz  \r\nCertified: no");
}

TEST(ReportText, CapsFailureLeavesTheStatusAndOneLine) {
  CapsDevice d = sample_device();
  d.capsFail = true;
  device_report_format(&d, "you must fully stop playback for the correct status", false);
  EXPECT_STREQ(device_report_text,
               "Status: you must fully stop playback for the correct status\r\n\r\n"
               "can't get device info (device in use)");
}

TEST(ReportText, NoDeviceLeavesTheTextAlone) {
  device_report_reset();
  device_report_format(nullptr, "x", false);
  EXPECT_STREQ(device_report_text, "No device driver is present.");
}

}  // namespace
