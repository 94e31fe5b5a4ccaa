// A small seeded generator for the demo portal's data. Its sequence is fixed
// by its own arithmetic (SplitMix64), not by the standard library's
// distributions, so the pages are the same on every platform.
#pragma once

#include <cstddef>
#include <cstdint>

namespace teebasket::portal {

class Dice {
  public:
    // One independent stream per (seed, a, b).
    Dice(std::uint64_t seed, std::uint64_t a, std::uint64_t b)
        : state_(seed ^ (a * 0x9E3779B97F4A7C15ull) ^ (b * 0xC2B2AE3D27D4EB4Full)) {
        Next();
    }

    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // 0 to n - 1 (n > 0).
    int Below(std::size_t n) { return static_cast<int>(Next() % n); }

    bool Chance(int percent) { return Below(100) < percent; }

  private:
    std::uint64_t state_;
};

}  // namespace teebasket::portal
