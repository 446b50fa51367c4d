// The counter's real-time clock: set to a date and time, it then runs with the computer's
// monotonic clock.
#pragma once

#include <chrono>
#include <cstdint>

#include "sim_time.h"

namespace tallysim {

class DeviceClock {
public:
    DeviceClock() : DeviceClock(SimDateTime::Now()) {}
    explicit DeviceClock(const SimDateTime& start) { Set(start); }

    void Set(const SimDateTime& time) {
        baseMillis_ = time.ToMillis();
        setAt_ = std::chrono::steady_clock::now();
    }

    int64_t NowMillis() const {
        const auto elapsed = std::chrono::steady_clock::now() - setAt_;
        return baseMillis_ + std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    }

    SimDateTime Now() const { return SimDateTime::FromMillis(NowMillis()); }

private:
    int64_t baseMillis_ = 0;
    std::chrono::steady_clock::time_point setAt_;
};

}  // namespace tallysim
