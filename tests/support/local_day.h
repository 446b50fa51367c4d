#pragma once
// Local calendar dates relative to today, for studies that must lie ahead.
#include <ctime>
#include <string>

namespace tallyx::test {

// The local date days from today, "YYYY-MM-DD".
inline std::string LocalDay(int days) {
    std::time_t when = std::time(nullptr) + days * 86400;
    std::tm local{};
    localtime_r(&when, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

}  // namespace tallyx::test
