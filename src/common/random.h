// The one process-wide random generator. Every random decision of the program
// draws from it, and the order of the draws is part of the behaviour: the same
// seed gives the same scenes on every platform.
#pragma once

#include <cstdint>

namespace wh {

// Next value, uniform in [0, 1), with single precision (24 random bits, so
// every value is exactly representable and 1.0 is never returned).
float Rnd();

// Restarts the sequence from a seed. Start-up seeds once from the time of
// day; tests and the renderer seed explicitly for reproducible runs.
void SeedRandom(uint64_t seed);

// The time-of-day seed: seconds since midnight as a single-precision value.
void SeedRandomFromTimeOfDay(float seconds_since_midnight);

// Draws taken since the last seeding; lets tests notice a changed draw order.
uint64_t RandomDrawCount();

}  // namespace wh
