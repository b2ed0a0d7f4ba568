// Reading the songs the player plays into PCM the plug-in is opened with:
// 8, 16 or 24 bits, mono or stereo, at the file's own rate. Natively through
// libsndfile (WAV, FLAC, Ogg Vorbis, Opus, MP3, AIFF and the rest it reads);
// on Windows, where there is no libsndfile, through the WAV reader.
#pragma once

#include <string>

#include "host/wav.h"

// Reads and converts the file at path; the message says why it failed or
// what is cut short.
WavResult audio_read_file(const std::string &path, WavAudio *out, std::string *message);

// The formats audio_read_file takes, as a sentence for the --help text.
const char *audio_file_formats(void);
