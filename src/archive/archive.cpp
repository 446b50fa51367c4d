#include "archive/archive.h"

#include <charconv>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "archive/archive_schema.h"
#include "archive/sha256.h"
#include "platform/calendar_time.h"
#include "study/folder_writer.h"

namespace tallyx::archive {

namespace {

constexpr int64_t kRecordRange = int64_t{1} << 32;

const char* FormName(study::FolderForm form) {
    switch (form) {
        case study::FolderForm::kCsv: return "csv";
        case study::FolderForm::kXml: return "xml";
        case study::FolderForm::kTallyread: return "tallyread";
    }
    return "csv";
}

study::FolderForm FormOf(const std::string& name) {
    if (name == "xml") return study::FolderForm::kXml;
    if (name == "tallyread") return study::FolderForm::kTallyread;
    return study::FolderForm::kCsv;
}

std::string Joined(const std::vector<std::string>& parts, const char* separator) {
    std::string text;
    for (const std::string& part : parts) {
        if (part.empty()) continue;
        if (!text.empty()) text += separator;
        text += part;
    }
    return text;
}

// A transaction that rolls back unless committed.
class Transaction {
public:
    explicit Transaction(Database& db) : db_(db) {}
    ~Transaction() {
        if (open_) db_.RollBack();
    }
    bool Begin(std::string& error) {
        open_ = db_.Exec("BEGIN IMMEDIATE", error);
        return open_;
    }
    bool Commit(std::string& error) {
        if (!db_.Exec("COMMIT", error)) return false;
        open_ = false;
        return true;
    }

private:
    Database& db_;
    bool open_ = false;
};

const std::vector<SiteField> kSiteFields = {
    {"fips-state", "fips_state", "the state's two-digit FIPS code (39 Ohio)", false},
    {"station", "station_id", "the station ID of the state's traffic program, 1-6 letters or digits", false},
    {"class", "functional_class", "functional classification: 1-7 and R (rural) or U (urban), e.g. 3U", false},
    {"forward-direction", "forward_direction", "where the counter's forward traffic goes: 1-8 (1 N, 3 E, 5 S, 7 W)", false},
    {"reverse-direction", "reverse_direction", "where its reverse traffic goes: 1-8", false},
    {"lane-code", "lane_code", "the lane of the federal records: 0 all lanes, 1-9 one lane", false},
    {"latitude", "latitude", "latitude in decimal degrees, -90 to 90", true},
    {"longitude", "longitude", "longitude in decimal degrees, -180 to 180", true},
};

constexpr const char* kNoSuchPrefix = "the archive holds no ";

std::string NoSuch(const char* what, int64_t id) { return kNoSuchPrefix + std::string(what) + " " + std::to_string(id); }

const char* kSiteColumns = "id, state, city, county, address, lane, fips_state, station_id, functional_class, "
                           "forward_direction, reverse_direction, lane_code, latitude, longitude";

std::string RealText(const Statement& row, int column) {
    if (row.IsNull(column)) return "";
    char text[40];
    std::snprintf(text, sizeof text, "%.6f", row.Real(column));
    return text;
}

SiteEntry SiteFromRow(const Statement& row) {
    SiteEntry site;
    site.id = row.Int(0);
    site.state = row.Text(1);
    site.city = row.Text(2);
    site.county = row.Text(3);
    site.address = row.Text(4);
    site.lane = row.Text(5);
    for (size_t i = 0; i < kSiteFields.size(); ++i) {
        const int column = static_cast<int>(6 + i);
        site.fields.emplace_back(kSiteFields[i].key, kSiteFields[i].real ? RealText(row, column) : row.Text(column));
    }
    return site;
}

std::string SiteLabelOf(const std::string& address, const std::string& city, const std::string& county,
                        const std::string& state, const std::string& lane) {
    std::string label = Joined({address, city, county, state}, ", ");
    if (!lane.empty()) label += (label.empty() ? "" : " ") + ("(" + lane + ")");
    return label.empty() ? "(no site texts)" : label;
}

}  // namespace

const std::vector<SiteField>& SiteFields() { return kSiteFields; }

std::string LocalTimeNow() {
    const CalendarTime now = LocalCalendarTimeNow();
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", unsigned{now.year}, unsigned{now.month},
                  unsigned{now.day}, unsigned{now.hour}, unsigned{now.minute}, unsigned{now.second});
    return text;
}

