// DirectSound 8: the subset the plug-in and the software sound card use.
// On Windows this is the system's <dsound.h>; elsewhere the same interfaces
// are declared here as C++ structs of virtual methods in their published
// vtable order, so `buffer->Lock(...)` is the same call in both builds. The
// interface identifiers are defined once, in the software sound card.
#pragma once

#include "platform/win32.h"

#ifdef _WIN32
#ifndef DIRECTSOUND_VERSION
#define DIRECTSOUND_VERSION 0x0800
#endif
#include <mmsystem.h>
#include <mmreg.h>
#include <dsound.h>
#else
#include <cstdint>

// --- COM basics ---------------------------------------------------------

typedef float D3DVALUE;
typedef D3DVALUE *LPD3DVALUE;
typedef struct IUnknown *LPUNKNOWN;

extern "C" {
extern const GUID IID_IUnknown;
extern const GUID GUID_NULL;
}

struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppvObject) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;
};

// --- Wave format ----------------------------------------------------------

#define WAVE_FORMAT_PCM 1

#pragma pack(push, 1)
typedef struct tWAVEFORMATEX {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wBitsPerSample;
  WORD cbSize;
} WAVEFORMATEX, *LPWAVEFORMATEX;
#pragma pack(pop)
typedef const WAVEFORMATEX *LPCWAVEFORMATEX;
static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX is 18 bytes");

// --- Structures -----------------------------------------------------------

typedef struct _D3DVECTOR {
  D3DVALUE x;
  D3DVALUE y;
  D3DVALUE z;
} D3DVECTOR, *LPD3DVECTOR;
typedef const D3DVECTOR *LPCD3DVECTOR;

typedef struct _DSCAPS {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwMinSecondarySampleRate;
  DWORD dwMaxSecondarySampleRate;
  DWORD dwPrimaryBuffers;
  DWORD dwMaxHwMixingAllBuffers;
  DWORD dwMaxHwMixingStaticBuffers;
  DWORD dwMaxHwMixingStreamingBuffers;
  DWORD dwFreeHwMixingAllBuffers;
  DWORD dwFreeHwMixingStaticBuffers;
  DWORD dwFreeHwMixingStreamingBuffers;
  DWORD dwMaxHw3DAllBuffers;
  DWORD dwMaxHw3DStaticBuffers;
  DWORD dwMaxHw3DStreamingBuffers;
  DWORD dwFreeHw3DAllBuffers;
  DWORD dwFreeHw3DStaticBuffers;
  DWORD dwFreeHw3DStreamingBuffers;
  DWORD dwTotalHwMemBytes;
  DWORD dwFreeHwMemBytes;
  DWORD dwMaxContigFreeHwMemBytes;
  DWORD dwUnlockTransferRateHwBuffers;
  DWORD dwPlayCpuOverheadSwBuffers;
  DWORD dwReserved1;
  DWORD dwReserved2;
} DSCAPS, *LPDSCAPS;
typedef const DSCAPS *LPCDSCAPS;
static_assert(sizeof(DSCAPS) == 96, "DSCAPS is 96 bytes");

typedef struct _DSBCAPS {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwBufferBytes;
  DWORD dwUnlockTransferRate;
  DWORD dwPlayCpuOverhead;
} DSBCAPS, *LPDSBCAPS;
typedef const DSBCAPS *LPCDSBCAPS;

typedef struct _DSBUFFERDESC {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwBufferBytes;
  DWORD dwReserved;
  LPWAVEFORMATEX lpwfxFormat;
  GUID guid3DAlgorithm;
} DSBUFFERDESC, *LPDSBUFFERDESC;
typedef const DSBUFFERDESC *LPCDSBUFFERDESC;

// The short form without the 3D algorithm, as DirectX 3 to 6 knew it.
typedef struct _DSBUFFERDESC1 {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwBufferBytes;
  DWORD dwReserved;
  LPWAVEFORMATEX lpwfxFormat;
} DSBUFFERDESC1, *LPDSBUFFERDESC1;
typedef const DSBUFFERDESC1 *LPCDSBUFFERDESC1;

typedef struct _DSEFFECTDESC {
  DWORD dwSize;
  DWORD dwFlags;
  GUID guidDSFXClass;
  uintptr_t dwReserved1;
  uintptr_t dwReserved2;
} DSEFFECTDESC, *LPDSEFFECTDESC;

