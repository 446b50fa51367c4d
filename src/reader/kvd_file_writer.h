#pragma once
// kvd.dat: the study settings as colon records, then for every period of the
// study the vehicle count, reverse count, occupancy and the table of vehicles
// by speed and length class, computed from the sequential records.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "reader/kvd_class_table.h"
#include "reader/reader_session.h"

namespace tallyx {

class KvdFileWriter {
public:
    explicit KvdFileWriter(const ReaderSession& session) : session_(session) {}

    // Writes the file; one that cannot be created is logged as "Failed to open <path>".
    void Write(const std::string& path);

    // The two-digit year of the :B and :E lines: years from 2000 count from 2000,
    // earlier years give their last two digits.
    static uint32_t KvdYear(uint32_t year);

private:
    void WriteHeader(std::FILE* file);
    void WriteTimeLine(std::FILE* file, const char* tag, const char* property);
    void WritePeriods(std::FILE* file);
    void WritePeriodSummary(std::FILE* file, int64_t periodStart, uint64_t vehicles, uint64_t reverseVehicles,
                            double occupancySeconds, const KvdClassTable& table) const;
    std::optional<int64_t> ReadTicks(const char* property);

    const ReaderSession& session_;
    int64_t studyBegin_ = 0;
    int64_t periodMinutes_ = 0;
};

}  // namespace tallyx
