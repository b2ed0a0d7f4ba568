// The readable form of the two preset files: a .env file (the 572-byte
// PropertyBlock) and a .eq file (the 136-byte equalizer settings), turned
// into `name = value` lines and back.
//
// Text rules: one `name = value` per line; `#` starts a comment; blank lines
// are ignored. Names are case-insensitive and underscores in them do not
// count (room_hf, roomhf and ROOM_HF are one name). A name is either full
// (listener.room, voice2.position, eq.band7) or bare under a section header
// ([listener], [voice1] .. [voice4], [voices] for all four, [eq]). The
// lines are applied in order onto a starting state; a later line wins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "device/block.h"
#include "dsp/eq_design.h"
#include "dsp/eq_preset.h"

enum PresetKind { PRESET_NONE, PRESET_ENV, PRESET_EQ };

// Where and why a description or a file was refused. line is 0 when the
// problem is not tied to a line.
struct PresetError {
  int line;
  std::string message;
};

// --- Environments ------------------------------------------------------------

// The 26 EAX 2.0 environment names as the panel shows them, index 0..25;
// null outside.
const char *preset_environment_name(int index);
// The index of a name (case, spaces, underscores and hyphens ignored, so
// "concert hall", "ConcertHall" and "CONCERT_HALL" all give 7) or of a
// number 0..25; -1 when it names none.
int preset_environment_find(const char *name);
// Sets the 14 EAX listener fields of b to what selecting environment
// `index` loads in the device (index must be 0..25).
void preset_environment_load(PropertyBlock *b, int index);

// --- The .env fields -----------------------------------------------------------

enum EnvFieldType : uint8_t {
  FIELD_INT,          // int32, mB or plain
  FIELD_FLOAT,        // float
  FIELD_VECTOR,       // three floats
  FIELD_ENVIRONMENT,  // uint32 environment index, written by name
  FIELD_FLAGS,        // uint32 bit set, written in hex or by bit names
  FIELD_MODE,         // uint32 DS3D mode, written by name
};

// One settable field of the block. Listener fields lie at `offset`; voice
// fields at offset + stride * voice.
struct EnvField {
  const char *name;  // without section, words joined by '_'
  bool voice;        // in the voiceN sections
  EnvFieldType type;
  uint16_t offset;
  uint16_t stride;
  double min;  // the accepted range (flags: the reserved bits in `max`)
  double max;
  const char *unit;  // shown in comments and messages, may be ""
};
// Every field of the block but the magic, each byte covered once.
extern const EnvField env_fields[];
extern const int env_field_count;

// --- Blocks and files ---------------------------------------------------------

// The state the plug-in starts from when it has no autosave file: the
// Generic environment, the EAX 2.0 voice defaults, the DS3D defaults with
// cone outside volume -5000 mB, volume -1000 mB and the view's starting
// poses and cone angles.
void env_block_defaults(PropertyBlock *b);
// Preamp 100, every band 50.
void eq_settings_defaults(EqSettings *s);

// The kind a file name's extension gives (.env / .eq, any case).
PresetKind preset_kind_of_path(const char *path);

// Checks that bytes hold a whole preset of the kind and copies it out.
// False with a message naming size and tag otherwise.
bool env_block_from_bytes(const void *bytes, size_t size, PropertyBlock *b, PresetError *error);
bool eq_settings_from_bytes(const void *bytes, size_t size, EqSettings *s, PresetError *error);
// The 136 bytes of a .eq file.
void eq_settings_to_bytes(const EqSettings &s, unsigned char out[EQ_PRESET_BYTES]);

// --- Text ----------------------------------------------------------------------

// The whole block as text that env_block_from_text reads back to the same
// bytes (when every value is within its range; others are marked).
std::string env_block_to_text(const PropertyBlock &b);
std::string eq_settings_to_text(const EqSettings &s);

// Applies the description to *b (or *s). On any error nothing changes and
// error names the line. An unknown name, a value that does not parse and a
// value outside its range are errors, and so is a line of the other kind.
bool env_block_from_text(const char *text, size_t size, PropertyBlock *b, PresetError *error);
bool eq_settings_from_text(const char *text, size_t size, EqSettings *s, PresetError *error);

// One line per value outside its range ("listener.room = 5 is outside
// -10000..0 mB"), for values that came from a file rather than from text.
std::vector<std::string> env_block_range_problems(const PropertyBlock &b);
std::vector<std::string> eq_settings_range_problems(const EqSettings &s);

// --- Files ---------------------------------------------------------------------

// Reads a whole file of at most max_size bytes. False with a message when
// it cannot be read or is longer.
bool preset_file_read(const char *path, size_t max_size, std::vector<unsigned char> *bytes, PresetError *error);
// Writes the bytes beside the target under a temporary name and renames it
// over the target, so a failed write leaves the old file (or none) and no
// partial one.
bool preset_file_write(const char *path, const void *bytes, size_t size, PresetError *error);
