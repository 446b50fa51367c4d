#pragma once
// Reads the record lines of a read into a study, one line at a time: the
// vehicle and period lines in CSV (after their header) or as the one-line
// XML elements of the XML form. Whatever a line holds, it is either taken
// whole or refused with a sentence saying why.
#include <cstdint>
#include <string>
#include <string_view>

#include "study/study.h"

namespace tallyx::study {

class RecordReader {
public:
    explicit RecordReader(Study& study) : study_(study) {}

    // A vehicle line "TimeStamp,Flag,Flag Description,Speed,Length".
    bool AddVehicleCsv(std::string_view line, std::string& error);
    // A vehicle element <Sequential>...</Sequential>.
    bool AddVehicleXml(std::string_view line, std::string& error);

    // The header of the period lines: it fixes the size of the bin matrix.
    bool SetPeriodHeader(std::string_view line, std::string& error);
    // A period line: the five columns, then the bins row by row.
    bool AddPeriodCsv(std::string_view line, std::string& error);
    // A period element <Periodic>...</Periodic>; the first one fixes the bin matrix.
    bool AddPeriodXml(std::string_view line, std::string& error);

private:
    bool ParseTime(std::string_view text, int64_t& out, std::string& error);
    bool AddVehicle(std::string_view time, std::string_view flags, std::string_view description,
                    std::string_view speed, std::string_view length, std::string& error);

    Study& study_;
    // The minute of the last time stamp read ("2026-12-10 14:05"), so that a
    // run of vehicles in one minute is parsed once.
    std::string cachedMinute_;
    int64_t cachedMinuteMs_ = 0;
    bool cachedMinuteNull_ = false;
    std::string lastDescription_;
    uint16_t lastDescriptionIndex_ = 0;
    bool haveLastDescription_ = false;
    bool periodHeaderSet_ = false;
};

// The text with every byte outside printable ASCII shown as \xNN, for
// messages that quote what a file holds.
std::string Printable(std::string_view text);

}  // namespace tallyx::study
