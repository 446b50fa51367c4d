#pragma once
// The vehicles of one period by speed class and length class, as kvd.dat lists them.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tallyx {

class KvdClassTable {
public:
    static constexpr size_t kSpeedClasses = 15;
    static constexpr size_t kLengthClasses = 8;

    KvdClassTable(std::vector<uint32_t> speedBins, std::vector<uint32_t> lengthBins);

    // A vehicle's class is the number of bins it reaches (value >= bin), counted
    // in order up to the first bin it does not reach. When the first two speed
    // bins are consecutive numbers (such as 1 2) the first bin of both lists is
    // left out. Classes past the table go to its last row or column.
    size_t SpeedClassOf(uint32_t speed) const;
    size_t LengthClassOf(uint32_t length) const;

    void Count(uint32_t speed, uint32_t length);
    void Clear();
    uint32_t At(size_t speedClass, size_t lengthClass) const;

private:
    size_t ClassOf(uint32_t value, const std::vector<uint32_t>& bins, size_t lastClass) const;

    std::vector<uint32_t> speedBins_;
    std::vector<uint32_t> lengthBins_;
    size_t firstBin_;
    std::array<uint32_t, kSpeedClasses * kLengthClasses> counters_{};
};

}  // namespace tallyx