const std::string& SiteEntry::Field(const std::string& key) const {
    static const std::string kEmpty;
    for (const auto& [name, value] : fields) {
        if (name == key) return value;
    }
    return kEmpty;
}

std::string SiteEntry::Label() const { return SiteLabelOf(address, city, county, state, lane); }

std::string RecordsDigest(const study::Study& s) {
    Sha256 digest;
    std::string line;
    for (const study::Vehicle& vehicle : s.vehicles) {
        line.clear();
        study::AppendVehicleCsv(s, vehicle, line);
        line += '\n';
        digest.Add(line);
    }
    digest.Add("periods\n");
    for (size_t i = 0; i < s.periods.size(); ++i) {
        line.clear();
        study::AppendPeriodCsv(s, i, line);
        line += '\n';
        digest.Add(line);
    }
    return digest.Hex();
}

std::unique_ptr<Archive> Archive::Open(const std::string& path, std::string& error, DatabaseFault& fault) {
    std::unique_ptr<Archive> archive(new Archive());
    archive->path_ = path;
    fault = DatabaseFault::kNone;
    std::error_code failure;
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty() && !std::filesystem::exists(parent, failure)) {
        std::filesystem::create_directories(parent, failure);
        if (failure) {
            error = "cannot create the archive's folder " + parent.string() + ": " + failure.message();
            fault = DatabaseFault::kCannotOpen;
            return nullptr;
        }
    }
    if (!archive->db_.Open(path, true, error)) {
        fault = archive->db_.LastFault();
        error = "cannot open the archive " + path + ": " + error;
        return nullptr;
    }
    if (!archive->Prepare(error)) {
        fault = archive->db_.LastFault();
        if (fault == DatabaseFault::kNone) fault = DatabaseFault::kOther;
        return nullptr;
    }
    return archive;
}

