#include "common/random.h"

#include <cstring>

namespace wh {

namespace {
// splitmix64 over a 64-bit state: fast, well distributed, and trivially
// portable, so a seed means the same sequence everywhere.
uint64_t g_state = 0x57696E746572ULL;
uint64_t g_draws = 0;

uint64_t Next() {
  uint64_t z = (g_state += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}
}  // namespace

float Rnd() {
  ++g_draws;
  return static_cast<float>(Next() >> 40) * (1.0f / 16777216.0f);
}

void SeedRandom(uint64_t seed) {
  g_state = seed;
  g_draws = 0;
}

void SeedRandomFromTimeOfDay(float seconds_since_midnight) {
  uint32_t bits;
  std::memcpy(&bits, &seconds_since_midnight, sizeof bits);
  SeedRandom(0x5EED000000000000ULL ^ bits);
}

uint64_t RandomDrawCount() { return g_draws; }

}  // namespace wh
