// The room tests on the natively linked card.
#include <cstring>

#include "card/card_api.h"
#include "card/room_test_cases.h"

const RoomApi *room_api() {
  static const RoomApi api = {card_reset,          card_set_sink_null, card_set_sink_memory, card_memory_frames,
                              card_memory_samples, card_render,        card_set_room,
                              card_set_simulated_time, card_set_limiter};
  return &api;
}
