#include "report/report_html.h"

#include <initializer_list>
#include <string_view>
#include <vector>

#include "report/html_text.h"
#include "report/page_assets.h"
#include "study/civil_time.h"

namespace tallyx::report {

namespace {

using json::Value;

constexpr const char* kDirections[3] = {"forward", "reverse", "both"};

// The member at the end of a path of names; a null value where any is missing.
const Value& At(const Value& value, std::initializer_list<std::string_view> path) {
    static const Value kNothing;
    const Value* at = &value;
    for (const std::string_view name : path) {
        at = at->IsObject() ? at->Find(name) : nullptr;
        if (at == nullptr) return kNothing;
    }
    return *at;
}

// A number as the tables show it: counts grouped, others with `digits`
// decimals (or as JSON writes them when digits is negative); "-" for nothing.
std::string Number(const Value& value, int digits = -1) {
    if (!value.IsNumber()) return "-";
    if (value.IsInteger() && digits <= 0) return GroupedCount(value.AsInteger());
    if (digits >= 0) return Fixed(value.AsNumber(), digits);
    return json::FormatNumber(value.AsNumber());
}

// A figure's value ({"value": ..., "unit": ...}).
std::string Figure(const Value& figure, int digits = -1) { return Number(At(figure, {"value"}), digits); }
std::string Share(const Value& figure) {
    const Value& value = At(figure, {"value"});
    return value.IsNumber() ? Fixed(value.AsNumber(), 1) + " %" : "-";
}
// "283 (58.7 %)"; the count alone where there is nothing to share.
std::string CountAndShare(const Value& count, const Value& share) {
    return At(share, {"value"}).IsNumber() ? Number(count) + " (" + Share(share) + ")" : Number(count);
}
int64_t Count(const Value& value) { return value.IsInteger() ? value.AsInteger() : 0; }


// "2026-11-02" as "Mon 2026-11-02": weekdays and weekends differ in traffic.
std::string DayWithWeekday(const std::string& day) {
    static constexpr const char* kWeekdays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    const std::optional<study::CivilTime> time = study::ParseCivilTime(day + " 00:00:00");
    if (!time || !study::IsValidCivilTime(*time)) return day;
    return std::string(kWeekdays[study::DayOfWeek(time->year, static_cast<int>(time->month), static_cast<int>(time->day)) - 1]) +
           " " + day;
}

// "2026-11-02 00:00:00.000" as "Mon 2026-11-02 00:00".
std::string MinuteWithWeekday(const std::string& time) {
    return time.size() < 16 ? time : DayWithWeekday(time.substr(0, 10)) + time.substr(10, 6);
}

struct Row {
    std::vector<std::string> cells;  // plain texts, escaped when written
    bool total = false;
};

// A table of figures: its leading `textColumns` columns read as text, the
// others as numbers. Each group of rows is one <tbody>, which print keeps on
// one page.
struct Table {
    std::string className;
    std::vector<std::vector<std::string>> head;  // header rows; a cell "n|text" spans n columns
    std::vector<std::vector<Row>> groups;
    size_t textColumns = 1;
};

void WriteCell(std::string& out, const char* tag, const std::string& cell, bool text) {
    std::string_view content = cell;
    std::string span;
    const bool head = tag[1] == 'h';  // only the header's own cells span columns
    if (const size_t bar = cell.find('|'); head && bar != std::string::npos && bar > 0 && bar < 3 &&
                                           cell.find_first_not_of("0123456789") == bar) {
        span = " colspan=\"" + cell.substr(0, bar) + "\"";
        content = std::string_view(cell).substr(bar + 1);
    }
    out += "<";
    out += tag;
    out += span;
    if (text) out += " class=\"t\"";
    out += ">" + HtmlText(content) + "</" + tag + ">";
}

void WriteTable(std::string& out, const Table& table) {
    out += "<table class=\"" + table.className + "\">\n<thead>\n";
    for (const auto& row : table.head) {
        out += "<tr>";
        for (size_t c = 0; c < row.size(); ++c) WriteCell(out, "th", row[c], c < table.textColumns);
        out += "</tr>\n";
    }
    out += "</thead>\n";
    for (const auto& group : table.groups) {
        out += "<tbody>\n";
        for (const Row& row : group) {
            out += row.total ? "<tr class=\"total\">" : "<tr>";
            for (size_t c = 0; c < row.cells.size(); ++c) WriteCell(out, "td", row.cells[c], c < table.textColumns);
            out += "</tr>\n";
        }
        out += "</tbody>\n";
    }
    out += "</table>\n";
}

void Paragraph(std::string& out, const char* className, const std::string& text) {
    out += std::string("<p class=\"") + className + "\">" + HtmlText(text) + "</p>\n";
}

void Heading(std::string& out, const char* tag, const std::string& text) {
    out += std::string("<") + tag + ">" + HtmlText(text) + "</" + tag + ">\n";
}

// A chart the page's script draws into the canvas of that id, or a line
// saying why there is none.
void Chart(std::string& out, const char* id, const char* size, const std::string& title, const std::string& caption,
           const std::string& empty) {
    out += "<figure class=\"chart\">\n";
    Heading(out, "h3", title);
    if (empty.empty()) {
        out += std::string("<div class=\"chart-box ") + size + "\"><canvas id=\"" + id + "\" role=\"img\" aria-label=\"" +
               HtmlText(title) + "\"></canvas></div>\n";
    } else {
        Paragraph(out, "empty", empty);
    }
    if (!caption.empty()) out += "<figcaption>" + HtmlText(caption) + "</figcaption>\n";
    out += "</figure>\n";
}

std::string Place(const Value& study) {
    std::string place;
    for (const char* key : {"address", "city", "county", "state"}) {
        const std::string text = study.Text(key);
        if (text.empty()) continue;
        if (!place.empty()) place += ", ";
        place += text;
    }
    return place.empty() ? "Traffic study" : place;
}

// The title, the study's lines and the notes a reader must see first.
void WriteHeader(std::string& out, const Value& document) {
    const Value& study = At(document, {"study"});
    const std::string speedUnit = At(document, {"units", "speed"}).AsString();
    const std::string lengthUnit = At(document, {"units", "length"}).AsString();
    const Value& limit = At(document, {"speed", "posted_limit"});
    out += "<header class=\"report-head\">\n";
    out += "<p class=\"kicker\">Traffic study report</p>\n";
    Heading(out, "h1", Place(study));
    auto orDash = [](const std::string& text) { return text.empty() ? std::string("-") : text; };
    std::string counter = orDash(study.Text("unitType"));
    if (!study.Text("serialNumber").empty()) counter += ", serial " + study.Text("serialNumber");
    std::string battery;
    if (!study.Text("batteryVoltage").empty()) battery = study.Text("batteryVoltage") + " V";
    if (!study.Text("batteryPercent").empty()) battery += (battery.empty() ? "" : ", ") + study.Text("batteryPercent") + " %";
    std::string source = study.Text("source");
    if (!study.Text("port").empty()) source += (source.empty() ? "" : " on ") + study.Text("port");
    const std::string period = study.Text("periodMinutes");
    const std::pair<const char*, std::string> lines[] = {
        {"Lane / direction", orDash(study.Text("lane"))},
        {"Posted speed limit", limit.IsNull() ? "none given" : Figure(limit) + " " + speedUnit},
        {"Operator", orDash(study.Text("operator"))},
        {"Counter", counter},
        {"Battery", orDash(battery)},
        {"Read by", orDash(source)},
        {"Study begins", orDash(MinuteWithWeekday(study.Text("begin")))},
        {"Study ends", orDash(MinuteWithWeekday(study.Text("end")))},
        {"Periods", period.empty() ? "-" : period + " min"},
        {"Units", "speeds in " + speedUnit + ", lengths in " + lengthUnit},
        {"Times", "the counter's local time"},
        {"Vehicles", Figure(At(document, {"vehicles", "both"})) + " (forward " +
                         Figure(At(document, {"vehicles", "forward"})) + ", reverse " +
                         Figure(At(document, {"vehicles", "reverse"})) + ")"},
    };
    out += "<dl class=\"study-lines\">\n";
    for (const auto& [label, text] : lines) out += "<div><dt>" + HtmlText(label) + "</dt><dd>" + HtmlText(text) + "</dd></div>\n";
    out += "</dl>\n";

    std::vector<std::pair<std::string, std::string>> notes;
    if (At(document, {"note"}).IsString()) notes.emplace_back("No vehicles", At(document, {"note"}).AsString() + ".");
    const int64_t forward = Count(At(document, {"vehicles", "forward", "value"}));
    const int64_t reverse = Count(At(document, {"vehicles", "reverse", "value"}));
    if ((forward == 0) != (reverse == 0)) {
        const char* one = forward != 0 ? "forward" : "reverse";
        const char* other = forward != 0 ? "reverse" : "forward";
        notes.emplace_back("One direction only", std::string("every vehicle was counted ") + one + "; the " + other +
                                                     " columns stay empty.");
    }
    if (Count(At(document, {"speed", "both", "with_speed", "value"})) == 0 && !At(document, {"note"}).IsString())
        notes.emplace_back("No speeds", "no vehicle of this study has a speed, so there is no speed study.");
    if (limit.IsNull())
        notes.emplace_back("No posted limit", "the study names no speed limit, so no share over the limit is given.");
    if (At(document, {"volume", "average_daily_traffic"}).IsNull())
        notes.emplace_back("No whole day", At(document, {"volume", "average_daily_traffic_note"}).AsString() + ".");
    if (const int64_t untimed = Count(At(document, {"vehicles", "without_time_stamp", "value"})); untimed != 0)
        notes.emplace_back("Vehicles without a time stamp",
                           GroupedCount(untimed) + (untimed == 1 ? " vehicle has" : " vehicles have") +
                               " no time stamp: counted in the speed study and the length classes, left out of the "
                               "volumes, peak hours and headways.");
    if (!notes.empty()) {
        out += "<ul class=\"notes\">\n";
        for (const auto& [title, text] : notes) out += "<li><strong>" + HtmlText(title) + ":</strong> " + HtmlText(text) + "</li>\n";
        out += "</ul>\n";
    }
    out += "<nav class=\"contents\"><a href=\"#speeds\">Speeds</a> <a href=\"#volumes\">Volumes</a> "
           "<a href=\"#days\">Days and peak hours</a> <a href=\"#headways\">Headways and lengths</a></nav>\n";
    out += "</header>\n";
}

void WriteSummary(std::string& out, const Value& document) {
    const std::string unit = At(document, {"units", "speed"}).AsString();
    const Value& speed = At(document, {"speed"});
    out += "<section id=\"summary\" class=\"report-section\">\n";
    Heading(out, "h2", "Speed study (" + unit + ")");
    Paragraph(out, "note", "Percentiles by " + At(speed, {"percentile_method"}).AsString() +
                               "; vehicles without a speed are left out.");
    Table table{"figures speed-study", {{"", "forward", "reverse", "both"}}, {{}}, 1};
    std::vector<Row>& rows = table.groups[0];
    auto add = [&rows, &speed](const std::string& label, auto cell) {
        Row row{{label}};
        for (const char* direction : kDirections) row.cells.push_back(cell(At(speed, {direction})));
        rows.push_back(std::move(row));
    };
    add("Vehicles with a speed", [](const Value& d) { return Figure(At(d, {"with_speed"})); });
    const std::pair<const char*, const char*> statistics[] = {{"mean", "Mean"},
                                                              {"p15", "15th percentile"},
                                                              {"median", "Median, 50th percentile"},
                                                              {"p85", "85th percentile"},
                                                              {"highest", "Highest speed"}};
    for (const auto& [key, label] : statistics) {
        const int digits = std::string_view(key) == "mean" ? 1 : -1;
        add(std::string(label) + " (" + unit + ")", [key = key, digits](const Value& d) { return Figure(At(d, {key}), digits); });
    }
    add("10-" + unit + " pace (" + unit + ")", [](const Value& d) {
        const Value& pace = At(d, {"pace"});
        return pace.IsNull() ? std::string("-") : Figure(At(pace, {"from"})) + "-" + Figure(At(pace, {"to"}));
    });
    add("Vehicles in the pace", [](const Value& d) {
        const Value& pace = At(d, {"pace"});
        return pace.IsNull() ? std::string("-") : CountAndShare(At(pace, {"vehicles", "value"}), At(pace, {"share"}));
    });
    const Value& limit = At(speed, {"posted_limit"});
    if (limit.IsNull()) {
        rows.push_back({{"Over the posted limit", "no posted limit", "no posted limit", "no posted limit"}});
    } else {
        for (size_t i = 0; i < 4; ++i) {
            const int64_t extra = static_cast<int64_t>(i) * 5;
            const std::string above = GroupedCount(Count(At(limit, {"value"})) + extra) + " " + unit;
            add(extra == 0 ? "Over the limit (" + above + ")" : "Over limit + " + std::to_string(extra) + " (" + above + ")",
                [i](const Value& d) {
                    const Value& over = At(d, {"over_limit"});
                    if (!over.IsArray() || over.Items().size() <= i) return std::string("-");
                    return CountAndShare(At(over.Items()[i], {"vehicles", "value"}), At(over.Items()[i], {"share"}));
                });
        }
    }
    WriteTable(out, table);

    const Value& volume = At(document, {"volume"});
    const Value& adt = At(volume, {"average_daily_traffic"});
    Heading(out, "h2", "Volume summary");
    Table volumes{"figures volume-summary", {{"", "forward", "reverse", "both"}}, {{}}, 1};
    Row vehicles{{"Vehicles"}};
    for (const char* direction : kDirections) vehicles.cells.push_back(Figure(At(document, {"vehicles", direction})));
    volumes.groups[0].push_back(vehicles);
    const bool any = Count(At(document, {"vehicles", "both", "value"})) != 0;
    volumes.groups[0].push_back({{"Directional split", Share(At(volume, {"split", "forward"})),
                                  Share(At(volume, {"split", "reverse"})), any ? "100 %" : "-"}});
    if (adt.IsNull()) {
        volumes.groups[0].push_back({{"Average daily traffic", "no whole day", "", ""}});
    } else {
        const int64_t days = Count(At(adt, {"whole_days"}));
        Row row{{"Average daily traffic (" + GroupedCount(days) + (days == 1 ? " whole day)" : " whole days)")}};
        for (const char* direction : kDirections) row.cells.push_back(Figure(At(adt, {direction}), 0));
        volumes.groups[0].push_back(row);
    }
    WriteTable(out, volumes);
    out += "</section>\n";
}

void WriteSpeeds(std::string& out, const Value& document) {
    const std::string unit = At(document, {"units", "speed"}).AsString();
    const std::string lengthUnit = At(document, {"units", "length"}).AsString();
    out += "<section id=\"speeds\" class=\"report-section\">\n";
    Heading(out, "h2", "Speeds");
    const bool speeds = Count(At(document, {"speed", "both", "with_speed", "value"})) != 0;
    Chart(out, "chart-speeds", "tall", "Speeds, stacked by direction",
          speeds ? "Pace and percentiles are those of both directions together; the red line is the posted limit." : "",
          speeds ? "" : "No vehicle has a speed: there is no speed histogram.");

    const Value& bins = At(document, {"bins"});
    Heading(out, "h3", "Vehicles by speed (" + unit + ", rows) and length (" + lengthUnit + ", columns)");
    std::string note = "From the periodic records.";
    const Value& longs = At(document, {"long_vehicles"});
    const bool binned = At(longs, {"share", "value"}).IsNumber();
    if (binned && !At(longs, {"at_least"}).IsNull()) {
        note += " Long vehicles (" + Figure(At(longs, {"at_least"})) + " " + lengthUnit + " and longer): " +
                Figure(At(longs, {"vehicles"})) + ", " + Share(At(longs, {"share"})) + " of the binned vehicles.";
    }
    Paragraph(out, "note", note);
    const Value& periods = At(document, {"periods", "rows"});
    if (!periods.IsArray() || periods.Items().empty()) {
        Paragraph(out, "empty", "No periodic records: there is no table by speed and length.");
    } else if (!binned) {
        Paragraph(out, "empty", "The periodic records bin no vehicle by speed and length.");
    } else {
        Table table{"figures bins", {{"speed \\ length"}}, {{}}, 1};
        for (const Value& label : At(bins, {"length_classes"}).Items()) table.head[0].push_back(label.AsString());
        table.head[0].push_back("total");
        const auto& labels = At(bins, {"speed_classes"}).Items();
        const auto& counts = At(bins, {"counts"}).Items();
        const auto& totals = At(bins, {"row_totals"}).Items();
        int64_t all = 0;
        for (size_t r = 0; r < labels.size() && r < counts.size() && r < totals.size(); ++r) {
            Row row{{labels[r].AsString()}};
            for (const Value& n : counts[r].Items()) row.cells.push_back(Number(n));
            row.cells.push_back(Number(totals[r]));
            all += Count(totals[r]);
            table.groups[0].push_back(std::move(row));
        }
        Row total{{"total"}, true};
        for (const Value& n : At(bins, {"column_totals"}).Items()) total.cells.push_back(Number(n));
        total.cells.push_back(GroupedCount(all));
        table.groups[0].push_back(std::move(total));
        WriteTable(out, table);
    }
    out += "</section>\n";
}

void WriteVolumes(std::string& out, const Value& document) {
    out += "<section id=\"volumes\" class=\"report-section\">\n";
    Heading(out, "h2", "Volumes");
    // A chart of nothing but zeros reads as a fault: a line says so instead.
    int64_t timed = 0;
    for (const Value& hour : At(document, {"volume", "hours", "rows"}).Items()) timed += Count(At(hour, {"both"}));
    const char* untimed = "No vehicle with a time stamp: there is no volume to draw.";
    Chart(out, "chart-hours", "short", "Vehicles per hour, by direction", "", timed != 0 ? "" : untimed);
    const Value& minutes = At(document, {"periods", "minutes"});
    const std::string length = minutes.IsArray() && !minutes.Items().empty() ? Number(minutes.Items()[0]) + "-minute" : "";
    bool timedPeriods = false;
    int64_t counted = 0;
    for (const Value& row : At(document, {"periods", "rows"}).Items()) {
        if (row.Text("end").empty()) continue;
        timedPeriods = true;
        counted += Count(At(row, {"forward"})) + Count(At(row, {"reverse"}));
    }
    Chart(out, "chart-periods", "short",
          "Vehicles per " + (length.empty() ? std::string("period") : length + " period") + ", stacked by direction",
          counted != 0 ? "From the periodic records." : "",
          !timedPeriods ? "No periodic records: there are no volumes per period."
          : counted == 0 ? "The periodic records count no vehicle."
                         : "");
    const Value& days = At(document, {"volume", "days", "rows"});
    bool partDays = false;
    for (const Value& day : days.Items()) partDays = partDays || !(At(day, {"whole"}).IsBool() && At(day, {"whole"}).AsBool());
    Chart(out, "chart-days", "short", "Vehicles per day, by direction",
          timed != 0 && partDays ? "Pale bars mark days the study covers only in part." : "", timed != 0 ? "" : untimed);
    out += "</section>\n";
}

std::vector<std::string> PeakCells(const Value& peak) {
    if (!peak.IsObject()) return {"-", "-", "-"};
    const std::string from = peak.Text("from"), to = peak.Text("to");
    return {from.substr(from.size() < 11 ? from.size() : 11) + "-" + to.substr(to.size() < 11 ? to.size() : 11),
            Figure(At(peak, {"volume"})), Figure(At(peak, {"peak_hour_factor"}), 2)};
}

void WriteDaysAndPeaks(std::string& out, const Value& document) {
    const Value& volume = At(document, {"volume"});
    out += "<section id=\"days\" class=\"report-section\">\n";
    Heading(out, "h2", "Vehicles per day");
    Table days{"figures days", {{"day", "forward", "reverse", "both"}}, {{}}, 1};
    for (const Value& day : At(volume, {"days", "rows"}).Items()) {
        Row row{{DayWithWeekday(day.Text("day")) + (At(day, {"whole"}).IsBool() && At(day, {"whole"}).AsBool() ? "" : " (part)")}};
        for (const char* direction : kDirections) row.cells.push_back(Number(At(day, {direction})));
        days.groups[0].push_back(std::move(row));
    }
    const Value& adt = At(volume, {"average_daily_traffic"});
    if (adt.IsNull()) {
        days.groups.push_back({{{"Average daily traffic", "no whole day", "", ""}, true}});
    } else {
        const int64_t whole = Count(At(adt, {"whole_days"}));
        Row row{{"Average daily traffic (" + GroupedCount(whole) + (whole == 1 ? " whole day)" : " whole days)")}, true};
        for (const char* direction : kDirections) row.cells.push_back(Figure(At(adt, {direction}), 0));
        days.groups.push_back({row});
    }
    WriteTable(out, days);

    Heading(out, "h2", "Peak hours, both directions");
    Paragraph(out, "note",
              "Peak hour factor (PHF) = peak-hour volume / (4 x the busiest 15 minutes in that hour). Clock hours start "
              "on the hour; the busiest 60 minutes are four successive quarter hours counted from the vehicles' time "
              "stamps. Only hours wholly inside the study and the day are taken.");
    Table peaks{"figures peaks",
                {{"", "", "3|clock hour", "3|busiest 60 minutes"},
                 {"day", "peak", "time", "vehicles", "PHF", "time", "vehicles", "PHF"}},
                {},
                2};
    const std::pair<const char*, const char*> kinds[] = {{"am", "AM (before noon)"}, {"pm", "PM (from noon)"}, {"whole_day", "whole day"}};
    for (const Value& entry : At(volume, {"peak_hours"}).Items()) {
        std::vector<Row> group;
        for (const auto& [key, name] : kinds) {
            Row row{{group.empty() ? DayWithWeekday(entry.Text("day")) : "", name}};
            for (const char* window : {"clock_hour", "busiest_60_minutes"}) {
                for (std::string& cell : PeakCells(At(entry, {key, window}))) row.cells.push_back(std::move(cell));
            }
            group.push_back(std::move(row));
        }
        peaks.groups.push_back(std::move(group));
    }
    if (peaks.groups.empty()) {
        Paragraph(out, "empty", "No vehicle has a time stamp: there are no peak hours.");
    } else {
        WriteTable(out, peaks);
    }
    out += "</section>\n";
}

void WriteHeadwaysAndLengths(std::string& out, const Value& document) {
    out += "<section id=\"headways\" class=\"report-section\">\n";
    Heading(out, "h2", "Headways between successive vehicles in the same direction");
    Paragraph(out, "note",
              "From the vehicles' time stamps, which hold whole seconds: a headway under 1 s means two vehicles stamped "
              "in the same second.");
    const Value& headways = At(document, {"headways"});
    Table table{"figures headways", {{"headway", "forward", "reverse", "both"}}, {{}}, 1};
    for (const Value& band : At(headways, {"bands"}).Items()) {
        Row row{{band.Text("band")}};
        for (const std::string direction : kDirections)
            row.cells.push_back(CountAndShare(At(band, {direction}), At(band, {direction + "_share"})));
        table.groups[0].push_back(std::move(row));
    }
    Row all{{"all headways"}, true};
    for (const char* direction : kDirections) all.cells.push_back(Number(At(headways, {"total", direction})));
    table.groups[0].push_back(std::move(all));
    WriteTable(out, table);

    const Value& lengths = At(document, {"length_classes"});
    out += "<div id=\"lengths\">\n";
    Heading(out, "h2", "Vehicles per length class (" + At(lengths, {"length_unit"}).AsString() + ")");
    Paragraph(out, "note",
              "Shares are of the classified vehicles of each direction; vehicles without a length or left unclassified "
              "by the counter are counted apart.");
    Table classes{"figures lengths", {{"length class", "forward", "reverse", "both"}}, {{}}, 1};
    for (const Value& row : At(lengths, {"rows"}).Items()) {
        Row cells{{row.Text("length_class")}};
        for (const std::string direction : kDirections)
            cells.cells.push_back(CountAndShare(At(row, {direction}), At(row, {direction + "_share"})));
        classes.groups[0].push_back(std::move(cells));
    }
    for (const auto& [key, label] : {std::pair{"classified", "classified"}, std::pair{"not_classified", "not classified"}}) {
        Row row{{label}, true};
        for (const char* direction : kDirections) row.cells.push_back(Number(At(lengths, {key, direction})));
        classes.groups[0].push_back(std::move(row));
    }
    WriteTable(out, classes);
    out += "</div>\n</section>\n";
}

}  // namespace

std::string ReportHtml(const json::Value& document) {
    const std::string data = ScriptJson(json::Write(document, 0));
    const std::string place = Place(At(document, {"study"}));
    std::string out;
    out.reserve(data.size() + kChartLibrary.size() + kPageScript.size() + kPageStyle.size() + 65536);
    out += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           "<meta name=\"generator\" content=\"tallyx report\">\n<title>";
    out += HtmlText(place == "Traffic study" ? place : place + ": traffic study");
    out += "</title>\n<style>\n";
    out += kPageStyle;
    out += "</style>\n</head>\n<body>\n<main class=\"sheet\">\n";
    WriteHeader(out, document);
    WriteSummary(out, document);
    WriteSpeeds(out, document);
    WriteVolumes(out, document);
    WriteDaysAndPeaks(out, document);
    WriteHeadwaysAndLengths(out, document);
    out += "</main>\n";
    // The figures as report.json holds them, for the charts; "<" is escaped in it, so that nothing ends the element.
    out += "<script type=\"application/json\" id=\"report-data\">" + data + "</script>\n<script>\n";
    out += kChartLibrary;
    out += "\n</script>\n<script>\n";
    out += kPageScript;
    out += "</script>\n</body>\n</html>\n";
    return out;
}

}  // namespace tallyx::report
