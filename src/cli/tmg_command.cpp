// tallyx tmg: converts a read folder into hourly volume records, or checks a
// file of such records before it is submitted.
#include "cli/tmg_command.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <tuple>
#include <string>
#include <unordered_map>
#include <vector>

#include "cli/archive_access.h"
#include "cli/atomic_file.h"
#include "cli/commands.h"
#include "cli/tmg_record.h"
#include "cli/tmg_volumes.h"
#include "study/civil_time.h"
#include "study/folder_loader.h"
#include "platform/files.h"

namespace tallyx::cli {

namespace {

// The one-digit code of an option, low to high.
bool ParseCode(const char* option, const std::string& text, char low, char high, const char* meaning, int& code,
               std::string& error) {
    if (text.size() != 1 || text[0] < low || text[0] > high) {
        error = std::string(option) + " '" + text + "': " + meaning;
        return false;
    }
    code = text[0] - '0';
    return true;
}

// What one output stream of records holds: a direction's vehicles, or both.
struct Stream {
    char code;
    bool forward;
    bool reverse;
};

struct Station {
    VolumeRecord fields;  // station fields filled, date and volumes not
    std::vector<Stream> streams;
};

bool ParseStation(const TmgOptions& o, Station& station, std::string& error) {
    VolumeRecord& r = station.fields;
    for (const auto& [text, name] : {std::pair{&o.state, "--state"}, std::pair{&o.station, "--station"},
                                     std::pair{&o.functionalClass, "--class"}}) {
        if (text->empty()) {
            error = std::string(name) + " is needed (tallyx tmg --help lists the codes)";
            return false;
        }
    }
    if (!NormaliseStateCode(o.state, r.state, error) || !NormaliseStationId(o.station, r.station, error) ||
        !NormaliseFunctionalClass(o.functionalClass, r.functionalClass, error)) {
        return false;
    }
    int lane = 0, restriction = 0, forward = -1, reverse = -1;
    const char* kDirection = "a direction 1-8 is expected (1 N, 2 NE, 3 E, 4 SE, 5 S, 6 SW, 7 W, 8 NW)";
    if (!ParseCode("--lane", o.lane.empty() ? std::string("0") : o.lane, '0', '9', "a lane 0-9 is expected (0 all lanes, 1 the outside lane)", lane,
                   error) ||
        !ParseCode("--restriction", o.restriction, '0', '5', "a restriction code 0-5 is expected", restriction,
                   error) ||
        (!o.forwardDirection.empty() &&
         !ParseCode("--forward-direction", o.forwardDirection, '1', '8', kDirection, forward, error)) ||
        (!o.reverseDirection.empty() &&
         !ParseCode("--reverse-direction", o.reverseDirection, '1', '8', kDirection, reverse, error))) {
        return false;
    }
    r.lane = static_cast<char>('0' + lane);
    r.restriction = static_cast<char>('0' + restriction);
    if (forward < 0 && reverse < 0) {
        error = "--forward-direction or --reverse-direction is needed: where the counter's traffic goes (1-8)";
        return false;
    }
    if (forward == reverse) {
        error = "--forward-direction and --reverse-direction are both " + o.forwardDirection;
        return false;
    }
    if (o.combined) {
        if (forward < 0 || reverse < 0) {
            error = "--combined needs both --forward-direction and --reverse-direction";
            return false;
        }
        const int low = std::min(forward, reverse), high = std::max(forward, reverse);
        if (high - low != 4) {
            error = "--combined: " + std::to_string(forward) + " (" + DirectionName(forward) + ") and " +
                    std::to_string(reverse) + " (" + DirectionName(reverse) + ") are not opposite directions";
            return false;
        }
        if (low != 1 && low != 3) {
            error = "--combined: " + std::to_string(low) + " (" + DirectionName(low) + ") and " +
                    std::to_string(high) + " (" + DirectionName(high) +
                    ") have no combined code; only north with south (9) and east with west (0) combine";
            return false;
        }
        station.streams.push_back({low == 1 ? '9' : '0', true, true});
        return true;
    }
    if (forward >= 0) station.streams.push_back({static_cast<char>('0' + forward), true, false});
    if (reverse >= 0) station.streams.push_back({static_cast<char>('0' + reverse), false, true});
    return true;
}

// The records of every stream, direction by direction, day by day.
bool RenderRecords(const Station& station, const StudyVolumes& volumes, std::string& text, size_t& records,
                   std::string& error) {
    VolumeRecord record = station.fields;
    int32_t forward[24], reverse[24];
    for (const Stream& stream : station.streams) {
        record.direction = stream.code;
        for (int64_t day = 0; day < volumes.Days(); ++day) {
            volumes.DayVolumes(day, false, forward);
            volumes.DayVolumes(day, true, reverse);
            study::CivilFromDays(volumes.FirstDay() + day, record.year, record.month, record.day);
            for (size_t h = 0; h < 24; ++h) {
                if (forward[h] == kNoVolume) {
                    record.volumes[h] = kNoVolume;
                    continue;
                }
                const int64_t sum = int64_t{stream.forward ? forward[h] : 0} + (stream.reverse ? reverse[h] : 0);
                if (sum > kMaxVolume) {
                    char when[64];
                    std::snprintf(when, sizeof when, "%04d-%02d-%02d %02d:00", record.year, record.month,
                                  record.day, static_cast<int>(h));
                    error = std::string("the hour from ") + when + " has " + std::to_string(sum) +
                            " vehicles in direction " + stream.code + ", more than the 99999 a record holds";
                    return false;
                }
                record.volumes[h] = static_cast<int32_t>(sum);
            }
            text += FormatVolumeRecord(record);
            text += "\r\n";
            ++records;
        }
    }
    return true;
}

// The station codes of the site register, for every option not given.
void FillFromSite(TmgOptions& o, const archive::SiteEntry& site) {
    for (const auto& [option, key] : {std::pair{&o.state, "fips-state"}, std::pair{&o.station, "station"},
                                      std::pair{&o.functionalClass, "class"},
                                      std::pair{&o.forwardDirection, "forward-direction"},
                                      std::pair{&o.reverseDirection, "reverse-direction"}, std::pair{&o.lane, "lane-code"}}) {
        if (option->empty()) *option = site.Field(key);
    }
}

int WriteRecords(const TmgOptions& o, const Station& station, const StudyVolumes& volumes, const std::string& where);

int Convert(TmgOptions o) {
    std::string error;
    StudyVolumes volumes;
    std::string where = o.folder;
    if (o.archiveId != 0) {
        // The study from the archive, with the station codes of its site where the options give none.
        int status = kExitOk;
        std::unique_ptr<archive::Archive> store = OpenArchive(o.archive, status);
        if (!store) return status;
        const std::optional<archive::StudyEntry> entry = store->Find(o.archiveId, error);
        if (!entry) return LookupFailure(error);
        study::Study study;
        if (!store->Load(o.archiveId, study, error)) return ArchiveFailure(error);
        const std::optional<archive::SiteEntry> site = store->Site(entry->siteId, error);
        if (site) {
            FillFromSite(o, *site);
        }
        where = "study " + std::to_string(o.archiveId) + " of the archive";
        Station station;
        if (!ParseStation(o, station, error)) return Fail(kExitUsage, error);
        if (!CountStudyVolumes(study, where, volumes, error)) return Fail(kExitUsage, error);
        if (o.out.empty()) o.out = "study-" + std::to_string(o.archiveId) + ".tmg";
        return WriteRecords(o, station, volumes, where);
    }
    Station station;
    if (!ParseStation(o, station, error)) return Fail(kExitUsage, error);
    if (!LoadStudyVolumes(o.folder, volumes, error)) return Fail(kExitUsage, error);
    return WriteRecords(o, station, volumes, where);
}

int WriteRecords(const TmgOptions& o, const Station& station, const StudyVolumes& volumes, const std::string& where) {
    std::string error;
    std::string text;
    size_t records = 0;
    if (!RenderRecords(station, volumes, text, records, error)) return Fail(kExitUsage, where + ": " + error);

    const std::string path = o.out.empty() ? JoinPath(o.folder, "volume.tmg") : o.out;
    for (const char* name : {"sequential.csv", "sequential.xml", "periodic.csv", "periodic.xml", "settings.json",
                             "study.conf", "study.txt", "kvd.dat"}) {
        std::error_code failure;
        if (path != "-" && !o.folder.empty() && std::filesystem::equivalent(path, JoinPath(o.folder, name), failure))
            return Fail(kExitUsage, "--out " + path + " is the read's own " + name + "; choose another file");
    }
    // The records end their lines in CR LF themselves, on every system.
    if (path == "-") {
        MakeStdioBinary(stdout);
        if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)
            return Fail(kExitFiles, "cannot write the records to standard output");
    } else {
        AtomicFile file(path, true);
        if (!file.Open() || !file.Write(text) || !file.Commit()) return Fail(kExitFiles, "cannot write " + path);
    }

