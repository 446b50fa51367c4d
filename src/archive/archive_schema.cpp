#include "archive/archive_schema.h"

namespace tallyx::archive {

std::string_view CurrentSchema() {
    // Vehicles and periods are numbered within their study: the row id of one
    // is the study's id times 2^32 plus its number, so that a study's records
    // are one range of the table, stored in order and found without an index.
    // Their times are milliseconds from the study's time base (the counter's
    // local clock); NULL is a record the counter could not place in time.
    return R"sql(
CREATE TABLE counters (
    id INTEGER PRIMARY KEY,
    serial TEXT NOT NULL UNIQUE,
    unit_type TEXT NOT NULL DEFAULT '',
    firmware TEXT NOT NULL DEFAULT ''
);
CREATE TABLE sites (
    id INTEGER PRIMARY KEY,
    state TEXT NOT NULL DEFAULT '',
    city TEXT NOT NULL DEFAULT '',
    county TEXT NOT NULL DEFAULT '',
    address TEXT NOT NULL DEFAULT '',
    lane TEXT NOT NULL DEFAULT '',
    fips_state TEXT,
    station_id TEXT,
    functional_class TEXT,
    forward_direction TEXT,
    reverse_direction TEXT,
    lane_code TEXT,
    latitude REAL,
    longitude REAL,
    UNIQUE (state, city, county, address, lane)
);
CREATE TABLE studies (
    id INTEGER PRIMARY KEY,
    counter_id INTEGER NOT NULL REFERENCES counters(id),
    site_id INTEGER NOT NULL REFERENCES sites(id),
    begin_time TEXT NOT NULL,
    end_time TEXT NOT NULL,
    read_at TEXT NOT NULL,
    program TEXT NOT NULL,
    archived_at TEXT NOT NULL,
    folder_form TEXT NOT NULL,
    port TEXT NOT NULL DEFAULT '',
    metric INTEGER NOT NULL,
    digest TEXT NOT NULL,
    vehicle_count INTEGER NOT NULL,
    period_count INTEGER NOT NULL,
    bin_rows INTEGER NOT NULL,
    bin_columns INTEGER NOT NULL,
    has_period_file INTEGER NOT NULL,
    time_base_ms INTEGER NOT NULL,
    UNIQUE (counter_id, begin_time, digest)
);
CREATE INDEX studies_by_site ON studies (site_id);
CREATE INDEX studies_by_begin ON studies (begin_time);
CREATE TABLE study_settings (
    study_id INTEGER NOT NULL REFERENCES studies(id),
    name TEXT NOT NULL,
    value TEXT NOT NULL,
    PRIMARY KEY (study_id, name)
);
CREATE TABLE flag_descriptions (
    study_id INTEGER NOT NULL REFERENCES studies(id),
    number INTEGER NOT NULL,
    text TEXT NOT NULL,
    PRIMARY KEY (study_id, number)
);
CREATE TABLE vehicles (
    id INTEGER PRIMARY KEY,
    time_ms INTEGER,
    flags INTEGER NOT NULL,
    speed INTEGER NOT NULL,
    length INTEGER NOT NULL,
    description INTEGER NOT NULL
);
CREATE TABLE periods (
    id INTEGER PRIMARY KEY,
    end_ms INTEGER,
    temperature INTEGER,
    occupancy INTEGER NOT NULL,
    count INTEGER NOT NULL,
    reverse_count INTEGER NOT NULL,
    bins TEXT NOT NULL
);
CREATE TABLE counter_readings (
    id INTEGER PRIMARY KEY,
    counter_id INTEGER NOT NULL REFERENCES counters(id),
    study_id INTEGER REFERENCES studies(id) ON DELETE SET NULL,
    read_at TEXT NOT NULL,
    battery_voltage TEXT NOT NULL DEFAULT '',
    battery_percent TEXT NOT NULL DEFAULT '',
    clock_offset_seconds INTEGER
);
CREATE INDEX counter_readings_by_counter ON counter_readings (counter_id, read_at);
CREATE INDEX counter_readings_by_study ON counter_readings (study_id);
)sql";
}

const std::vector<std::string_view>& Migrations() {
    static const std::vector<std::string_view> migrations = {};
    return migrations;
}

}  // namespace tallyx::archive
