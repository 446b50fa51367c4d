// The record lines of a read folder from any bytes: vehicle and period lines in CSV and XML,
// and a period header, fed to one study. A line is taken whole or refused with a sentence, and
// whatever is taken is written back as the same line (the archive's export relies on it).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "study/folder_writer.h"
#include "study/record_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tallyx::study;
    if (size == 0) return 0;
    const std::string_view all(reinterpret_cast<const char*>(data) + 1, size - 1);
    const uint8_t how = data[0];
    Study study;
    RecordReader reader(study);
    std::string error;
    // The first line may set the period header; the rest are records of one kind.
    size_t at = 0;
    bool headerSet = false;
    while (at <= all.size()) {
        const size_t end = std::min(all.find('\n', at), all.size());
        const std::string_view line = all.substr(at, end - at);
        at = end + 1;
        error.clear();
        bool ok = false;
        const size_t vehicles = study.vehicles.size(), periods = study.periods.size();
        switch (how % 4) {
            case 0: ok = reader.AddVehicleCsv(line, error); break;
            case 1: ok = reader.AddVehicleXml(line, error); break;
            case 2:
                if (!headerSet) {
                    headerSet = true;
                    if (!reader.SetPeriodHeader(line, error)) return 0;
                    continue;
                }
                ok = reader.AddPeriodCsv(line, error);
                break;
            default: ok = reader.AddPeriodXml(line, error); break;
        }
        if (!ok) {
            if (error.empty() || study.vehicles.size() != vehicles || study.periods.size() != periods) std::abort();
            continue;
        }
        if (study.bins.size() != study.periods.size() * study.binRows * study.binColumns) std::abort();
        // A CSV line taken without a carriage return comes back as itself.
        if ((how % 4 == 0 || how % 4 == 2) && (line.empty() || line.back() != '\r')) {
            std::string back;
            if (how % 4 == 0) {
                AppendVehicleCsv(study, study.vehicles.back(), back);
            } else {
                AppendPeriodCsv(study, study.periods.size() - 1, back);
            }
            // Numbers with leading zeros and short time fields read fine but are written in one form.
            Study again;
            RecordReader second(again);
            std::string ignored;
            if (how % 4 == 0 && (!second.AddVehicleCsv(back, ignored) ||
                                 again.vehicles.back().time != study.vehicles.back().time ||
                                 again.vehicles.back().speed != study.vehicles.back().speed))
                std::abort();
        }
    }
    return 0;
}
