#pragma once
// A set of ten stopwatches measuring elapsed seconds on the monotonic clock.
#include <array>
#include <chrono>
#include <mutex>

namespace tallyx {

class PerfTimer {
public:
    static constexpr int kSlotCount = 10;

    // Restarts the slot from now.
    void Start(int slot);
    // Seconds since the slot was started; 0.0 for a slot never started or out of range.
    double Elapsed(int slot);

private:
    using Clock = std::chrono::steady_clock;
    struct Slot {
        bool running = false;
        Clock::time_point start{};
        double seconds = 0.0;
    };

    std::mutex mutex_;  // Elapsed may be asked from many threads at once
    std::array<Slot, kSlotCount> slots_{};
};

}  // namespace tallyx
