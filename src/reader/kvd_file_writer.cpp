#include "reader/kvd_file_writer.h"

#include <cstring>
#include <vector>

#include "study/civil_time.h"
#include "reader/number_text.h"
#include "reader/output_file.h"
#include "reader/sequential_line.h"

namespace tallyx {

namespace {

constexpr uint32_t kRecordBufferSize = 102400;

// Feet per second in one mile per hour.
constexpr double kFeetPerSecondPerMph = 1.4666666666666666;

// The number of class counters, written into every :V line.
constexpr int kClassCount = 120;

struct TaggedProperty {
    const char* tag;
    const char* property;
};

constexpr TaggedProperty kSiteLines[] = {
    {":X:0", PROPERTY_STUDY_STATE},     {":X:1", PROPERTY_STUDY_CITY},   {":X:2", PROPERTY_STUDY_COUNTY},
    {":X:3", PROPERTY_STUDY_ADDRESS},   {":X:4", PROPERTY_STUDY_LANE},   {":X:5", PROPERTY_STUDY_SPEEDLIMIT},
    {":X:6", PROPERTY_STUDY_OPERATOR},  {":X:7", PROPERTY_DEV_SERIALNO}, {":X:8", PROPERTY_DEV_UNITTYPE},
};

std::string LineIn(std::vector<char>& buffer) {
    buffer.back() = '\0';
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

}  // namespace

uint32_t KvdFileWriter::KvdYear(uint32_t year) { return year >= 2000 ? year - 2000 : year % 100; }

void KvdFileWriter::Write(const std::string& path) {
    const OutputFile file = OutputFile::Create(path);
    if (!file) {
        session_.log.Error("Failed to open %s", path.c_str());
        return;
    }
    WriteHeader(file.get());
    WritePeriods(file.get());
}

void KvdFileWriter::WriteHeader(std::FILE* file) {
    auto valueLine = [&](const char* tag, const char* property) {
        if (const auto value = session_.ReadProperty(property)) std::fprintf(file, "%s%s\n", tag, value->c_str());
    };
    for (const TaggedProperty& line : kSiteLines) valueLine(line.tag, line.property);
    WriteTimeLine(file, ":B", PROPERTY_STUDY_BEGINDATETIME);
    WriteTimeLine(file, ":E", PROPERTY_STUDY_ENDDATETIME);
    valueLine(":P", PROPERTY_STUDY_PERIODTIME);
    std::fputs(":KE\n", file);
    std::fputs(":GY\n", file);
    valueLine(":S", PROPERTY_STUDY_SPEEDBINS);
    valueLine(":L", PROPERTY_STUDY_LENGTHBINS);
    valueLine(":F", PROPERTY_STUDY_FCODE);
}

void KvdFileWriter::WriteTimeLine(std::FILE* file, const char* tag, const char* property) {
    const auto value = session_.ReadProperty(property);
    if (!value) return;
    const auto time = study::ParseCivilTime(*value);
    if (!time) {
        session_.log.Warning("Cannot read the date and time of %s: %s", property, value->c_str());
        return;
    }
    std::fprintf(file, "%s%02u%02u%02u%02u%02u\n", tag, KvdYear(time->year), time->month, time->day, time->hour,
                 time->minute);
}

std::optional<int64_t> KvdFileWriter::ReadTicks(const char* property) {
    const auto value = session_.ReadProperty(property);
    if (!value) return std::nullopt;
    const auto time = study::ParseCivilTime(*value);
    if (!time) return std::nullopt;
    return study::CivilTimeToTicks(*time);
}

void KvdFileWriter::WritePeriods(std::FILE* file) {
    const auto begin = ReadTicks(PROPERTY_STUDY_BEGINDATETIME);
    const auto end = ReadTicks(PROPERTY_STUDY_ENDDATETIME);
    const auto periodText = session_.ReadProperty(PROPERTY_STUDY_PERIODTIME);
    const auto speedBins = session_.ReadProperty(PROPERTY_STUDY_SPEEDBINS);
    const auto lengthBins = session_.ReadProperty(PROPERTY_STUDY_LENGTHBINS);
    periodMinutes_ = periodText ? ParseDecimal(*periodText) : 0;
    KvdClassTable table(ParseBinNumbers(speedBins.value_or("")), ParseBinNumbers(lengthBins.value_or("")));

    // The first line is the column header, which the summary does not need.
    std::vector<char> buffer(kRecordBufferSize, '\0');
    session_.api.GetFirstValue(session_.handle, GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_CSV, buffer.data(),
                               kRecordBufferSize);

    // Without a readable study range or with a period that would never advance
    // there are no periods to list.
    if (!begin || !end || *begin >= *end || periodMinutes_ <= 0) return;
    studyBegin_ = *begin;
    const int64_t periodTicks = periodMinutes_ * study::kTicksPerMinute;

    int64_t periodStart = *begin;
    do {
        int64_t periodEnd = periodStart + periodTicks;
        uint64_t vehicles = 0;
        uint64_t reverseVehicles = 0;
        double occupancySeconds = 0.0;
        while (session_.api.GetNextValue(session_.handle, buffer.data(), kRecordBufferSize) == RETCODE_OK) {
            const std::string line = LineIn(buffer);
            const SequentialLine record = SequentialLine::Parse(line);
            const auto ticks = record.time ? CivilTimeToTicks(*record.time) : std::nullopt;
            if (!ticks) {
                session_.log.Warning("Skipped a vehicle record without a valid time: %s", line.c_str());
                continue;
            }
            // A record at or after the period's end closes it, and every
            // further period it lies beyond.
            while (*ticks >= periodEnd) {
                WritePeriodSummary(file, periodStart, vehicles, reverseVehicles, occupancySeconds, table);
                table.Clear();
                periodStart = periodEnd;
                periodEnd = periodStart + periodTicks;
                vehicles = 0;
                reverseVehicles = 0;
                occupancySeconds = 0.0;
            }
            if (record.description.find("UNCLASSIFIED") == std::string::npos) table.Count(record.speed, record.length);
            ++vehicles;
            if (record.description.find("REVERSE") != std::string::npos) ++reverseVehicles;
            // A vehicle without a speed has no measurable time over the sensor.
            if (record.speed > 0) occupancySeconds += record.length / (record.speed * kFeetPerSecondPerMph);
        }
        WritePeriodSummary(file, periodStart, vehicles, reverseVehicles, occupancySeconds, table);
        table.Clear();
        periodStart = periodEnd;
    } while (periodStart < *end);
}

void KvdFileWriter::WritePeriodSummary(std::FILE* file, int64_t periodStart, uint64_t vehicles,
                                       uint64_t reverseVehicles, double occupancySeconds,
                                       const KvdClassTable& table) const {
    const uint64_t minutes = static_cast<uint64_t>(periodStart - studyBegin_) / static_cast<uint64_t>(study::kTicksPerMinute) +
                             static_cast<uint64_t>(periodMinutes_);
    double percent = occupancySeconds / (static_cast<double>(periodMinutes_) * 60.0) * 100.0;
    if (!(percent < 9.0e18)) percent = 9.0e18;  // keeps the conversion defined
    const auto occupancyPercent = static_cast<long long>(percent);
    std::fprintf(file, ":V%llu %llu 0 0 3 %d %llu %lld\n", static_cast<unsigned long long>(minutes),
                 static_cast<unsigned long long>(vehicles), kClassCount,
                 static_cast<unsigned long long>(reverseVehicles), occupancyPercent);
    for (size_t length = 0; length < KvdClassTable::kLengthClasses; ++length) {
        std::fputs(":U", file);
        for (size_t speed = 0; speed < KvdClassTable::kSpeedClasses; ++speed) {
            if (speed > 0) std::fputc(' ', file);
            std::fprintf(file, "%u", table.At(speed, length));
        }
        std::fputc('\n', file);
    }
}

}  // namespace tallyx
