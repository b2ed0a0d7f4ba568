#include "host/wav.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

const int WAVE_FORMAT_PCM = 1;
const int WAVE_FORMAT_IEEE_FLOAT = 3;
const int WAVE_FORMAT_EXTENSIBLE = 0xFFFE;
const int MIN_RATE = 1000;
const int MAX_RATE = 384000;  // the plug-in's highest input rate
const int MAX_CHANNELS = 18;  // the speaker positions WAVE_FORMAT_EXTENSIBLE names

// The tail of every KSDATAFORMAT_SUBTYPE_* GUID; the first two bytes carry
// the format tag.
const uint8_t SUBTYPE_TAIL[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                  0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

uint32_t get16(const uint8_t *p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t get32(const uint8_t *p) { return get16(p) | get16(p + 2) << 16; }

std::string text(const char *format, long long a = 0, long long b = 0) {
  char buf[160];
  std::snprintf(buf, sizeof buf, format, a, b);
  return buf;
}

std::string fourcc(const uint8_t *p) {
  std::string s;
  for (int i = 0; i < 4; ++i) s += (p[i] >= 32 && p[i] < 127) ? char(p[i]) : '?';
  return s;
}

struct Format {
  int tag = 0;
  int channels = 0;
  int rate = 0;
  int blockAlign = 0;
  int bits = 0;
};

bool read_format(const uint8_t *p, uint32_t size, Format *f, std::string *message) {
  if (size < 16) {
    *message = text("fmt chunk is %lld bytes, at least 16 needed", size);
    return false;
  }
  f->tag = int(get16(p));
  f->channels = int(get16(p + 2));
  uint32_t rate = get32(p + 4);
  f->blockAlign = int(get16(p + 12));
  f->bits = int(get16(p + 14));
  if (f->tag == WAVE_FORMAT_EXTENSIBLE) {
    if (size < 40) {
      *message = text("WAVE_FORMAT_EXTENSIBLE fmt chunk is %lld bytes, 40 needed", size);
      return false;
    }
    if (std::memcmp(p + 26, SUBTYPE_TAIL, sizeof SUBTYPE_TAIL) != 0) {
      *message = "WAVE_FORMAT_EXTENSIBLE with an unknown sub-format";
      return false;
    }
    f->tag = int(get16(p + 24));
  }
  if (f->tag != WAVE_FORMAT_PCM && f->tag != WAVE_FORMAT_IEEE_FLOAT) {
    *message = text("format tag 0x%llx is not PCM (only uncompressed PCM and float are played)", f->tag);
    return false;
  }
  if (f->channels < 1 || f->channels > MAX_CHANNELS) {
    *message = text("%lld channels (1 to %lld are played)", f->channels, MAX_CHANNELS);
    return false;
  }
  if (rate < uint32_t(MIN_RATE) || rate > uint32_t(MAX_RATE)) {
    *message = text("sample rate %lld Hz (%lld to 384000 Hz are played)", rate, MIN_RATE);
    return false;
  }
  f->rate = int(rate);
  bool pcm_ok = f->tag == WAVE_FORMAT_PCM && (f->bits == 8 || f->bits == 16 || f->bits == 24 || f->bits == 32);
  bool float_ok = f->tag == WAVE_FORMAT_IEEE_FLOAT && f->bits == 32;
  if (!pcm_ok && !float_ok) {
    *message = text(f->tag == WAVE_FORMAT_PCM ? "%lld-bit PCM (8, 16, 24 and 32 bits are played)"
                                              : "%lld-bit float (32-bit float is played)",
                    f->bits);
    return false;
  }
  if (f->blockAlign != f->channels * f->bits / 8) {
    *message = text("block align %lld does not match %lld bytes per frame", f->blockAlign, f->channels * f->bits / 8);
    return false;
  }
  return true;
}

// One sample as a fraction of full scale.
double sample_value(const uint8_t *p, const Format &f) {
  switch (f.bits) {
    case 8: return (int(p[0]) - 128) / 128.0;
    case 16: return int16_t(get16(p)) / 32768.0;
    case 24: return int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24) / 2147483648.0;
    default:
      if (f.tag == WAVE_FORMAT_IEEE_FLOAT) {
        float v;
        std::memcpy(&v, p, 4);
        return std::isfinite(v) ? double(v) : 0.0;
      }
      return int32_t(get32(p)) / 2147483648.0;
  }
}

void put_sample(uint8_t *p, int bits, double v) {
  if (v > 1.0) v = 1.0;
  if (v < -1.0) v = -1.0;
  if (bits == 8) {
    long s = std::lround(v * 127.0) + 128;
    p[0] = uint8_t(s);
  } else if (bits == 16) {
    long s = std::lround(v * 32767.0);
    p[0] = uint8_t(s);
    p[1] = uint8_t(s >> 8);
  } else {
    long s = std::lround(v * 8388607.0);
    p[0] = uint8_t(s);
    p[1] = uint8_t(s >> 8);
    p[2] = uint8_t(s >> 16);
  }
}

// Copies frames of the file's format into the plug-in's: as they are when
// the plug-in takes them, otherwise reduced to 24 bits and to stereo. Extra
// channels go into both sides at half weight; the sum is scaled so that a
// full-scale input cannot clip.
void convert(const uint8_t *data, int64_t frames, const Format &f, WavAudio *out) {
  out->rate = f.rate;
  out->channels = f.channels > 2 ? 2 : f.channels;
  out->bits = f.bits == 32 ? 24 : f.bits;
  if (f.channels <= 2 && f.bits != 32) {
    out->pcm.assign(data, data + frames * f.blockAlign);
    return;
  }
  const int in_bytes = f.bits / 8;
  const int out_bytes = out->bits / 8;
  out->pcm.assign(size_t(frames) * size_t(out->channels * out_bytes), 0);
  const double norm = f.channels > 2 ? 1.0 / (1.0 + 0.5 * (f.channels - 2)) : 1.0;
  for (int64_t i = 0; i < frames; ++i) {
    const uint8_t *in = data + i * f.blockAlign;
    uint8_t *o = out->pcm.data() + i * out->channels * out_bytes;
    if (f.channels <= 2) {
      for (int c = 0; c < f.channels; ++c) put_sample(o + c * out_bytes, out->bits, sample_value(in + c * in_bytes, f));
      continue;
    }
    double left = sample_value(in, f), right = sample_value(in + in_bytes, f), rest = 0.0;
    for (int c = 2; c < f.channels; ++c) rest += 0.5 * sample_value(in + c * in_bytes, f);
    put_sample(o, out->bits, (left + rest) * norm);
    put_sample(o + out_bytes, out->bits, (right + rest) * norm);
  }
}

}  // namespace

