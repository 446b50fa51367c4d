#include "cli/archive_json.h"

namespace tallyx::cli {

using json::Value;

Value EntryJson(const archive::StudyEntry& e) {
    Value row = Value::Object();
    row.Set("id", Value::Integer(e.id));
    row.Set("counter", Value::String(e.serial));
    row.Set("unitType", Value::String(e.unitType));
    row.Set("siteId", Value::Integer(e.siteId));
    row.Set("site", Value::String(e.site));
    row.Set("begin", Value::String(e.begin));
    row.Set("end", Value::String(e.end));
    row.Set("readAt", Value::String(e.readAt));
    row.Set("program", Value::String(e.program));
    row.Set("archivedAt", Value::String(e.archivedAt));
    row.Set("metric", Value::Bool(e.metric));
    row.Set("vehicles", Value::Integer(static_cast<int64_t>(e.vehicles)));
    row.Set("periods", Value::Integer(static_cast<int64_t>(e.periods)));
    return row;
}

Value SiteJson(const archive::SiteEntry& s) {
    Value site = Value::Object();
    site.Set("id", Value::Integer(s.id));
    for (const auto& [key, text] : {std::pair{"state", &s.state}, std::pair{"city", &s.city}, std::pair{"county", &s.county},
                                    std::pair{"address", &s.address}, std::pair{"lane", &s.lane}})
        site.Set(key, Value::String(*text));
    for (const auto& [key, value] : s.fields) site.Set(key, Value::String(value));
    site.Set("studies", Value::Integer(static_cast<int64_t>(s.studies)));
    site.Set("lastStudy", Value::String(s.lastStudy));
    return site;
}

Value CounterJson(const archive::CounterEntry& c) {
    Value counter = Value::Object();
    counter.Set("serial", Value::String(c.serial));
    counter.Set("unitType", Value::String(c.unitType));
    counter.Set("firmware", Value::String(c.firmware));
    counter.Set("lastSeen", Value::String(c.lastSeen));
    counter.Set("lastSite", Value::String(c.lastSite));
    counter.Set("studies", Value::Integer(static_cast<int64_t>(c.studies)));
    Value readings = Value::Array();
    for (const archive::BatteryReading& r : c.readings) {
        Value reading = Value::Object();
        reading.Set("readAt", Value::String(r.readAt));
        reading.Set("batteryVoltage", Value::String(r.voltage));
        reading.Set("batteryPercent", Value::String(r.percent));
        reading.Set("clockOffsetSeconds", r.clockOffsetSeconds ? Value::Integer(*r.clockOffsetSeconds) : Value());
        reading.Set("study", r.studyId != 0 ? Value::Integer(r.studyId) : Value());
        readings.Add(std::move(reading));
    }
    counter.Set("readings", std::move(readings));
    return counter;
}

}  // namespace tallyx::cli