    bool writesForward = false, writesReverse = false;
    for (const Stream& stream : station.streams) {
        writesForward = writesForward || stream.forward;
        writesReverse = writesReverse || stream.reverse;
    }
    for (const auto& [written, reverse, option] :
         {std::tuple{writesForward, false, "--forward-direction"}, std::tuple{writesReverse, true, "--reverse-direction"}}) {
        if (!written && volumes.Vehicles(reverse) != 0)
            std::fprintf(stderr, "tallyx: note: %llu %s vehicles are not in the records: no %s given\n",
                         static_cast<unsigned long long>(volumes.Vehicles(reverse)), reverse ? "reverse" : "forward",
                         option);
    }
    if (volumes.Unplaced() != 0)
        std::fprintf(stderr,
                     "tallyx: note: %llu vehicles fall in hours the study covers only in part (or not at all); "
                     "those hours are blank\n",
                     static_cast<unsigned long long>(volumes.Unplaced()));
    if (path != "-") {
        std::printf("Wrote %zu records of station %s (%lld days) to %s\n", records, station.fields.station.c_str(),
                    static_cast<long long>(volumes.Days()), path.c_str());
    }
    return kExitOk;
}

int Check(const std::string& path) {
    std::string text;
    if (!study::ReadWholeFile(path, text)) return Fail(kExitUsage, path + ": cannot be read");
    if (text.empty()) return Fail(kExitUsage, path + " is empty: no records");
    size_t lines = 0, broken = 0;
    std::unordered_map<std::string, size_t> keys;  // columns 1-21: station, direction, lane and day
    for (size_t at = 0; at < text.size();) {
        const size_t newline = text.find('\n', at);
        const size_t end = newline == std::string::npos ? text.size() : newline;
        std::string_view line(text.data() + at, end - at);
        ++lines;
        std::vector<FieldProblem> problems;
        if (newline == std::string::npos) {
            problems.push_back({"line end", "the last line has no line end (CR LF)"});
        } else if (line.empty() || line.back() != '\r') {
            problems.push_back({"line end", "LF without CR"});
        }
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::vector<FieldProblem> fields = CheckVolumeRecord(line);
        problems.insert(problems.end(), fields.begin(), fields.end());
        if (fields.empty()) {
            const auto [known, fresh] = keys.emplace(std::string(line.substr(0, 21)), lines);
            if (!fresh)
                problems.push_back({"record key (columns 1-21)",
                                    "the same station, direction, lane and day as line " + std::to_string(known->second)});
        }
        for (const FieldProblem& p : problems)
            std::printf("%s:%zu: %s: %s\n", path.c_str(), lines, p.field.c_str(), p.problem.c_str());
        if (!problems.empty()) ++broken;
        at = end + 1;
    }
    if (broken == 0) {
        std::printf("%s: %zu records, all valid\n", path.c_str(), lines);
        return kExitOk;
    }
    std::printf("%s: %zu of %zu lines break the layout\n", path.c_str(), broken, lines);
    return kExitUsage;
}

}  // namespace

