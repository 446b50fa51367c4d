#include "paced_output.h"

#include <cerrno>

namespace tallysim {

void PacedOutput::SetBaud(unsigned baud) {
    byteTime_ = baud == 0 ? std::chrono::nanoseconds(0) : std::chrono::nanoseconds(10'000'000'000LL / baud);
}

void PacedOutput::Send(std::string bytes) {
    if (bytes.empty()) return;
    queuedBytes_ += bytes.size();
    Item item{Item::Kind::Bytes, std::move(bytes)};
    queue_.push_back(std::move(item));
}

void PacedOutput::Pause(unsigned milliseconds) {
    if (milliseconds == 0) return;
    Item item{Item::Kind::Pause, {}};
    item.milliseconds = milliseconds;
    queue_.push_back(std::move(item));
}

void PacedOutput::HangUp() { queue_.push_back(Item{Item::Kind::HangUp, {}}); }

void PacedOutput::Clear() {
    queue_.clear();
    queuedBytes_ = 0;
}

PacedOutput::Step PacedOutput::Pump(Clock::time_point now,
                                    const std::function<ssize_t(const char*, size_t)>& write) {
    Step step;
    while (!queue_.empty()) {
        Item& head = queue_.front();
        if (head.kind == Item::Kind::Pause) {
            if (!head.started) {
                head.started = true;
                head.pauseEnd = now + std::chrono::milliseconds(head.milliseconds);
            }
            if (now < head.pauseEnd) {
                step.due = head.pauseEnd;
                return step;
            }
            queue_.pop_front();
            continue;
        }
        if (head.kind == Item::Kind::HangUp) {
            queue_.pop_front();
            step.hangUp = true;
            return step;
        }
        size_t allowed = head.bytes.size() - head.offset;
        if (byteTime_.count() > 0) {
            // A line that was idle starts its next byte now; a little lateness of the caller is
            // made up, a long idle time gives no burst.
            if (nextByteTime_ + std::chrono::milliseconds(20) < now) nextByteTime_ = now;
            if (nextByteTime_ > now) {
                step.due = nextByteTime_;
                return step;
            }
            const size_t budget = static_cast<size_t>((now - nextByteTime_) / byteTime_) + 1;
            if (budget < allowed) allowed = budget;
        }
        const ssize_t n = write(head.bytes.data() + head.offset, allowed);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                step.blocked = true;
            } else {
                step.failed = true;
            }
            return step;
        }
        const size_t taken = static_cast<size_t>(n);
        step.written.append(head.bytes, head.offset, taken);
        head.offset += taken;
        queuedBytes_ -= taken;
        if (byteTime_.count() > 0) nextByteTime_ += byteTime_ * static_cast<long>(taken);
        if (head.offset == head.bytes.size()) queue_.pop_front();
        if (taken < allowed) {
            step.blocked = true;
            return step;
        }
    }
    return step;
}

}  // namespace tallysim