typedef struct _DS3DBUFFER {
  DWORD dwSize;
  D3DVECTOR vPosition;
  D3DVECTOR vVelocity;
  DWORD dwInsideConeAngle;
  DWORD dwOutsideConeAngle;
  D3DVECTOR vConeOrientation;
  LONG lConeOutsideVolume;
  D3DVALUE flMinDistance;
  D3DVALUE flMaxDistance;
  DWORD dwMode;
} DS3DBUFFER, *LPDS3DBUFFER;
typedef const DS3DBUFFER *LPCDS3DBUFFER;
static_assert(sizeof(DS3DBUFFER) == 64, "DS3DBUFFER is 64 bytes");

typedef struct _DS3DLISTENER {
  DWORD dwSize;
  D3DVECTOR vPosition;
  D3DVECTOR vVelocity;
  D3DVECTOR vOrientFront;
  D3DVECTOR vOrientTop;
  D3DVALUE flDistanceFactor;
  D3DVALUE flRolloffFactor;
  D3DVALUE flDopplerFactor;
} DS3DLISTENER, *LPDS3DLISTENER;
typedef const DS3DLISTENER *LPCDS3DLISTENER;
static_assert(sizeof(DS3DLISTENER) == 64, "DS3DLISTENER is 64 bytes");

// --- Interfaces -------------------------------------------------------------

struct IDirectSound;
struct IDirectSound8;
struct IDirectSoundBuffer;
struct IDirectSoundBuffer8;
struct IDirectSound3DListener;
struct IDirectSound3DBuffer;
struct IKsPropertySet;
typedef IDirectSound *LPDIRECTSOUND;
typedef IDirectSound8 *LPDIRECTSOUND8;
typedef IDirectSoundBuffer *LPDIRECTSOUNDBUFFER;
typedef LPDIRECTSOUNDBUFFER *LPLPDIRECTSOUNDBUFFER;
typedef IDirectSoundBuffer8 *LPDIRECTSOUNDBUFFER8;
typedef IDirectSound3DListener *LPDIRECTSOUND3DLISTENER;
typedef IDirectSound3DListener IDirectSound3DListener8;
typedef IDirectSound3DListener *LPDIRECTSOUND3DLISTENER8;
typedef IDirectSound3DBuffer *LPDIRECTSOUND3DBUFFER;
typedef IDirectSound3DBuffer IDirectSound3DBuffer8;
typedef IDirectSound3DBuffer *LPDIRECTSOUND3DBUFFER8;
typedef IKsPropertySet *LPKSPROPERTYSET;

struct IDirectSound8 : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateSoundBuffer(LPCDSBUFFERDESC lpcDSBufferDesc,
                                                      LPDIRECTSOUNDBUFFER *lplpDirectSoundBuffer,
                                                      LPUNKNOWN pUnkOuter) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCaps(LPDSCAPS lpDSCaps) = 0;
  virtual HRESULT STDMETHODCALLTYPE DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER lpDsbOriginal,
                                                         LPLPDIRECTSOUNDBUFFER lplpDsbDuplicate) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND hwnd, DWORD dwLevel) = 0;
  virtual HRESULT STDMETHODCALLTYPE Compact() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSpeakerConfig(LPDWORD lpdwSpeakerConfig) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSpeakerConfig(DWORD dwSpeakerConfig) = 0;
  virtual HRESULT STDMETHODCALLTYPE Initialize(LPCGUID lpcGuid) = 0;
  virtual HRESULT STDMETHODCALLTYPE VerifyCertification(LPDWORD pdwCertified) = 0;
};

