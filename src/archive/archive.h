#pragma once
// The count archive: every study read, kept whole in one SQLite file, with the
// counters that recorded them (battery and clock at each read) and the sites
// they were recorded at (the site texts, and the codes a federal submitter
// needs, kept by hand). Every change is one transaction: a study is in the
// archive whole or not at all.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/sqlite_database.h"
#include "study/study.h"

namespace tallyx::archive {

// The version of the schema this program writes; older files are brought up
// to it when opened, newer ones refused.
inline constexpr int kSchemaVersion = 1;

// How a read came about, beside what the study itself holds.
struct ReadFacts {
    std::string readAt;   // the reading machine's local time, "YYYY-MM-DD hh:mm:ss"
    std::string program;  // "tallyx read 1.0.0.0", "tallyread"
    std::optional<int64_t> clockOffsetSeconds;  // the counter's clock minus the machine's, when known
};

struct StudyEntry {
    int64_t id = 0;
    std::string serial, unitType;
    int64_t siteId = 0;
    std::string site;  // the site texts joined: "Main St, Springfield, Clark, MN (NB)"
    std::string begin, end;
    std::string readAt, program, archivedAt;
    bool metric = false;
    uint64_t vehicles = 0, periods = 0;

    friend bool operator==(const StudyEntry&, const StudyEntry&) = default;
};

struct BatteryReading {
    std::string readAt;
    std::string voltage, percent;
    std::optional<int64_t> clockOffsetSeconds;
    int64_t studyId = 0;
};

struct CounterEntry {
    std::string serial, unitType, firmware;
    std::string lastSeen;      // when it was last read
    std::string lastSite;      // where its last study was recorded
    uint64_t studies = 0;
    std::vector<BatteryReading> readings;  // oldest first
};

// The editable fields of a site, by key: "fips-state", "station", "class",
// "forward-direction", "reverse-direction", "lane-code", "latitude", "longitude".
struct SiteField {
    const char* key;
    const char* column;
    const char* help;
    bool real;  // stored as a number
};
const std::vector<SiteField>& SiteFields();

struct SiteEntry {
    int64_t id = 0;
    std::string state, city, county, address, lane;  // the study's site texts
    std::vector<std::pair<std::string, std::string>> fields;  // key, value ("" when not set)
    uint64_t studies = 0;
    std::string lastStudy;  // begin of its newest study

    const std::string& Field(const std::string& key) const;
    std::string Label() const;
};

struct ListFilter {
    std::string site;     // a site id, or text found in its site texts
    std::string counter;  // a serial number, or part of one
    std::string from, to; // studies that overlap the days from..to ("YYYY-MM-DD")
};

enum class AddOutcome { kAdded, kAlreadyArchived };

class Archive {
public:
    // Opens the archive file, creating it (and its folder) when missing and
    // bringing an older schema up to date. Nothing on failure, with a sentence
    // naming the file in error and the fault.
    static std::unique_ptr<Archive> Open(const std::string& path, std::string& error, DatabaseFault& fault);

    const std::string& Path() const { return path_; }

    // Keeps a study; one that is already there (same counter, begin and records)
    // is kept once and reported as such, with its id.
    bool Add(const study::Study& study, const ReadFacts& facts, int64_t& id, AddOutcome& outcome, std::string& error);

    std::vector<StudyEntry> List(const ListFilter& filter, std::string& error);
    std::optional<StudyEntry> Find(int64_t id, std::string& error);
    // The study exactly as it was read.
    bool Load(int64_t id, study::Study& study, std::string& error);
    bool Remove(int64_t id, std::string& error);

    std::vector<CounterEntry> Counters(std::string& error);
    std::vector<SiteEntry> Sites(std::string& error);
    std::optional<SiteEntry> Site(int64_t id, std::string& error);
    // Sets editable fields of a site ("" clears one), all or none; values are stored as given.
    bool SetSiteFields(int64_t id, const std::vector<std::pair<std::string, std::string>>& changes, std::string& error);

    DatabaseFault LastFault() const { return db_.LastFault(); }

private:
    Archive() = default;
    bool Prepare(std::string& error);
    int64_t CounterId(const study::Study& study, std::string& error);
    int64_t SiteId(const study::Study& study, std::string& error);
    std::vector<SiteEntry> SitesWhere(const char* where, int64_t id, std::string& error);

    std::string path_;
    Database db_;
};

// The text of a study's identity used to tell a study archived twice: the
// digest of its vehicle and period lines.
std::string RecordsDigest(const study::Study& study);

// True for the error of a study or site id the archive does not hold.
bool IsNoSuchEntry(const std::string& error);

// The reading machine's local time, now, as the archive keeps times: "YYYY-MM-DD hh:mm:ss".
std::string LocalTimeNow();

}  // namespace tallyx::archive
