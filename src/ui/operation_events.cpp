#include "ui/operation_events.h"

namespace tallyx::ui {

OperationEvents::~OperationEvents() {
    if (subscription_ != 0) operations_.Feed().Unsubscribe(subscription_);
}

void OperationEvents::Watch(std::function<void()> wake) { subscription_ = operations_.Feed().Subscribe(std::move(wake)); }

bool OperationEvents::Take(std::string& text) {
    text.clear();
    const uint64_t version = operations_.Version();
    if (version == sent_) return true;
    const json::Value snapshot = operations_.Snapshot();
    const json::Value* taken = snapshot.Find("version");
    sent_ = taken != nullptr ? static_cast<uint64_t>(taken->AsInteger()) : version;
    text = "event: operations\ndata: " + json::Write(snapshot) + "\n\n";
    return true;
}

}  // namespace tallyx::ui