struct IDirectSoundBuffer : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetCaps(LPDSBCAPS lpDSBufferCaps) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCurrentPosition(LPDWORD lpdwCurrentPlayCursor,
                                                       LPDWORD lpdwCurrentWriteCursor) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFormat(LPWAVEFORMATEX lpwfxFormat, DWORD dwSizeAllocated,
                                              LPDWORD lpdwSizeWritten) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetVolume(LPLONG lplVolume) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPan(LPLONG lplpan) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFrequency(LPDWORD lpdwFrequency) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStatus(LPDWORD lpdwStatus) = 0;
  virtual HRESULT STDMETHODCALLTYPE Initialize(LPDIRECTSOUND lpDirectSound, LPCDSBUFFERDESC lpcDSBufferDesc) = 0;
  virtual HRESULT STDMETHODCALLTYPE Lock(DWORD dwOffset, DWORD dwBytes, LPVOID *ppvAudioPtr1, LPDWORD pdwAudioBytes1,
                                         LPVOID *ppvAudioPtr2, LPDWORD pdwAudioBytes2, DWORD dwFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE Play(DWORD dwReserved1, DWORD dwReserved2, DWORD dwFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetCurrentPosition(DWORD dwNewPosition) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFormat(LPCWAVEFORMATEX lpcfxFormat) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetVolume(LONG lVolume) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPan(LONG lPan) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFrequency(DWORD dwFrequency) = 0;
  virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unlock(LPVOID pvAudioPtr1, DWORD dwAudioBytes1, LPVOID pvAudioPtr2,
                                           DWORD dwAudioPtr2) = 0;
  virtual HRESULT STDMETHODCALLTYPE Restore() = 0;
};

// As in the system header: a separate interface whose first slots repeat
// IDirectSoundBuffer's, not a derived one.
struct IDirectSoundBuffer8 : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetCaps(LPDSBCAPS lpDSBufferCaps) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCurrentPosition(LPDWORD lpdwCurrentPlayCursor,
                                                       LPDWORD lpdwCurrentWriteCursor) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFormat(LPWAVEFORMATEX lpwfxFormat, DWORD dwSizeAllocated,
                                              LPDWORD lpdwSizeWritten) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetVolume(LPLONG lplVolume) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPan(LPLONG lplpan) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFrequency(LPDWORD lpdwFrequency) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStatus(LPDWORD lpdwStatus) = 0;
  virtual HRESULT STDMETHODCALLTYPE Initialize(LPDIRECTSOUND lpDirectSound, LPCDSBUFFERDESC lpcDSBufferDesc) = 0;
  virtual HRESULT STDMETHODCALLTYPE Lock(DWORD dwOffset, DWORD dwBytes, LPVOID *ppvAudioPtr1, LPDWORD pdwAudioBytes1,
                                         LPVOID *ppvAudioPtr2, LPDWORD pdwAudioBytes2, DWORD dwFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE Play(DWORD dwReserved1, DWORD dwReserved2, DWORD dwFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetCurrentPosition(DWORD dwNewPosition) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFormat(LPCWAVEFORMATEX lpcfxFormat) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetVolume(LONG lVolume) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPan(LONG lPan) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFrequency(DWORD dwFrequency) = 0;
  virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unlock(LPVOID pvAudioPtr1, DWORD dwAudioBytes1, LPVOID pvAudioPtr2,
                                           DWORD dwAudioPtr2) = 0;
  virtual HRESULT STDMETHODCALLTYPE Restore() = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFX(DWORD dwEffectsCount, LPDSEFFECTDESC pDSFXDesc, LPDWORD pdwResultCodes) = 0;
  virtual HRESULT STDMETHODCALLTYPE AcquireResources(DWORD dwFlags, DWORD dwEffectsCount, LPDWORD pdwResultCodes) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetObjectInPath(REFGUID rguidObject, DWORD dwIndex, REFGUID rguidInterface,
                                                    LPVOID *ppObject) = 0;
};

struct IDirectSound3DListener : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetAllParameters(LPDS3DLISTENER lpListener) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDistanceFactor(LPD3DVALUE lpflDistanceFactor) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDopplerFactor(LPD3DVALUE lpflDopplerFactor) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetOrientation(LPD3DVECTOR lpvOrientFront, LPD3DVECTOR lpvOrientTop) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPosition(LPD3DVECTOR lpvPosition) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRolloffFactor(LPD3DVALUE lpflRolloffFactor) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetVelocity(LPD3DVECTOR lpvVelocity) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetAllParameters(LPCDS3DLISTENER lpcListener, DWORD dwApply) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDistanceFactor(D3DVALUE flDistanceFactor, DWORD dwApply) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDopplerFactor(D3DVALUE flDopplerFactor, DWORD dwApply) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetOrientation(D3DVALUE xFront, D3DVALUE yFront, D3DVALUE zFront, D3DVALUE xTop,
                                                   D3DVALUE yTop, D3DVALUE zTop, DWORD dwApply) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPosition(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD dwApply) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetRolloffFactor(D3DVALUE flRolloffFactor, DWORD dwApply) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetVelocity(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD dwApply) = 0;
  virtual HRESULT STDMETHODCALLTYPE CommitDeferredSettings() = 0;
};

struct IDirectSound3DBuffer : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetAllParameters(LPDS3DBUFFER lpDs3dBuffer) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetConeAngles(LPDWORD lpdwInsideConeAngle, LPDWORD lpdwOutsideConeAngle) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetConeOrientation(LPD3DVECTOR lpvOrientation) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetConeOutsideVolume(LPLONG lplConeOutsideVolume) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMaxDistance(LPD3DVALUE lpflMaxDistance) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMinDistance(LPD3DVALUE lpflMinDistance) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMode(LPDWORD lpwdMode) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPosition(LPD3DVECTOR lpvPosition) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetVelocity(LPD3DVECTOR lpvVelocity) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetAllParameters(LPCDS3DBUFFER lpcDs3dBuffer, DWORD dwApply) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetConeAngles(DWORD dwInsideConeAngle, DWORD dwOutsideConeAngle,
                                                  DWORD dwApply) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetConeOrientation(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD dwApply) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetConeOutsideVolume(LONG lConeOutsideVolume, DWORD dwApply) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetMaxDistance(D3DVALUE flMaxDistance, DWORD dwApply) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetMinDistance(D3DVALUE flMinDistance, DWORD dwApply) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetMode(DWORD dwMode, DWORD dwApply) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPosition(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD dwApply) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetVelocity(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD dwApply) = 0;
};

