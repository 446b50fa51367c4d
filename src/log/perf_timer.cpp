#include "log/perf_timer.h"

namespace tallyx {

void PerfTimer::Start(int slot) {
    if (slot < 0 || slot >= kSlotCount) {
        return;
    }
    std::lock_guard<std::mutex> guard(mutex_);
    slots_[slot].start = Clock::now();
    slots_[slot].running = true;
}

double PerfTimer::Elapsed(int slot) {
    if (slot < 0 || slot >= kSlotCount) {
        return 0.0;
    }
    std::lock_guard<std::mutex> guard(mutex_);
    Slot& entry = slots_[slot];
    if (entry.running) {
        entry.seconds = std::chrono::duration<double>(Clock::now() - entry.start).count();
    }
    return entry.seconds;
}

}  // namespace tallyx
