// CPU the card's mixer spends per second of rendered audio: four looping 3D
// voices placed around the listener (as the plug-in's four voices are), with
// the room (positioning, filters, reverb) on and off. "core_percent" is the
// share of one core that rendering in real time would take.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>

#include "card/card_api.h"
#include "platform/dsound.h"
#include "platform/eax2.h"

namespace {

struct Scene {
  IDirectSound8 *ds = nullptr;
  IDirectSoundBuffer *voices[4] = {};

  bool open(int room) {
    card_reset();
    card_set_sink_null();
    card_set_room(room);
    if (DirectSoundCreate8(nullptr, &ds, nullptr) != DS_OK) return false;
    ds->SetCooperativeLevel(nullptr, DSSCL_PRIORITY);
    WAVEFORMATEX f = {WAVE_FORMAT_PCM, 1, 48000, 96000, 2, 16, 0};
    DSBUFFERDESC d = {20, 0x180B4, 96000, 0, &f, {}};
    const float where[4][3] = {{-2, 0, 1}, {2, 0, 1}, {-1, 0, -2}, {1, 0, -2}};
    uint32_t seed = 1;
    for (int v = 0; v < 4; ++v) {
      if (ds->CreateSoundBuffer(&d, &voices[v], nullptr) != DS_OK) return false;
      void *p1, *p2;
      DWORD n1, n2;
      voices[v]->Lock(0, 96000, &p1, &n1, &p2, &n2, 0);
      int16_t *s = static_cast<int16_t *>(p1);
      for (DWORD i = 0; i < n1 / 2; ++i) {
        seed = seed * 1664525u + 1013904223u;
        s[i] = int16_t(int32_t(seed >> 16) - 32768) / 4;
      }
      voices[v]->Unlock(p1, n1, p2, n2);
      IDirectSound3DBuffer *b3 = nullptr;
      voices[v]->QueryInterface(IID_IDirectSound3DBuffer, reinterpret_cast<void **>(&b3));
      b3->SetPosition(where[v][0], where[v][1], where[v][2], DS3D_IMMEDIATE);
      b3->SetConeAngles(90, 240, DS3D_IMMEDIATE);
      b3->SetConeOutsideVolume(-2000, DS3D_IMMEDIATE);
      IKsPropertySet *ks = nullptr;
      b3->QueryInterface(IID_IKsPropertySet, reinterpret_cast<void **>(&ks));
      LONG occlusion = -500;
      ks->Set(DSPROPSETID_EAX20_BufferProperties, DSPROPERTY_EAXBUFFER_OCCLUSION, nullptr, 0, &occlusion, 4);
      DWORD env = EAX_ENVIRONMENT_CONCERTHALL;
      ks->Set(DSPROPSETID_EAX20_ListenerProperties, DSPROPERTY_EAXLISTENER_ENVIRONMENT, nullptr, 0, &env, 4);
      ks->Release();
      b3->Release();
      voices[v]->Play(0, 0, DSBPLAY_LOOPING);
    }
    // A sink that keeps nothing but makes the mixer render.
    card_set_sink_memory(1);
    card_render(ds, 1);
    return true;
  }

  void close() {
    for (auto *v : voices)
      if (v) v->Release();
    if (ds) ds->Release();
    card_reset();
  }
};

// The memory sink stops the mixer once it is full, so each second is
// rendered into a sink of its own size and then discarded.
void render_second(benchmark::State &state, int room) {
  Scene scene;
  if (!scene.open(room)) {
    state.SkipWithError("device could not be opened");
    return;
  }
  double busy = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    card_set_sink_memory(48000);
    state.ResumeTiming();
    auto t0 = std::chrono::steady_clock::now();
    card_render(scene.ds, 48000);
    busy += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  // One iteration renders one second of audio.
  state.counters["core_percent"] = state.iterations() ? 100.0 * busy / double(state.iterations()) : 0.0;
  scene.close();
}

void BM_FourVoicesRoomOn(benchmark::State &state) { render_second(state, 1); }
void BM_FourVoicesRoomOff(benchmark::State &state) { render_second(state, 0); }

}  // namespace

BENCHMARK(BM_FourVoicesRoomOn)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FourVoicesRoomOff)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
