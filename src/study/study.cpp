#include "study/study.h"

namespace tallyx::study {

namespace {

constexpr int64_t kLargestNumber = 999999999999;

// Whether a flag description, tokens joined by '+', holds the token.
bool HasToken(std::string_view text, std::string_view token) {
    for (size_t at = 0; at <= text.size();) {
        size_t end = text.find('+', at);
        if (end == std::string_view::npos) end = text.size();
        if (text.substr(at, end - at) == token) return true;
        at = end + 1;
    }
    return false;
}

}  // namespace

std::optional<uint16_t> Study::DescriptionIndex(std::string_view text) {
    const std::string key(text);
    if (const auto found = descriptionIndex_.find(key); found != descriptionIndex_.end()) return found->second;
    if (descriptions_.size() >= kMostDescriptions) return std::nullopt;
    const auto index = static_cast<uint16_t>(descriptions_.size());
    descriptions_.push_back(key);
    descriptionIndex_.emplace(key, index);
    reverse_.push_back(HasToken(text, "REVERSE") ? 1 : 0);
    unclassified_.push_back(HasToken(text, "UNCLASSIFIED") ? 1 : 0);
    return index;
}

std::optional<int64_t> Study::Begin() const { return ParseStudyTime(Setting(SettingKey::kBegin)); }

std::optional<int64_t> Study::End() const { return ParseStudyTime(Setting(SettingKey::kEnd)); }

std::optional<int64_t> Study::SpeedLimit() const {
    const std::vector<int64_t> numbers = NumbersIn(Setting(SettingKey::kSpeedLimit));
    if (numbers.empty() || numbers[0] <= 0) return std::nullopt;
    return numbers[0];
}

std::vector<int64_t> Study::SpeedBins() const { return NumbersIn(Setting(SettingKey::kSpeedBins)); }

std::vector<int64_t> Study::LengthBins() const { return NumbersIn(Setting(SettingKey::kLengthBins)); }

std::optional<int64_t> Study::PeriodMinutes() const {
    const std::vector<int64_t> numbers = NumbersIn(Setting(SettingKey::kPeriodMinutes));
    if (numbers.empty()) return std::nullopt;
    return numbers[0];
}

std::vector<int64_t> NumbersIn(std::string_view text) {
    std::vector<int64_t> numbers;
    bool inNumber = false;
    int64_t value = 0;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            // No setting means a number of a dozen digits; a longer run stays
            // at that, so that sums with it cannot overflow.
            value = value >= kLargestNumber / 10 ? kLargestNumber : value * 10 + (c - '0');
            inNumber = true;
        } else if (inNumber) {
            numbers.push_back(value);
            value = 0;
            inNumber = false;
        }
    }
    if (inNumber) numbers.push_back(value);
    return numbers;
}

}  // namespace tallyx::study
