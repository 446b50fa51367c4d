#pragma once
// Tells whoever watches that something changed: the event streams of the
// pages subscribe, and the operations notify from their own threads.
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

namespace tallyx::ui {

class ChangeFeed {
public:
    using Id = uint64_t;
    // The function is called on the notifying thread and must only hand the news on.
    Id Subscribe(std::function<void()> wake);
    // After this returns the function is not called again.
    void Unsubscribe(Id id);
    void Notify();

private:
    std::mutex lock_;
    std::map<Id, std::function<void()>> subscribers_;
    Id next_ = 1;
};

}  // namespace tallyx::ui
