#include "ui/change_feed.h"

namespace tallyx::ui {

ChangeFeed::Id ChangeFeed::Subscribe(std::function<void()> wake) {
    std::lock_guard<std::mutex> lock(lock_);
    const Id id = next_++;
    subscribers_.emplace(id, std::move(wake));
    return id;
}

void ChangeFeed::Unsubscribe(Id id) {
    std::lock_guard<std::mutex> lock(lock_);
    subscribers_.erase(id);
}

void ChangeFeed::Notify() {
    std::lock_guard<std::mutex> lock(lock_);
    for (auto& [id, wake] : subscribers_) wake();
}

}  // namespace tallyx::ui