bool Archive::Prepare(std::string& error) {
    std::string detail;
    const std::optional<int64_t> application = db_.Integer("PRAGMA application_id", detail);
    if (!application) {
        error = db_.LastFault() == DatabaseFault::kNotADatabase
                    ? path_ + " is not a tallyx archive: it is not an SQLite database"
                    : db_.LastFault() == DatabaseFault::kCorrupt ? path_ + " is damaged: " + detail
                                                                 : "cannot read the archive " + path_ + ": " + detail;
        return false;
    }
    const std::optional<int64_t> version = db_.Integer("PRAGMA user_version", detail);
    const std::optional<int64_t> tables = db_.Integer("SELECT COUNT(*) FROM sqlite_master", detail);
    if (!version || !tables) {
        error = (db_.LastFault() == DatabaseFault::kCorrupt ? path_ + " is damaged: " : "cannot read the archive " + path_ + ": ") + detail;
        return false;
    }
    const bool fresh = *application == 0 && *version == 0 && *tables == 0;
    if (!fresh && *application != kApplicationId) {
        error = path_ + " is an SQLite database, but not a tallyx archive; name another file with --archive";
        return false;
    }
    if (*version > kSchemaVersion) {
        error = path_ + " was written by a newer tallyx (archive version " + std::to_string(*version) +
                "; this one knows versions up to " + std::to_string(kSchemaVersion) + "): nothing was changed";
        return false;
    }
    if (!db_.Exec("PRAGMA foreign_keys = ON", detail)) {
        error = "cannot set up the archive " + path_ + ": " + detail;
        return false;
    }
    // Write-ahead logging: readers go on while a read is archived, and a write
    // cut off by a crash leaves the last whole transaction.
    const std::optional<int64_t> ignored = db_.Integer("PRAGMA journal_mode = WAL", detail);
    (void)ignored;
    if (!db_.Exec("PRAGMA synchronous = FULL", detail)) {
        error = "cannot set up the archive " + path_ + ": " + detail;
        return false;
    }
    if (fresh || *version < kSchemaVersion) {
        Transaction transaction(db_);
        if (!transaction.Begin(detail)) {
            error = (db_.LastFault() == DatabaseFault::kReadOnly ? "cannot write the archive " + path_ + " (read-only): "
                                                                   : "cannot prepare the archive " + path_ + ": ") + detail;
            return false;
        }
        // Another process may have made it meanwhile.
        const std::optional<int64_t> now = db_.Integer("PRAGMA user_version", detail);
        int64_t at = now.value_or(0);
        if (at == 0) {
            if (!db_.Exec(CurrentSchema(), detail) ||
                !db_.Exec("PRAGMA application_id = " + std::to_string(kApplicationId), detail)) {
                error = "cannot create the archive " + path_ + ": " + detail;
                return false;
            }
            at = 1;
        }
        for (; at < kSchemaVersion; ++at) {
            if (!db_.Exec(Migrations()[static_cast<size_t>(at - 1)], detail)) {
                error = "cannot bring the archive " + path_ + " up to version " + std::to_string(at + 1) + ": " + detail;
                return false;
            }
        }
        if (!db_.Exec("PRAGMA user_version = " + std::to_string(kSchemaVersion), detail) || !transaction.Commit(detail)) {
            error = "cannot write the archive " + path_ + ": " + detail;
            return false;
        }
    }
    return true;
}

int64_t Archive::CounterId(const study::Study& s, std::string& error) {
    const std::string& serial = s.Setting(study::SettingKey::kSerialNumber);
    Statement insert(db_, "INSERT INTO counters (serial, unit_type, firmware) VALUES (?1, ?2, ?3) "
                          "ON CONFLICT (serial) DO UPDATE SET "
                          "unit_type = CASE WHEN ?2 = '' THEN unit_type ELSE ?2 END, "
                          "firmware = CASE WHEN ?3 = '' THEN firmware ELSE ?3 END");
    if (!insert.Ok()) {
        error = insert.PrepareError();
        return 0;
    }
    insert.Bind(1, serial).Bind(2, s.Setting(study::SettingKey::kUnitType)).Bind(3, s.Setting(study::SettingKey::kFirmware));
    if (!insert.Run(error)) return 0;
    Statement find(db_, "SELECT id FROM counters WHERE serial = ?1");
    find.Bind(1, serial);
    if (!find.Step()) {
        error = find.Failed() ? find.Error() : "the counter was not kept";
        return 0;
    }
    return find.Int(0);
}

int64_t Archive::SiteId(const study::Study& s, std::string& error) {
    using study::SettingKey;
    Statement insert(db_, "INSERT INTO sites (state, city, county, address, lane) VALUES (?1, ?2, ?3, ?4, ?5) "
                          "ON CONFLICT (state, city, county, address, lane) DO NOTHING");
    Statement find(db_, "SELECT id FROM sites WHERE state = ?1 AND city = ?2 AND county = ?3 AND address = ?4 AND lane = ?5");
    if (!insert.Ok() || !find.Ok()) {
        error = insert.Ok() ? find.PrepareError() : insert.PrepareError();
        return 0;
    }
    const SettingKey keys[] = {SettingKey::kState, SettingKey::kCity, SettingKey::kCounty, SettingKey::kAddress, SettingKey::kLane};
    for (int i = 0; i < 5; ++i) {
        insert.Bind(i + 1, s.Setting(keys[i]));
        find.Bind(i + 1, s.Setting(keys[i]));
    }
    if (!insert.Run(error)) return 0;
    if (!find.Step()) {
        error = find.Failed() ? find.Error() : "the site was not kept";
        return 0;
    }
    return find.Int(0);
}

