#include "chat/Random.h"

#include <chrono>

namespace tovik {

std::uint32_t UtcTimeOfDaySeed() {
    using namespace std::chrono;
    // The system clock counts UTC without leap seconds, so the milliseconds
    // since midnight are exactly ((h * 60 + m) * 60 + s) * 1000 + ms.
    const auto ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    constexpr long long kMsPerDay = 24LL * 60 * 60 * 1000;
    long long ofDay = ms % kMsPerDay;
    if (ofDay < 0) ofDay += kMsPerDay;
    return static_cast<std::uint32_t>(ofDay);
}

Random::Random(Clock clock) : clock_(std::move(clock)) {}

void Random::ReseedFromClock() { Seed(clock_()); }

void Random::Seed(std::uint32_t seed) {
    // The seeds are consecutive milliseconds. Fed to the generator as they
    // are, neighbouring seeds would give nearly the same first draw, and the
    // first draw is what an answer is picked with. A bit mixer (the murmur3
    // finaliser, a bijection) spreads neighbouring seeds over the whole state.
    seed ^= seed >> 16;
    seed *= 0x85EBCA6Bu;
    seed ^= seed >> 13;
    seed *= 0xC2B2AE35u;
    seed ^= seed >> 16;
    state_ = seed;
}

int Random::Below(int n) {
    if (n <= 0) return 0;
    // A full-period 32-bit linear congruential step; the high bits carry the
    // randomness, so the range is taken from them by a multiply, not a modulo.
    state_ = state_ * 1664525u + 1013904223u;
    return static_cast<int>((static_cast<std::uint64_t>(state_) * static_cast<std::uint64_t>(n)) >> 32);
}

}  // namespace tovik
