// Songs through libsndfile: whatever it decodes is handed over as the PCM a
// decoder of the music player would give the plug-in. Integer formats keep
// their width (8, 16 or 24 bits; 32-bit is reduced to 24); floating-point
// and compressed formats, which carry more than 16 bits, become 24-bit.
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "host/audio_file.h"

namespace {

const int MIN_RATE = 1000;
const int MAX_RATE = 384000;                     // the plug-in's highest input rate
const int MAX_CHANNELS = 32;                     // as the WAV reader takes
const int64_t MAX_PCM_BYTES = int64_t(1) << 31;  // what the decoder's offsets hold
const int BLOCK_FRAMES = 4096;

int bits_for(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
      return 8;
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
    case SF_FORMAT_IMA_ADPCM:
    case SF_FORMAT_MS_ADPCM:
    case SF_FORMAT_GSM610:
    case SF_FORMAT_VOX_ADPCM:
    case SF_FORMAT_G721_32:
    case SF_FORMAT_G723_24:
    case SF_FORMAT_G723_40:
    case SF_FORMAT_DWVW_12:
    case SF_FORMAT_DWVW_16:
    case SF_FORMAT_DPCM_8:
    case SF_FORMAT_DPCM_16:
    case SF_FORMAT_ALAC_16:
      return 16;
    default:
      return 24;
  }
}

void put_sample(uint8_t *o, int bits, double v) {
  // v is in [-1, 1): libsndfile's float scale.
  double full = bits == 8 ? 128.0 : bits == 16 ? 32768.0 : 8388608.0;
  double s = std::nearbyint(v * full);
  if (s > full - 1) s = full - 1;
  if (s < -full) s = -full;
  int32_t i = int32_t(s);
  if (bits == 8) {
    o[0] = uint8_t(i + 128);
  } else {
    o[0] = uint8_t(i);
    o[1] = uint8_t(i >> 8);
    if (bits == 24) o[2] = uint8_t(i >> 16);
  }
}

// libsndfile plays a WAV or AIFF file whose data chunk is cut short as far
// as it goes, noting it only in its log: "data : 192000 (should be 96000)".
bool cut_short_in_log(SNDFILE *file, std::string *message) {
  char log[16384];
  log[0] = 0;
  sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
  for (const char *chunk : {"\ndata : ", "\nSSND : "}) {
    const char *at = std::strstr(log, chunk);
    long long declared = 0, present = 0;
    if (at && std::sscanf(at + std::strlen(chunk), "%lld (should be %lld)", &declared, &present) == 2 &&
        present < declared) {
      *message =
          "data chunk is cut short: " + std::to_string(present) + " of " + std::to_string(declared) + " bytes present";
      return true;
    }
  }
  return false;
}

bool named_or_made_like_wav(const std::string &path) {
  size_t n = path.size();
  if (n >= 4 && strcasecmp(path.c_str() + n - 4, ".wav") == 0) return true;
  char head[4] = {};
  FILE *f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  size_t got = std::fread(head, 1, 4, f);
  std::fclose(f);
  return got == 4 && (std::memcmp(head, "RIFF", 4) == 0 || std::memcmp(head, "RIFX", 4) == 0);
}

}  // namespace

WavResult audio_read_file(const std::string &path, WavAudio *out, std::string *message) {
  SF_INFO info = {};
  SNDFILE *file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) {
    // libsndfile's texts end in a full stop; the player's line goes on.
    std::string why = sf_strerror(nullptr);
    while (!why.empty() && (why.back() == '.' || why.back() == ' ')) why.pop_back();
    // A WAV file libsndfile refuses may still hold what the WAV reader
    // plays; if not, the WAV reader says more precisely what is wrong.
    std::string wav_message;
    WavResult r = wav_read_file(path, out, &wav_message);
    if (r != WavResult::Failed || named_or_made_like_wav(path)) {
      *message = wav_message;
      return r;
    }
    *message = why;
    return WavResult::Failed;
  }
  auto fail = [&](const std::string &why) {
    sf_close(file);
    *message = why;
    return WavResult::Failed;
  };
  if (info.channels < 1 || info.channels > MAX_CHANNELS)
    return fail(std::to_string(info.channels) + " channels (1 to 32 are played)");
  if (info.samplerate < MIN_RATE || info.samplerate > MAX_RATE)
    return fail("sample rate " + std::to_string(info.samplerate) + " Hz (1000 to 384000 Hz are played)");
  // Floating-point files whose peak is above full scale are read as they are
  // and clipped, as a player without a limiter would.
  sf_command(file, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);

  WavAudio a;
  a.rate = info.samplerate;
  a.channels = info.channels > 2 ? 2 : info.channels;
  a.bits = bits_for(info.format);
  const int out_bytes = a.bits / 8;
  const int frame_bytes = a.channels * out_bytes;
  const double norm = info.channels > 2 ? 1.0 / (1.0 + 0.5 * (info.channels - 2)) : 1.0;
  if (info.frames > 0 && info.frames < MAX_PCM_BYTES / frame_bytes) a.pcm.reserve(size_t(info.frames) * frame_bytes);

  std::vector<float> block(size_t(BLOCK_FRAMES) * info.channels);
  int64_t frames = 0;
  for (;;) {
    sf_count_t got = sf_readf_float(file, block.data(), BLOCK_FRAMES);
    if (got <= 0) break;
    if ((frames + got) * frame_bytes > MAX_PCM_BYTES) return fail("longer than the player holds (2 GiB of PCM)");
    size_t at = a.pcm.size();
    a.pcm.resize(at + size_t(got) * frame_bytes);
    uint8_t *o = a.pcm.data() + at;
    for (sf_count_t i = 0; i < got; ++i, o += frame_bytes) {
      const float *in = block.data() + i * info.channels;
      if (info.channels <= 2) {
        for (int c = 0; c < info.channels; ++c) put_sample(o + c * out_bytes, a.bits, in[c]);
        continue;
      }
      // More channels than two: the rest go into both sides at half weight.
      double rest = 0.0;
      for (int c = 2; c < info.channels; ++c) rest += 0.5 * in[c];
      put_sample(o, a.bits, (in[0] + rest) * norm);
      put_sample(o + out_bytes, a.bits, (in[1] + rest) * norm);
    }
    frames += got;
  }
  int error = sf_error(file);
  std::string error_text = error ? sf_strerror(file) : "";
  std::string cut_message;
  bool cut = cut_short_in_log(file, &cut_message);
  sf_close(file);
  if (frames == 0) {
    *message = error ? "cannot decode: " + error_text : "holds no audio";
    return WavResult::Failed;
  }
  *out = std::move(a);
  // Some formats do not know their length ahead (SF_COUNT_MAX or 0).
  bool known = info.frames > 0 && info.frames != SF_COUNT_MAX;
  if (cut) {
    *message = cut_message;
    return WavResult::Truncated;
  }
  if (error || (known && frames < info.frames)) {
    *message = known ? "cut short: " + std::to_string(frames) + " of " + std::to_string(info.frames) + " frames decoded"
                     : "cut short: " + error_text;
    return WavResult::Truncated;
  }
  return WavResult::Ok;
}

const char *audio_file_formats(void) {
  return "any file libsndfile decodes: WAV, FLAC, Ogg Vorbis, Opus, MP3, AIFF,\n"
         "CAF, W64 and more (8, 16 or 24 bits are handed over, 32-bit and float\n"
         "reduced to 24 bits; more than two channels mixed down to stereo; any rate\n"
         "from 1000 to 384000 Hz).";
}
