#pragma once
// One read of a counter as plain data: the unit and study settings, every
// vehicle and every period, in the units the read was made in (US: mph and
// ft; metric: km/h and dm). What the files of a read folder hold, and what
// the report, the volume records and the archive work from.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "study/civil_time.h"
#include "study/setting_fields.h"

namespace tallyx::study {

// One vehicle: its time stamp, the counter's flags, speed and length (0: none).
struct Vehicle {
    int64_t time = kNoTime;   // milliseconds, see civil_time.h; kNoTime when it has none
    uint16_t flags = 0;
    uint16_t speed = 0;
    uint16_t length = 0;
    uint16_t description = 0;  // index into Study::descriptions: the flags as text
};

// One period: its end, what the counter measured, and where its bins start.
struct Period {
    int64_t end = kNoTime;
    bool hasTemperature = false;  // models without a thermometer leave it empty
    int32_t temperature = 0;      // degrees Fahrenheit (US) or Celsius (metric)
    uint32_t occupancy = 0;
    uint32_t count = 0;
    uint32_t reverseCount = 0;
};

// Where a study's files came from, and so the form they are written back in.
enum class FolderForm { kCsv, kXml, kTallyread };

class Study {
public:
    // The settings as their files give them, by key; "" when absent.
    std::array<std::string, kSettingCount> settings;
    std::string port;  // the port of a tallyx read ("COM3"); "" for tallyread
    bool metric = false;
    FolderForm form = FolderForm::kCsv;

    std::vector<Vehicle> vehicles;

    std::vector<Period> periods;
    // The speed-by-length bins of every period, period after period, each
    // binRows x binColumns counts (speed classes as rows).
    uint32_t binRows = 0;
    uint32_t binColumns = 0;
    std::vector<uint32_t> bins;
    // Whether the read had a periodic file at all.
    bool hasPeriodFile = true;

    const std::string& Setting(SettingKey key) const { return settings[static_cast<size_t>(key)]; }
    void SetSetting(SettingKey key, std::string value) { settings[static_cast<size_t>(key)] = std::move(value); }

    const char* SpeedUnit() const { return metric ? "km/h" : "mph"; }
    const char* LengthUnit() const { return metric ? "dm" : "ft"; }

    // The flag descriptions of the vehicles, each once ("FORWARD", "REVERSE+UNCLASSIFIED").
    const std::vector<std::string>& Descriptions() const { return descriptions_; }
    // The index of a flag description, added when new; nothing when a study
    // already holds the most it can.
    std::optional<uint16_t> DescriptionIndex(std::string_view text);
    static constexpr size_t kMostDescriptions = 65536;
    // Whether a vehicle's flags say reverse, or unclassified (from their text).
    bool IsReverse(const Vehicle& vehicle) const { return reverse_.at(vehicle.description) != 0; }
    bool IsUnclassified(const Vehicle& vehicle) const { return unclassified_.at(vehicle.description) != 0; }

    // Typed views of the settings.
    std::optional<int64_t> Begin() const;
    std::optional<int64_t> End() const;
    // The posted limit: the first number in the speed limit text, when above 0.
    std::optional<int64_t> SpeedLimit() const;
    std::vector<int64_t> SpeedBins() const;
    std::vector<int64_t> LengthBins() const;
    std::optional<int64_t> PeriodMinutes() const;

    const uint32_t* BinsOf(size_t period) const { return bins.data() + period * binRows * binColumns; }

private:
    std::vector<std::string> descriptions_;
    std::unordered_map<std::string, uint16_t> descriptionIndex_;
    std::vector<uint8_t> reverse_;
    std::vector<uint8_t> unclassified_;
};

// The numbers in a text, as runs of the digits 0-9 (bin lists are written with any separators).
std::vector<int64_t> NumbersIn(std::string_view text);

}  // namespace tallyx::study
