// The stream callbacks of the output-module record. All take and return the
// host's values; see out_module in module.h.
#pragma once

#include "engine/module.h"

int SONORIUM_CDECL Open(int samplerate, int numchannels, int bitspersamp, int bufferlenms, int prebufferms);
void SONORIUM_CDECL Close(void);
int SONORIUM_CDECL Write(char *buf, int len);
int SONORIUM_CDECL CanWrite(void);
int SONORIUM_CDECL IsPlaying(void);
int SONORIUM_CDECL Pause(int pause);
void SONORIUM_CDECL SetVolume(int volume);
void SONORIUM_CDECL Flush(int t);
int SONORIUM_CDECL GetOutputTime(void);
int SONORIUM_CDECL GetWrittenTime(void);
