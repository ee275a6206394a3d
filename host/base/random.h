// The process's random generator: state := state * 214013 + 2531011 (mod 2^32),
// each draw giving (state >> 16) & 0x7FFF. Every random choice draws from it;
// the window thread and the script thread may draw at the same time.
#pragma once

#include <atomic>
#include <cstdint>

namespace kelvo {

struct RandomGenerator {
  std::atomic<std::uint32_t> state{1};
};

inline void random_seed(RandomGenerator& r, std::uint32_t seed) { r.state.store(seed, std::memory_order_relaxed); }

// A number from 0 to 32767.
inline int random_next(RandomGenerator& r) {
  std::uint32_t old = r.state.load(std::memory_order_relaxed);
  std::uint32_t next;
  do {
    next = old * 214013u + 2531011u;
  } while (!r.state.compare_exchange_weak(old, next, std::memory_order_relaxed));
  return static_cast<int>((next >> 16) & 0x7FFF);
}

}  // namespace kelvo