WavResult wav_parse(const uint8_t *bytes, size_t size, WavAudio *out, std::string *message) {
  *out = WavAudio();
  message->clear();
  if (size < 12 || std::memcmp(bytes, "RIFF", 4) != 0 || std::memcmp(bytes + 8, "WAVE", 4) != 0) {
    *message = "not a WAV file (no RIFF/WAVE header)";
    return WavResult::Failed;
  }
  Format f;
  bool have_format = false;
  size_t at = 12;
  while (at + 8 <= size) {
    const uint8_t *chunk = bytes + at;
    uint32_t chunk_size = get32(chunk + 4);
    size_t body = at + 8;
    size_t left = size - body;
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (chunk_size > left) {
        *message = "fmt chunk runs past the end of the file";
        return WavResult::Failed;
      }
      if (!read_format(bytes + body, chunk_size, &f, message)) return WavResult::Failed;
      have_format = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (!have_format) {
        *message = "data chunk comes before the fmt chunk";
        return WavResult::Failed;
      }
      bool cut = chunk_size > left;
      size_t have = cut ? left : chunk_size;
      int64_t frames = int64_t(have / size_t(f.blockAlign));
      if (frames == 0) {
        *message = cut ? "data chunk is cut short before its first sample" : "data chunk holds no samples";
        return WavResult::Failed;
      }
      convert(bytes + body, frames, f, out);
      if (cut) {
        *message = text("data chunk is cut short: %lld of %lld bytes present", (long long)have, chunk_size);
        return WavResult::Truncated;
      }
      return WavResult::Ok;
    } else if (chunk_size > left) {
      *message = "chunk '" + fourcc(chunk) + "' runs past the end of the file, before any data chunk";
      return WavResult::Failed;
    }
    at = body + chunk_size + (chunk_size & 1);
  }
  *message = have_format ? "no data chunk" : "no fmt chunk";
  return WavResult::Failed;
}

WavResult wav_read_file(const std::string &path, WavAudio *out, std::string *message) {
  *out = WavAudio();
  FILE *file = std::fopen(path.c_str(), "rb");
  if (!file) {
    *message = std::string("cannot open: ") + std::strerror(errno);
    return WavResult::Failed;
  }
  std::vector<uint8_t> bytes;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, file)) > 0) bytes.insert(bytes.end(), buf, buf + n);
  bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    *message = "read error";
    return WavResult::Failed;
  }
  return wav_parse(bytes.data(), bytes.size(), out, message);
}

std::vector<uint8_t> wav_build(int rate, int channels, int bits, const std::vector<uint8_t> &pcm) {
  const size_t pad = pcm.size() & 1;
  std::vector<uint8_t> w(44 + pcm.size() + pad, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) w[at + size_t(i)] = uint8_t(v >> (8 * i));
  };
  auto put16 = [&](size_t at, uint32_t v) {
    w[at] = uint8_t(v);
    w[at + 1] = uint8_t(v >> 8);
  };
  std::memcpy(&w[0], "RIFF", 4);
  put32(4, uint32_t(36 + pcm.size() + (pcm.size() & 1)));
  std::memcpy(&w[8], "WAVEfmt ", 8);
  put32(16, 16);
  put16(20, WAVE_FORMAT_PCM);
  put16(22, uint32_t(channels));
  put32(24, uint32_t(rate));
  put32(28, uint32_t(rate * channels * bits / 8));
  put16(32, uint32_t(channels * bits / 8));
  put16(34, uint32_t(bits));
  std::memcpy(&w[36], "data", 4);
  put32(40, uint32_t(pcm.size()));
  if (!pcm.empty()) std::memcpy(w.data() + 44, pcm.data(), pcm.size());
  return w;
}