// The DirectSound flavour of the property-set interface: Get, Set,
// QuerySupport (the kernel-streaming header's one has another order).
struct IKsPropertySet : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Get(REFGUID rgid, ULONG x1, LPVOID p1, ULONG x2, LPVOID p2, ULONG x3,
                                        ULONG *px4) = 0;
  virtual HRESULT STDMETHODCALLTYPE Set(REFGUID rgid, ULONG x1, LPVOID p1, ULONG x2, LPVOID p2, ULONG x3) = 0;
  virtual HRESULT STDMETHODCALLTYPE QuerySupport(REFGUID rgid, ULONG x1, ULONG *px2) = 0;
};

// --- Identifiers ------------------------------------------------------------

extern "C" {
extern const GUID IID_IDirectSound;
extern const GUID IID_IDirectSound8;
extern const GUID IID_IDirectSoundBuffer;
extern const GUID IID_IDirectSoundBuffer8;
extern const GUID IID_IDirectSound3DListener;
extern const GUID IID_IDirectSound3DBuffer;
extern const GUID IID_IDirectSoundNotify;
extern const GUID IID_IKsPropertySet;
extern const GUID CLSID_DirectSound;
extern const GUID CLSID_DirectSound8;
extern const GUID DSDEVID_DefaultPlayback;
}
#define IID_IDirectSound3DListener8 IID_IDirectSound3DListener
#define IID_IDirectSound3DBuffer8 IID_IDirectSound3DBuffer
#define IID_IDirectSoundNotify8 IID_IDirectSoundNotify
#define DS3DALG_DEFAULT GUID_NULL

// --- Constants --------------------------------------------------------------

#define DSBCAPS_PRIMARYBUFFER 0x00000001
#define DSBCAPS_STATIC 0x00000002
#define DSBCAPS_LOCHARDWARE 0x00000004
#define DSBCAPS_LOCSOFTWARE 0x00000008
#define DSBCAPS_CTRL3D 0x00000010
#define DSBCAPS_CTRLFREQUENCY 0x00000020
#define DSBCAPS_CTRLPAN 0x00000040
#define DSBCAPS_CTRLVOLUME 0x00000080
#define DSBCAPS_CTRLPOSITIONNOTIFY 0x00000100
#define DSBCAPS_CTRLFX 0x00000200
#define DSBCAPS_CTRLDEFAULT 0x000000E0
#define DSBCAPS_CTRLALL 0x000001F0
#define DSBCAPS_STICKYFOCUS 0x00004000
#define DSBCAPS_GLOBALFOCUS 0x00008000
#define DSBCAPS_GETCURRENTPOSITION2 0x00010000
#define DSBCAPS_MUTE3DATMAXDISTANCE 0x00020000
#define DSBCAPS_LOCDEFER 0x00040000

