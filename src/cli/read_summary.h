#pragma once
// The one-screen summary of a read, worked out from the sequential CSV lines:
// vehicles, the reverse share, and the mean and 85th-percentile speed of the
// vehicles that have one.
#include <cstdint>
#include <string>
#include <vector>

namespace tallyx::cli {

class ReadSummary {
public:
    // One line "TimeStamp,Flag,Flag Description,Speed,Length"; the header is skipped.
    void Add(const std::string& line);

    uint64_t Vehicles() const { return vehicles_; }
    uint64_t Reverse() const { return reverse_; }
    double ReverseShare() const { return vehicles_ == 0 ? 0.0 : 100.0 * reverse_ / vehicles_; }
    size_t WithSpeed() const { return speeds_.size(); }
    double MeanSpeed() const;
    // The speed that 85 % of the vehicles with a speed do not exceed (nearest rank).
    uint32_t Percentile85() const;

private:
    uint64_t vehicles_ = 0;
    uint64_t reverse_ = 0;
    std::vector<uint32_t> speeds_;
};

}  // namespace tallyx::cli