bool Archive::Add(const study::Study& s, const ReadFacts& facts, int64_t& id, AddOutcome& outcome, std::string& error) {
    using study::SettingKey;
    const std::string digest = RecordsDigest(s);
    // Times are kept from a base near them, so that they stay small numbers.
    int64_t base = s.Begin().value_or(0);
    if (!s.Begin()) {
        for (const study::Vehicle& vehicle : s.vehicles) {
            if (vehicle.time != study::kNoTime) {
                base = vehicle.time;
                break;
            }
        }
    }
    Transaction transaction(db_);
    if (!transaction.Begin(error)) return false;
    const int64_t counter = CounterId(s, error);
    if (counter == 0) return false;
    const int64_t site = SiteId(s, error);
    if (site == 0) return false;
    {
        Statement known(db_, "SELECT id FROM studies WHERE counter_id = ?1 AND begin_time = ?2 AND digest = ?3");
        known.Bind(1, counter).Bind(2, s.Setting(SettingKey::kBegin)).Bind(3, digest);
        if (known.Step()) {
            id = known.Int(0);
            outcome = AddOutcome::kAlreadyArchived;
            return true;  // rolled back: nothing changed
        }
        if (known.Failed()) {
            error = known.Error();
            return false;
        }
    }
    Statement study(db_, "INSERT INTO studies (counter_id, site_id, begin_time, end_time, read_at, program, archived_at, "
                         "folder_form, port, metric, digest, vehicle_count, period_count, bin_rows, bin_columns, "
                         "has_period_file, time_base_ms) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, "
                         "?13, ?14, ?15, ?16, ?17)");
    study.Bind(1, counter).Bind(2, site).Bind(3, s.Setting(SettingKey::kBegin)).Bind(4, s.Setting(SettingKey::kEnd));
    study.Bind(5, facts.readAt).Bind(6, facts.program).Bind(7, LocalTimeNow()).Bind(8, FormName(s.form)).Bind(9, s.port);
    study.Bind(10, int64_t{s.metric ? 1 : 0}).Bind(11, digest).Bind(12, static_cast<int64_t>(s.vehicles.size()));
    study.Bind(13, static_cast<int64_t>(s.periods.size())).Bind(14, int64_t{s.binRows}).Bind(15, int64_t{s.binColumns});
    study.Bind(16, int64_t{s.hasPeriodFile ? 1 : 0}).Bind(17, base);
    if (!study.Run(error)) return false;
    id = db_.LastInsertId();

    Statement setting(db_, "INSERT INTO study_settings (study_id, name, value) VALUES (?1, ?2, ?3)");
    for (const study::SettingField& field : study::SettingFields()) {
        setting.Bind(1, id).Bind(2, field.name).Bind(3, s.Setting(field.key));
        if (!setting.Run(error)) return false;
    }
    Statement description(db_, "INSERT INTO flag_descriptions (study_id, number, text) VALUES (?1, ?2, ?3)");
    for (size_t i = 0; i < s.Descriptions().size(); ++i) {
        description.Bind(1, id).Bind(2, static_cast<int64_t>(i)).Bind(3, s.Descriptions()[i]);
        if (!description.Run(error)) return false;
    }
    Statement vehicle(db_, "INSERT INTO vehicles (id, time_ms, flags, speed, length, description) VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
    int64_t number = id * kRecordRange;
    for (const study::Vehicle& v : s.vehicles) {
        vehicle.Bind(1, number++);
        if (v.time == study::kNoTime) {
            vehicle.BindNull(2);
        } else {
            vehicle.Bind(2, v.time - base);
        }
        vehicle.Bind(3, int64_t{v.flags}).Bind(4, int64_t{v.speed}).Bind(5, int64_t{v.length}).Bind(6, int64_t{v.description});
        if (!vehicle.Run(error)) return false;
    }
    Statement period(db_, "INSERT INTO periods (id, end_ms, temperature, occupancy, count, reverse_count, bins) "
                          "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    number = id * kRecordRange;
    std::string bins;
    for (size_t i = 0; i < s.periods.size(); ++i) {
        const study::Period& p = s.periods[i];
        period.Bind(1, number++);
        if (p.end == study::kNoTime) {
            period.BindNull(2);
        } else {
            period.Bind(2, p.end - base);
        }
        if (p.hasTemperature) {
            period.Bind(3, int64_t{p.temperature});
        } else {
            period.BindNull(3);
        }
        period.Bind(4, int64_t{p.occupancy}).Bind(5, int64_t{p.count}).Bind(6, int64_t{p.reverseCount});
        bins.clear();
        const uint32_t* cells = s.BinsOf(i);
        for (size_t c = 0; c < size_t{s.binRows} * s.binColumns; ++c) {
            if (c != 0) bins += ' ';
            bins += std::to_string(cells[c]);
        }
        period.Bind(7, bins);
        if (!period.Run(error)) return false;
    }
    Statement reading(db_, "INSERT INTO counter_readings (counter_id, study_id, read_at, battery_voltage, battery_percent, "
                           "clock_offset_seconds) VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
    reading.Bind(1, counter).Bind(2, id).Bind(3, facts.readAt).Bind(4, s.Setting(SettingKey::kBatteryVoltage));
    reading.Bind(5, s.Setting(SettingKey::kBatteryPercent));
    if (facts.clockOffsetSeconds) {
        reading.Bind(6, *facts.clockOffsetSeconds);
    } else {
        reading.BindNull(6);
    }
    if (!reading.Run(error)) return false;
    if (!transaction.Commit(error)) return false;
    outcome = AddOutcome::kAdded;
    return true;
}

namespace {

const char* kEntryColumns =
    "s.id, c.serial, c.unit_type, s.site_id, t.address, t.city, t.county, t.state, t.lane, s.begin_time, s.end_time, "
    "s.read_at, s.program, s.archived_at, s.metric, s.vehicle_count, s.period_count "
    "FROM studies s JOIN counters c ON c.id = s.counter_id JOIN sites t ON t.id = s.site_id";

StudyEntry EntryFromRow(const Statement& row) {
    StudyEntry entry;
    entry.id = row.Int(0);
    entry.serial = row.Text(1);
    entry.unitType = row.Text(2);
    entry.siteId = row.Int(3);
    entry.site = SiteLabelOf(row.Text(4), row.Text(5), row.Text(6), row.Text(7), row.Text(8));
    entry.begin = row.Text(9);
    entry.end = row.Text(10);
    entry.readAt = row.Text(11);
    entry.program = row.Text(12);
    entry.archivedAt = row.Text(13);
    entry.metric = row.Int(14) != 0;
    entry.vehicles = static_cast<uint64_t>(row.Int(15));
    entry.periods = static_cast<uint64_t>(row.Int(16));
    return entry;
}

bool AllDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos && text.size() < 18;
}

}  // namespace

std::vector<StudyEntry> Archive::List(const ListFilter& filter, std::string& error) {
    std::string sql = std::string("SELECT ") + kEntryColumns + " WHERE 1";
    if (!filter.site.empty()) {
        sql += AllDigits(filter.site) ? " AND s.site_id = ?1"
                                      : " AND (instr(lower(t.address), lower(?1)) OR instr(lower(t.city), lower(?1)) OR "
                                        "instr(lower(t.county), lower(?1)) OR instr(lower(t.state), lower(?1)) OR "
                                        "instr(lower(t.lane), lower(?1)))";
    }
    if (!filter.counter.empty()) sql += " AND instr(lower(c.serial), lower(?2))";
    if (!filter.from.empty()) sql += " AND s.end_time >= ?3";
    if (!filter.to.empty()) sql += " AND s.begin_time < ?4";
    sql += " ORDER BY s.begin_time DESC, s.id DESC";
    Statement list(db_, sql);
    if (!list.Ok()) {
        error = list.PrepareError();
        return {};
    }
    if (!filter.site.empty()) {
        if (AllDigits(filter.site)) {
            list.Bind(1, static_cast<int64_t>(std::stoll(filter.site)));
        } else {
            list.Bind(1, filter.site);
        }
    }
    if (!filter.counter.empty()) list.Bind(2, filter.counter);
    if (!filter.from.empty()) list.Bind(3, filter.from);
    // Up to the end of the day `to`: everything that begins before the next day.
    if (!filter.to.empty()) list.Bind(4, filter.to + "~");
    std::vector<StudyEntry> entries;
    while (list.Step()) entries.push_back(EntryFromRow(list));
    if (list.Failed()) error = list.Error();
    return entries;
}

std::optional<StudyEntry> Archive::Find(int64_t id, std::string& error) {
    Statement find(db_, std::string("SELECT ") + kEntryColumns + " WHERE s.id = ?1");
    find.Bind(1, id);
    if (find.Step()) return EntryFromRow(find);
    error = find.Failed() ? find.Error() : NoSuch("study", id);
    return std::nullopt;
}

bool Archive::Load(int64_t id, study::Study& s, std::string& error) {
    s = study::Study{};
    Statement head(db_, "SELECT folder_form, port, metric, bin_rows, bin_columns, has_period_file, time_base_ms "
                        "FROM studies WHERE id = ?1");
    head.Bind(1, id);
    if (!head.Step()) {
        error = head.Failed() ? head.Error() : NoSuch("study", id);
        return false;
    }
    s.form = FormOf(head.Text(0));
    s.port = head.Text(1);
    s.metric = head.Int(2) != 0;
    s.binRows = static_cast<uint32_t>(head.Int(3));
    s.binColumns = static_cast<uint32_t>(head.Int(4));
    s.hasPeriodFile = head.Int(5) != 0;
    const int64_t base = head.Int(6);

    Statement settings(db_, "SELECT name, value FROM study_settings WHERE study_id = ?1");
    settings.Bind(1, id);
    while (settings.Step()) {
        const std::string name = settings.Text(0);
        for (const study::SettingField& field : study::SettingFields()) {
            if (name == field.name) s.SetSetting(field.key, settings.Text(1));
        }
    }
    Statement descriptions(db_, "SELECT text FROM flag_descriptions WHERE study_id = ?1 ORDER BY number");
    descriptions.Bind(1, id);
    while (descriptions.Step()) s.DescriptionIndex(descriptions.Text(0));
    const size_t described = s.Descriptions().size();

    Statement vehicles(db_, "SELECT time_ms, flags, speed, length, description FROM vehicles WHERE id >= ?1 AND id < ?2 ORDER BY id");
    vehicles.Bind(1, id * kRecordRange).Bind(2, (id + 1) * kRecordRange);
    while (vehicles.Step()) {
        study::Vehicle v;
        v.time = vehicles.IsNull(0) ? study::kNoTime : base + vehicles.Int(0);
        v.flags = static_cast<uint16_t>(vehicles.Int(1));
        v.speed = static_cast<uint16_t>(vehicles.Int(2));
        v.length = static_cast<uint16_t>(vehicles.Int(3));
        const int64_t description = vehicles.Int(4);
        if (description < 0 || static_cast<size_t>(description) >= described) {
            error = "study " + std::to_string(id) + " of the archive is damaged: a vehicle names flag description " +
                    std::to_string(description) + ", which it does not hold";
            return false;
        }
        v.description = static_cast<uint16_t>(description);
        s.vehicles.push_back(v);
    }
    Statement periods(db_, "SELECT end_ms, temperature, occupancy, count, reverse_count, bins FROM periods "
                           "WHERE id >= ?1 AND id < ?2 ORDER BY id");
    periods.Bind(1, id * kRecordRange).Bind(2, (id + 1) * kRecordRange);
    const size_t cells = size_t{s.binRows} * s.binColumns;
    while (periods.Step()) {
        study::Period p;
        p.end = periods.IsNull(0) ? study::kNoTime : base + periods.Int(0);
        p.hasTemperature = !periods.IsNull(1);
        p.temperature = static_cast<int32_t>(periods.Int(1));
        p.occupancy = static_cast<uint32_t>(periods.Int(2));
        p.count = static_cast<uint32_t>(periods.Int(3));
        p.reverseCount = static_cast<uint32_t>(periods.Int(4));
        const std::vector<int64_t> numbers = study::NumbersIn(periods.Text(5));
        if (numbers.size() != cells) {
            error = "study " + std::to_string(id) + " of the archive is damaged: a period holds " +
                    std::to_string(numbers.size()) + " bins, not " + std::to_string(cells);
            return false;
        }
        for (const int64_t n : numbers) s.bins.push_back(static_cast<uint32_t>(n));
        s.periods.push_back(p);
    }
    if (vehicles.Failed() || periods.Failed() || settings.Failed() || descriptions.Failed()) {
        error = "cannot read study " + std::to_string(id) + " from the archive: " +
                (vehicles.Failed() ? vehicles.Error() : periods.Failed() ? periods.Error() : settings.Error());
        return false;
    }
    return true;
}

bool Archive::Remove(int64_t id, std::string& error) {
    Transaction transaction(db_);
    if (!transaction.Begin(error)) return false;
    Statement exists(db_, "SELECT 1 FROM studies WHERE id = ?1");
    exists.Bind(1, id);
    if (!exists.Step()) {
        error = exists.Failed() ? exists.Error() : NoSuch("study", id);
        return false;
    }
    for (const char* sql : {"DELETE FROM vehicles WHERE id >= ?2 AND id < ?3", "DELETE FROM periods WHERE id >= ?2 AND id < ?3",
                            "DELETE FROM study_settings WHERE study_id = ?1", "DELETE FROM flag_descriptions WHERE study_id = ?1",
                            "DELETE FROM studies WHERE id = ?1"}) {
        Statement remove(db_, sql);
        if (!remove.Ok()) {
            error = remove.PrepareError();
            return false;
        }
        remove.Bind(1, id);
        if (std::string(sql).find("?2") != std::string::npos) remove.Bind(2, id * kRecordRange).Bind(3, (id + 1) * kRecordRange);
        if (!remove.Run(error)) return false;
    }
    return transaction.Commit(error);
}

std::vector<CounterEntry> Archive::Counters(std::string& error) {
    std::vector<CounterEntry> counters;
    Statement list(db_, "SELECT c.id, c.serial, c.unit_type, c.firmware, "
                        "(SELECT MAX(read_at) FROM counter_readings r WHERE r.counter_id = c.id), "
                        "(SELECT COUNT(*) FROM studies s WHERE s.counter_id = c.id), "
                        "t.id, t.address, t.city, t.county, t.state, t.lane "
                        "FROM counters c LEFT JOIN sites t ON t.id = (SELECT s.site_id FROM studies s WHERE s.counter_id = c.id "
                        " ORDER BY s.read_at DESC, s.id DESC LIMIT 1) "
                        "ORDER BY c.serial");
    Statement readings(db_, "SELECT read_at, battery_voltage, battery_percent, clock_offset_seconds, COALESCE(study_id, 0) "
                            "FROM counter_readings WHERE counter_id = ?1 ORDER BY read_at, id");
    if (!list.Ok() || !readings.Ok()) {
        error = list.Ok() ? readings.PrepareError() : list.PrepareError();
        return {};
    }
    while (list.Step()) {
        CounterEntry counter;
        counter.serial = list.Text(1);
        counter.unitType = list.Text(2);
        counter.firmware = list.Text(3);
        counter.lastSeen = list.Text(4);
        counter.studies = static_cast<uint64_t>(list.Int(5));
        if (!list.IsNull(6)) counter.lastSite = SiteLabelOf(list.Text(7), list.Text(8), list.Text(9), list.Text(10), list.Text(11));
        readings.Bind(1, list.Int(0));
        while (readings.Step()) {
            BatteryReading reading;
            reading.readAt = readings.Text(0);
            reading.voltage = readings.Text(1);
            reading.percent = readings.Text(2);
            if (!readings.IsNull(3)) reading.clockOffsetSeconds = readings.Int(3);
            reading.studyId = readings.Int(4);
            counter.readings.push_back(reading);
        }
        if (readings.Failed()) {
            error = readings.Error();
            return {};
        }
        readings.Reset();
        counters.push_back(std::move(counter));
    }
    if (list.Failed()) error = list.Error();
    return counters;
}

std::vector<SiteEntry> Archive::SitesWhere(const char* where, int64_t id, std::string& error) {
    std::vector<SiteEntry> sites;
    Statement list(db_, std::string("SELECT ") + kSiteColumns +
                            ", (SELECT COUNT(*) FROM studies s WHERE s.site_id = sites.id), "
                            "(SELECT MAX(begin_time) FROM studies s WHERE s.site_id = sites.id) FROM sites " +
                            where + " ORDER BY id");
    if (id != 0) list.Bind(1, id);
    while (list.Step()) {
        SiteEntry site = SiteFromRow(list);
        site.studies = static_cast<uint64_t>(list.Int(14));
        site.lastStudy = list.Text(15);
        sites.push_back(std::move(site));
    }
    if (list.Failed()) error = list.Error();
    return sites;
}

std::vector<SiteEntry> Archive::Sites(std::string& error) { return SitesWhere("", 0, error); }

std::optional<SiteEntry> Archive::Site(int64_t id, std::string& error) {
    std::vector<SiteEntry> sites = SitesWhere("WHERE id = ?1", id, error);
    if (!sites.empty()) return std::move(sites.front());
    if (error.empty()) error = NoSuch("site", id);
    return std::nullopt;
}

bool Archive::SetSiteFields(int64_t id, const std::vector<std::pair<std::string, std::string>>& changes,
                            std::string& error) {
    Transaction transaction(db_);
    if (!transaction.Begin(error)) return false;
    Statement exists(db_, "SELECT 1 FROM sites WHERE id = ?1");
    exists.Bind(1, id);
    if (!exists.Step()) {
        error = exists.Failed() ? exists.Error() : NoSuch("site", id);
        return false;
    }
    for (const auto& [key, value] : changes) {
        const SiteField* field = nullptr;
        for (const SiteField& candidate : kSiteFields) {
            if (key == candidate.key) field = &candidate;
        }
        if (field == nullptr) {
            error = "no site field '" + key + "'";
            return false;
        }
        Statement update(db_, std::string("UPDATE sites SET ") + field->column + " = ?1 WHERE id = ?2");
        if (value.empty()) {
            update.BindNull(1);
        } else if (field->real) {
            double number = 0;
            const auto [end, failure] = std::from_chars(value.data(), value.data() + value.size(), number);
            if (failure != std::errc() || end != value.data() + value.size()) {
                error = "site field " + key + " '" + value + "' is not a number";
                return false;
            }
            update.Bind(1, number);
        } else {
            update.Bind(1, value);
        }
        update.Bind(2, id);
        if (!update.Run(error)) return false;
    }
    return transaction.Commit(error);
}

bool IsNoSuchEntry(const std::string& error) { return error.rfind(kNoSuchPrefix, 0) == 0; }

}  // namespace tallyx::archive
