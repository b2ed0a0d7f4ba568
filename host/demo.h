// The built-in demo piece: one tune in three songs of different formats
// (44100 Hz 16-bit stereo, 32000 Hz 24-bit stereo, 22050 Hz 16-bit mono)
// that continue each other without a gap, so a gapless join is heard as
// an unbroken melody.
#pragma once

#include <string>
#include <vector>

#include "host/options.h"
#include "host/wav.h"

struct DemoSong {
  std::string name;
  WavAudio audio;
};

// The songs of a piece `seconds` long (0: 15 s), split in three.
std::vector<DemoSong> demo_songs(double seconds);
// The demo's own actions: a seek forward in the first song and a stop
// shortly before the end of the last, which the plug-in fades out.
std::vector<TimedAction> demo_actions(double seconds);
// Length of the piece for a requested length (0: the default).
double demo_length(double seconds);
