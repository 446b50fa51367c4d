// A small deterministic random number generator (xoshiro256**, seeded through splitmix64), so
// that a seed gives the same traffic on every platform and standard library.
#pragma once

#include <cmath>
#include <cstdint>

namespace tallysim {

class Random {
public:
    explicit Random(uint64_t seed) {
        for (auto& word : state_) word = SplitMix(seed);
    }

    uint64_t Next() {
        const uint64_t result = Rotl(state_[1] * 5, 7) * 9;
        const uint64_t t = state_[1] << 17;
        state_[2] ^= state_[0];
        state_[3] ^= state_[1];
        state_[1] ^= state_[2];
        state_[0] ^= state_[3];
        state_[2] ^= t;
        state_[3] = Rotl(state_[3], 45);
        return result;
    }

    // Uniform in [0, 1).
    double Uniform() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }

    // Uniform integer in [0, bound); bound > 0.
    uint64_t Below(uint64_t bound) { return bound == 0 ? 0 : Next() % bound; }

    bool Chance(double probability) { return probability > 0 && Uniform() < probability; }

    // Normal distribution by the Box-Muller transform.
    double Normal(double mean, double deviation) {
        double u1 = Uniform();
        if (u1 < 1e-300) u1 = 1e-300;
        const double u2 = Uniform();
        return mean + deviation * std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
    }

private:
    static uint64_t Rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    static uint64_t SplitMix(uint64_t& x) {
        uint64_t z = (x += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    uint64_t state_[4];
};

}  // namespace tallysim
