#include "cli/read_summary.h"

#include <algorithm>
#include <cstdlib>
#include <numeric>

namespace tallyx::cli {

void ReadSummary::Add(const std::string& line) {
    if (line.rfind("TimeStamp,", 0) == 0) return;
    size_t fields[4];
    size_t at = 0;
    for (size_t& field : fields) {
        at = line.find(',', at);
        if (at == std::string::npos) return;
        field = ++at;
    }
    ++vehicles_;
    const std::string description = line.substr(fields[1], fields[2] - fields[1] - 1);
    if (description.find("REVERSE") != std::string::npos) ++reverse_;
    const unsigned long speed = std::strtoul(line.c_str() + fields[2], nullptr, 10);
    if (speed != 0) speeds_.push_back(static_cast<uint32_t>(speed));
}

double ReadSummary::MeanSpeed() const {
    if (speeds_.empty()) return 0.0;
    return static_cast<double>(std::accumulate(speeds_.begin(), speeds_.end(), uint64_t{0})) / speeds_.size();
}

uint32_t ReadSummary::Percentile85() const {
    if (speeds_.empty()) return 0;
    std::vector<uint32_t> sorted = speeds_;
    const size_t rank = (sorted.size() * 85 + 99) / 100;  // ceil(0.85 n), from 1
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<long>(rank - 1), sorted.end());
    return sorted[rank - 1];
}

}  // namespace tallyx::cli
