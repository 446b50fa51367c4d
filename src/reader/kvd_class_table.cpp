#include "reader/kvd_class_table.h"

#include <algorithm>

namespace tallyx {

KvdClassTable::KvdClassTable(std::vector<uint32_t> speedBins, std::vector<uint32_t> lengthBins)
    : speedBins_(std::move(speedBins)), lengthBins_(std::move(lengthBins)) {
    const bool leadingPair = speedBins_.size() > 1 && uint64_t{speedBins_[0]} + 1 == speedBins_[1];
    firstBin_ = leadingPair ? 1 : 0;
}

size_t KvdClassTable::ClassOf(uint32_t value, const std::vector<uint32_t>& bins, size_t lastClass) const {
    size_t reached = 0;
    for (size_t i = firstBin_; i < bins.size() && value >= bins[i]; ++i) ++reached;
    return std::min(reached, lastClass);
}

size_t KvdClassTable::SpeedClassOf(uint32_t speed) const { return ClassOf(speed, speedBins_, kSpeedClasses - 1); }

size_t KvdClassTable::LengthClassOf(uint32_t length) const {
    return ClassOf(length, lengthBins_, kLengthClasses - 1);
}

void KvdClassTable::Count(uint32_t speed, uint32_t length) {
    ++counters_[SpeedClassOf(speed) * kLengthClasses + LengthClassOf(length)];
}

void KvdClassTable::Clear() { counters_.fill(0); }

uint32_t KvdClassTable::At(size_t speedClass, size_t lengthClass) const {
    if (speedClass >= kSpeedClasses || lengthClass >= kLengthClasses) return 0;
    return counters_[speedClass * kLengthClasses + lengthClass];
}

}  // namespace tallyx
