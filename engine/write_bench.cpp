// CPU time per second of audio through Write: 44.1 kHz 16-bit stereo input
// resampled to 48 kHz, with and without the equalizer. The voices are test
// buffers whose play cursor follows the writes, so the rings never fill.
#include <cstdio>
#include <ctime>
#include <vector>

#include "dsp/eq_design.h"
#include "engine/callbacks.h"
#include "engine/engine.h"
#include "engine/engine_internal.h"
#include "engine/settings.h"
#include "engine/test_voices.h"

Out_Module out_module = {};
std::atomic<uint32_t> enabled_flag{0};
std::atomic<HWND> plugin_window{nullptr};
intptr_t host_message(int) { return 0; }
bool host_message_bounded(int, int, intptr_t *result) {
  *result = 0;
  return true;
}

namespace {
double cpu_seconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double run(bool equalizer, int seconds) {
  const uint32_t ring = 96000;
  TestVoice l1(ring), r1(ring), l2(l1, 0), r2(r1, 0);
  TestVoice *v[4] = {&l1, &r1, &l2, &r2};
  for (int i = 0; i < 4; ++i) device_set.buffer8s[i] = v[i];
  device_set.voiceBufferBytes = ring;
  device_set.stateFlags = DEVICE_READY | DEVICE_VOICES_READY;
  live_settings = engine_settings_defaults;
  if (engine_start(false) != 0) return -1;
  eq_enabled = equalizer ? 1 : 0;
  Open(44100, 2, 16, -1, -1);
  std::vector<int16_t> block(2 * 1152);
  uint32_t phase = 0;
  double begin = cpu_seconds();
  for (int n = 0; n < seconds * 44100 / 1152; ++n) {
    for (size_t i = 0; i < 1152; ++i, ++phase) {
      int16_t s = int16_t((phase * 37) % 20000 - 10000);
      block[2 * i] = s;
      block[2 * i + 1] = int16_t(-s);
    }
    Write(reinterpret_cast<char *>(block.data()), int(block.size() * 2));
    // Keep the play cursor just behind the writes.
    uint32_t p = (engine.writeOffset + 2) % ring;
    l1.play = r1.play = p;
  }
  double used = cpu_seconds() - begin;
  engine_release();
  for (int i = 0; i < 4; ++i) device_set.buffer8s[i] = nullptr;
  device_set.stateFlags = 0;
  return used / seconds;
}
}  // namespace

int main() {
  const int seconds = 60;
  std::printf("Write, 44.1 kHz stereo to 48 kHz, CPU time per second of audio:\n");
  std::printf("  equalizer off: %.3f ms\n", run(false, seconds) * 1000);
  std::printf("  equalizer on:  %.3f ms\n", run(true, seconds) * 1000);
  return 0;
}
