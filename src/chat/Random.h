#pragma once
// The one program-wide pseudo-random generator. It is reseeded from the UTC
// time of day (milliseconds since midnight) at the points where the bot asks
// for it; the clock comes in from outside so that tests are deterministic.

#include <cstdint>
#include <functional>

namespace tovik {

// ((hour * 60 + minute) * 60 + second) * 1000 + millisecond, UTC.
std::uint32_t UtcTimeOfDaySeed();

class Random {
public:
    using Clock = std::function<std::uint32_t()>;
    explicit Random(Clock clock = UtcTimeOfDaySeed);

    void ReseedFromClock();
    // Neighbouring seeds (consecutive milliseconds) are spread apart first,
    // so that they do not give nearly the same first draw.
    void Seed(std::uint32_t seed);
    // Uniform integer in 0 .. n-1; 0 when n <= 0.
    int Below(int n);

private:
    Clock clock_;
    std::uint32_t state_ = 0;
};

}  // namespace tovik
