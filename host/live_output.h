// Live output: the software card's mix played on a sound device as it is
// rendered. Natively through ALSA; on Windows the plug-in plays on the
// system's DirectSound itself, so there is nothing to do there.
//
// The player runs on the simulated clock and this output keeps it: its
// thread takes part in simulated time, and each period it sleeps (letting the
// plug-in and the card run that far), takes what the card rendered, and
// writes it to the device, which blocks while the device's buffer is full.
// Devices that accept data at once (ALSA's null and file devices) are paced
// by the wall clock instead. Simulated time therefore moves at the device's
// pace, and a pause, seek or volume change is heard after at most the
// device's buffer plus a period or two of the card.
#pragma once

#include <cstdint>
#include <string>

struct LiveOutput;

struct LiveStats {
  int rate = 0;                 // frames per second
  int periodFrames = 0;         // the device's period
  int bufferFrames = 0;         // the device's buffer
  int cardPeriodMs = 0;         // how often the card's mix is taken
  int64_t frames = 0;           // frames written to the device
  int64_t silentFrames = 0;     // of those, silence the card did not render in time
  int xruns = 0;                // device underruns recovered from
  int64_t maxQueuedFrames = 0;  // most frames ever waiting in the device
  double wallSeconds = 0.0;     // from the first write to the last
};

// Whether this build plays live through a sound device of its own.
bool live_output_available(void);

// Opens the device (ALSA name, e.g. "default", "null", "hw:0") for 48 kHz
// 16-bit stereo without waiting for a busy device. Null with a one-line
// message on failure.
LiveOutput *live_output_open(const std::string &device, std::string *error);

// Makes the card's mix go to this output and starts its thread. Call on a
// thread that takes part in simulated time, before the plug-in's Init (the
// card chooses its sink when its device is made). False with a message.
bool live_output_start(LiveOutput *out, std::string *error);

// Ends the thread after it wrote what the card rendered, lets the device
// play out its buffer, and closes the device. Returns the figures of the run.
LiveStats live_output_finish(LiveOutput *out);
