// Live output through ALSA. See live_output.h for how it keeps time.
#include <alsa/asoundlib.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "card/card_api.h"
#include "host/live_output.h"
#include "platform/os.h"

namespace {

using Clock = std::chrono::steady_clock;

const int RATE = 48000;
const unsigned DEVICE_LATENCY_US = 40000;  // the device's buffer
const uint32_t CARD_PERIOD_MS = 10;        // how often the card's mix is taken
const uint32_t SINK_FRAMES = RATE;         // the card keeps up to a second for us

// alsa-lib reports failures on the standard error stream as well as in its
// return codes; the player says it in one line of its own.
void quiet_alsa_errors(const char *, int, const char *, int, const char *, ...) {}

void sleep_real(double seconds) {
  if (seconds <= 0.0) return;
  struct timespec ts;
  ts.tv_sec = time_t(seconds);
  ts.tv_nsec = long((seconds - double(ts.tv_sec)) * 1e9);
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

}  // namespace

struct LiveOutput {
  snd_pcm_t *pcm = nullptr;
  std::string name;
  OsThread *thread = nullptr;
  std::atomic<int> quit{0};
  std::vector<int16_t> block;  // one drain of the card's sink
  LiveStats stats;
  // Where the device is taken to be, for devices that do not report it:
  // `baseFrames` had played at `baseTime`.
  bool haveBase = false;
  int64_t baseFrames = 0;
  Clock::time_point baseTime, firstWrite, lastWrite;
};

namespace {

// Writes n frames, blocking while the device's buffer is full; recovers from
// an underrun (the frames are then written after it).
void write_frames(LiveOutput *o, const int16_t *lr, snd_pcm_uframes_t n) {
  while (n > 0) {
    snd_pcm_sframes_t done = snd_pcm_writei(o->pcm, lr, n);
    if (done < 0) {
      if (done == -EAGAIN) continue;
      if (snd_pcm_recover(o->pcm, int(done), 1) < 0) return;  // gone: drop the block
      ++o->stats.xruns;
      continue;
    }
    lr += done * 2;
    n -= snd_pcm_uframes_t(done);
  }
}

// Holds the thread (and with it simulated time) until no more than the
// device's buffer waits to be played. The device's own count is trusted when
// it gives one; the wall clock stands in for devices that play nothing.
void pace(LiveOutput *o) {
  Clock::time_point now = Clock::now();
  snd_pcm_sframes_t delay = 0;
  if (snd_pcm_delay(o->pcm, &delay) == 0 && delay > 0) {
    o->baseFrames = o->stats.frames - delay;
    o->baseTime = now;
    o->haveBase = true;
  } else if (!o->haveBase) {
    o->baseFrames = 0;
    o->baseTime = o->firstWrite;
    o->haveBase = true;
  }
  double since = std::chrono::duration<double>(now - o->baseTime).count();
  int64_t played = o->baseFrames + int64_t(since * RATE);
  int64_t queued = o->stats.frames - played;
  if (queued < 0) {
    // Rendering fell behind the wall clock: start counting again from here.
    o->baseFrames = o->stats.frames;
    o->baseTime = now;
    queued = 0;
  }
  o->stats.maxQueuedFrames = std::max(o->stats.maxQueuedFrames, queued);
  if (queued > o->stats.bufferFrames) sleep_real(double(queued - o->stats.bufferFrames) / RATE);
}

unsigned live_main(void *arg) {
  LiveOutput *o = static_cast<LiveOutput *>(arg);
  const uint32_t period_frames = RATE * CARD_PERIOD_MS / 1000;
  bool last = false;
  while (!last) {
    last = o->quit.load() != 0;
    // Simulated time: the plug-in and the card run a period on.
    if (!last) os_sleep(CARD_PERIOD_MS);
    uint32_t n = std::min<uint32_t>(card_memory_frames(), SINK_FRAMES);
    if (n > 0) {
      std::memcpy(o->block.data(), card_memory_samples(), size_t(n) * 4);
      card_memory_clear();
    } else if (!last) {
      // No card device (before Init, after Quit): silence keeps the pace.
      n = period_frames;
      std::fill(o->block.begin(), o->block.begin() + n * 2, int16_t(0));
      o->stats.silentFrames += n;
    }
    if (n == 0) break;
    if (o->stats.frames == 0) o->firstWrite = Clock::now();
    write_frames(o, o->block.data(), n);
    o->stats.frames += n;
    o->lastWrite = Clock::now();
    pace(o);
  }
  return 0;
}

}  // namespace

bool live_output_available(void) { return true; }

LiveOutput *live_output_open(const std::string &device, std::string *error) {
  snd_lib_error_set_handler(quiet_alsa_errors);
  LiveOutput *o = new LiveOutput;
  o->name = device;
  // Non-blocking open: a device another program holds fails at once.
  int r = snd_pcm_open(&o->pcm, device.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
  if (r == 0) r = snd_pcm_nonblock(o->pcm, 0);
  if (r == 0)
    r = snd_pcm_set_params(o->pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 2, RATE, 1, DEVICE_LATENCY_US);
  snd_pcm_uframes_t buffer = 0, period = 0;
  if (r == 0) r = snd_pcm_get_params(o->pcm, &buffer, &period);
  if (r < 0) {
    *error = "cannot play on the sound device '" + device + "': " + snd_strerror(r) +
             (r == -EBUSY ? " (another program holds it)" : "") + "; --out FILE.wav renders to a file";
    if (o->pcm) snd_pcm_close(o->pcm);
    delete o;
    snd_config_update_free_global();
    return nullptr;
  }
  o->stats.rate = RATE;
  o->stats.bufferFrames = int(buffer);
  o->stats.periodFrames = int(period);
  o->stats.cardPeriodMs = int(CARD_PERIOD_MS);
  o->block.assign(size_t(SINK_FRAMES) * 2, 0);
  return o;
}

bool live_output_start(LiveOutput *o, std::string *error) {
  card_set_sink_memory(SINK_FRAMES);
  o->thread = os_thread_start(live_main, o);
  if (!o->thread) {
    *error = "cannot start the sound device's thread";
    return false;
  }
  return true;
}

LiveStats live_output_finish(LiveOutput *o) {
  if (o->thread) {
    o->quit = 1;
    os_thread_join(o->thread);
    o->thread = nullptr;
  }
  // What is in the device's buffer still plays; drain waits for it (a
  // fraction of a second).
  snd_pcm_drain(o->pcm);
  snd_pcm_close(o->pcm);
  // alsa-lib keeps the configuration it read until told otherwise.
  snd_config_update_free_global();
  card_set_sink_null();
  LiveStats stats = o->stats;
  stats.wallSeconds = std::chrono::duration<double>(o->lastWrite - o->firstWrite).count();
  delete o;
  return stats;
}
