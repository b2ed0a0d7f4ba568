#include "platform/clock.h"

#include <chrono>
#include <thread>

namespace {
const auto origin = std::chrono::steady_clock::now();
}

extern "C" uint64_t clock_now_us(void) {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - origin)
      .count();
}

extern "C" void clock_sleep_us(uint64_t us) { std::this_thread::sleep_for(std::chrono::microseconds(us)); }