#define DSSCL_NORMAL 0x00000001
#define DSSCL_PRIORITY 0x00000002
#define DSSCL_EXCLUSIVE 0x00000003
#define DSSCL_WRITEPRIMARY 0x00000004

#define DSBPLAY_LOOPING 0x00000001
#define DSBPLAY_LOCHARDWARE 0x00000002
#define DSBPLAY_LOCSOFTWARE 0x00000004
#define DSBPLAY_TERMINATEBY_TIME 0x00000008
#define DSBPLAY_TERMINATEBY_DISTANCE 0x00000010
#define DSBPLAY_TERMINATEBY_PRIORITY 0x00000020

#define DSBSTATUS_PLAYING 0x00000001
#define DSBSTATUS_BUFFERLOST 0x00000002
#define DSBSTATUS_LOOPING 0x00000004
#define DSBSTATUS_LOCHARDWARE 0x00000008
#define DSBSTATUS_LOCSOFTWARE 0x00000010
#define DSBSTATUS_TERMINATED 0x00000020

#define DSBLOCK_FROMWRITECURSOR 0x00000001
#define DSBLOCK_ENTIREBUFFER 0x00000002

#define DS3D_IMMEDIATE 0x00000000
#define DS3D_DEFERRED 0x00000001

#define DS3DMODE_NORMAL 0x00000000
#define DS3DMODE_HEADRELATIVE 0x00000001
#define DS3DMODE_DISABLE 0x00000002

#define DSBVOLUME_MIN (-10000)
#define DSBVOLUME_MAX 0
#define DSBPAN_LEFT (-10000)
#define DSBPAN_CENTER 0
#define DSBPAN_RIGHT 10000
#define DSBFREQUENCY_ORIGINAL 0
#define DSBFREQUENCY_MIN 100
#define DSBFREQUENCY_MAX 100000
#define DSBSIZE_MIN 4
#define DSBSIZE_MAX 0x0FFFFFFF
#define DSBSIZE_FX_MIN 150
#define DSBNOTIFICATIONS_MAX 100000

#define DS3D_MINDISTANCEFACTOR 1.175494351e-38f
#define DS3D_MAXDISTANCEFACTOR 3.402823466e+38f
#define DS3D_DEFAULTDISTANCEFACTOR 1.0f
#define DS3D_MINROLLOFFFACTOR 0.0f
#define DS3D_MAXROLLOFFFACTOR 10.0f
#define DS3D_DEFAULTROLLOFFFACTOR 1.0f
#define DS3D_MINDOPPLERFACTOR 0.0f
#define DS3D_MAXDOPPLERFACTOR 10.0f
#define DS3D_DEFAULTDOPPLERFACTOR 1.0f
#define DS3D_DEFAULTMINDISTANCE 1.0f
#define DS3D_DEFAULTMAXDISTANCE 1000000000.0f
#define DS3D_MINCONEANGLE 0
#define DS3D_MAXCONEANGLE 360
#define DS3D_DEFAULTCONEANGLE 360
#define DS3D_DEFAULTCONEOUTSIDEVOLUME DSBVOLUME_MAX

#define DSCAPS_PRIMARYMONO 0x00000001
#define DSCAPS_PRIMARYSTEREO 0x00000002
#define DSCAPS_PRIMARY8BIT 0x00000004
#define DSCAPS_PRIMARY16BIT 0x00000008
#define DSCAPS_CONTINUOUSRATE 0x00000010
#define DSCAPS_EMULDRIVER 0x00000020
#define DSCAPS_CERTIFIED 0x00000040
#define DSCAPS_SECONDARYMONO 0x00000100
#define DSCAPS_SECONDARYSTEREO 0x00000200
#define DSCAPS_SECONDARY8BIT 0x00000400
#define DSCAPS_SECONDARY16BIT 0x00000800

#define DS_CERTIFIED 0x00000000
#define DS_UNCERTIFIED 0x00000001