bool TmgTextOfSite(const study::Study& study, const archive::SiteEntry& site, const std::string& where, std::string& text,
                   std::string& error) {
    TmgOptions o;
    FillFromSite(o, site);
    Station station;
    StudyVolumes volumes;
    size_t records = 0;
    text.clear();
    if (!ParseStation(o, station, error)) return false;
    if (!CountStudyVolumes(study, where, volumes, error)) return false;
    if (!RenderRecords(station, volumes, text, records, error)) {
        error = where + ": " + error;
        return false;
    }
    return true;
}

int RunTmg(const TmgOptions& o) {
    if (!o.check.empty()) {
        if (!o.folder.empty()) return Fail(kExitUsage, "give a read folder or --check FILE, not both");
        return Check(o.check);
    }
    if (o.archiveId != 0 && !o.folder.empty()) return Fail(kExitUsage, "give a read folder or --archive-id, not both");
    if (o.folder.empty() && o.archiveId == 0)
        return Fail(kExitUsage, "a read folder (or --archive-id ID, or --check FILE) is needed");
    return Convert(o);
}

const char* TmgCodesHelp() {
    return "Writes one record per direction and day of the study: the hourly volume record (\"3\" record, 143 "
           "columns, CR LF line ends) of the federal Traffic Monitoring Guide, as state traffic programs "
           "accept them. Hour k (1-24) holds the vehicles stamped from clock hour k-1 to k, counted per "
           "direction by each vehicle's FORWARD/REVERSE flag. An hour that the study does not cover whole "
           "(before its begin, from its end on) is five blanks. A folder with vehicles that have no time stamp "
           "is refused.\n"
           "\n"
           "Codes:\n"
           "  --state        the state's two-digit FIPS code: 01 AL ... 17 IL ... 39 OH ... 56 WY, 11 DC, 72 PR\n"
           "  --station      1-6 letters or digits, zero-filled on the left (123 is 000123)\n"
           "  --class        functional classification: 1 interstate, 2 other freeway or expressway, 3 other "
           "principal arterial, 4 minor arterial, 5 major collector, 6 minor collector, 7 local; then R rural or "
           "U urban (3U)\n"
           "  directions     1 N, 2 NE, 3 E, 4 SE, 5 S, 6 SW, 7 W, 8 NW; --combined writes 9 (north and south "
           "together, from 1 and 5) or 0 (east and west together, from 3 and 7)\n"
           "  --lane         0 all lanes together, 1-9 one lane (1 the outside lane)\n"
           "  --restriction  0 none, 1 construction (pattern not affected), 2 device problem, 3 weather (pattern "
           "not affected), 4 construction (pattern affected), 5 weather (pattern affected)\n"
           "\n"
           "tallyx tmg --check FILE reports every field of every line that breaks the layout (length, codes, "
           "day of week against the date, digits where digits belong, line ends, a day given twice); exit "
           "status 0 when every line is valid, 2 otherwise.";
}

}  // namespace tallyx::cli