#define DSSPEAKER_DIRECTOUT 0x00000000
#define DSSPEAKER_HEADPHONE 0x00000001
#define DSSPEAKER_MONO 0x00000002
#define DSSPEAKER_QUAD 0x00000003
#define DSSPEAKER_STEREO 0x00000004
#define DSSPEAKER_SURROUND 0x00000005
#define DSSPEAKER_5POINT1 0x00000006
#define DSSPEAKER_5POINT1_BACK DSSPEAKER_5POINT1
#define DSSPEAKER_7POINT1 0x00000007
#define DSSPEAKER_7POINT1_WIDE DSSPEAKER_7POINT1
#define DSSPEAKER_7POINT1_SURROUND 0x00000008
#define DSSPEAKER_5POINT1_SURROUND 0x00000009
#define DSSPEAKER_GEOMETRY_MIN 0x00000005
#define DSSPEAKER_GEOMETRY_NARROW 0x0000000A
#define DSSPEAKER_GEOMETRY_WIDE 0x00000014
#define DSSPEAKER_GEOMETRY_MAX 0x000000B4
#define DSSPEAKER_COMBINED(c, g) ((DWORD)(((BYTE)(c)) | ((DWORD)((BYTE)(g))) << 16))
#define DSSPEAKER_CONFIG(a) ((BYTE)(a))
#define DSSPEAKER_GEOMETRY(a) ((BYTE)(((DWORD)(a) >> 16) & 0x00FF))

#define KSPROPERTY_SUPPORT_GET 1
#define KSPROPERTY_SUPPORT_SET 2

// --- Result codes -----------------------------------------------------------

#define MAKE_DSHRESULT(code) ((HRESULT)(0x88780000u | (code)))
#define DS_OK S_OK
#define DS_NO_VIRTUALIZATION ((HRESULT)0x0878000A)
#define DS_INCOMPLETE ((HRESULT)0x08780014)
#define DSERR_ALLOCATED MAKE_DSHRESULT(10)
#define DSERR_CONTROLUNAVAIL MAKE_DSHRESULT(30)
#define DSERR_INVALIDPARAM E_INVALIDARG
#define DSERR_INVALIDCALL MAKE_DSHRESULT(50)
#define DSERR_GENERIC E_FAIL
#define DSERR_PRIOLEVELNEEDED MAKE_DSHRESULT(70)
#define DSERR_OUTOFMEMORY E_OUTOFMEMORY
#define DSERR_BADFORMAT MAKE_DSHRESULT(100)
#define DSERR_UNSUPPORTED E_NOTIMPL
#define DSERR_NODRIVER MAKE_DSHRESULT(120)
#define DSERR_ALREADYINITIALIZED MAKE_DSHRESULT(130)
#define DSERR_NOAGGREGATION ((HRESULT)0x80040110)
#define DSERR_BUFFERLOST MAKE_DSHRESULT(150)
#define DSERR_OTHERAPPHASPRIO MAKE_DSHRESULT(160)
#define DSERR_UNINITIALIZED MAKE_DSHRESULT(170)
#define DSERR_NOINTERFACE E_NOINTERFACE
#define DSERR_ACCESSDENIED ((HRESULT)0x80070005)
#define DSERR_BUFFERTOOSMALL MAKE_DSHRESULT(180)
#define DSERR_DS8_REQUIRED MAKE_DSHRESULT(190)
#define DSERR_SENDLOOP MAKE_DSHRESULT(200)
#define DSERR_BADSENDBUFFERGUID MAKE_DSHRESULT(210)
#define DSERR_FXUNAVAILABLE MAKE_DSHRESULT(220)
#define DSERR_OBJECTNOTFOUND MAKE_DSHRESULT(4449)

// --- Entry points -----------------------------------------------------------

typedef BOOL(CALLBACK *LPDSENUMCALLBACKA)(LPGUID, LPCSTR, LPCSTR, LPVOID);

extern "C" {
HRESULT WINAPI DirectSoundEnumerateA(LPDSENUMCALLBACKA lpDSEnumCallback, LPVOID lpContext);
HRESULT WINAPI DirectSoundCreate8(LPCGUID lpcGuidDevice, LPDIRECTSOUND8 *ppDS8, LPUNKNOWN pUnkOuter);
}
#endif

// Shared by both builds: the property-set results that dsound.h leaves to
// the kernel-streaming headers.
#ifndef E_PROP_ID_UNSUPPORTED
#define E_PROP_ID_UNSUPPORTED ((HRESULT)0x80070490)
#endif
#ifndef E_PROP_SET_UNSUPPORTED
#define E_PROP_SET_UNSUPPORTED ((HRESULT)0x80070492)
#endif
