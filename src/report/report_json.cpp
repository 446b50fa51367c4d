#include "report/report_json.h"

namespace tallyx::report {

namespace {

using json::Value;

constexpr int64_t kHour = 3600;

Value Integer(uint64_t n) { return Value::Integer(static_cast<int64_t>(n)); }

// A figure with its unit.
Value Q(Value value, const char* unit) {
    Value figure = Value::Object();
    figure.Set("value", std::move(value));
    figure.Set("unit", Value::String(unit));
    return figure;
}
Value Q(uint64_t n, const char* unit) { return Q(Integer(n), unit); }
Value QSigned(int64_t n, const char* unit) { return Q(Value::Integer(n), unit); }

// A share in percent with one decimal, null when there is nothing to share.
Value Share(uint64_t part, uint64_t whole) {
    return Q(whole == 0 ? Value() : Value::Number(RoundTo(100.0 * static_cast<double>(part) / static_cast<double>(whole), 1)), "%");
}

std::string Minute(int64_t seconds) { return study::FormatMinute(seconds * 1000); }

void AddSplit(Value& object, uint64_t forward, uint64_t reverse) {
    object.Set("forward", Integer(forward));
    object.Set("reverse", Integer(reverse));
    object.Set("both", Integer(forward + reverse));
}

Value Split(uint64_t forward, uint64_t reverse) {
    Value split = Value::Object();
    AddSplit(split, forward, reverse);
    return split;
}

Value SpeedStudyJson(const SpeedStudy& s, const std::optional<int64_t>& limit, const char* unit) {
    Value result = Value::Object();
    result.Set("with_speed", Q(s.withSpeed, "vehicles"));
    if (s.withSpeed == 0) {
        result.Set("note", Value::String("no vehicle with a speed"));
        return result;
    }
    result.Set("mean", Q(Value::Number(RoundTo(s.Mean(), 2)), unit));
    result.Set("p15", Q(s.p15, unit));
    result.Set("median", Q(s.median, unit));
    result.Set("p85", Q(s.p85, unit));
    result.Set("highest", Q(s.highest, unit));
    Value pace = Value::Object();
    pace.Set("from", Q(s.paceFrom, unit));
    pace.Set("to", Q(uint64_t{s.paceFrom} + 9, unit));
    pace.Set("vehicles", Q(s.inPace, "vehicles"));
    pace.Set("share", Share(s.inPace, s.withSpeed));
    result.Set("pace", std::move(pace));
    if (!limit) {
        result.Set("over_limit", Value());
        result.Set("limit_note", Value::String("no posted limit"));
        return result;
    }
    Value over = Value::Array();
    for (size_t i = 0; i < 4; ++i) {
        Value step = Value::Object();
        step.Set("above", QSigned(*limit + kOverLimitSteps[i], unit));
        step.Set("vehicles", Q(s.over[i], "vehicles"));
        step.Set("share", Share(s.over[i], s.withSpeed));
        over.Add(std::move(step));
    }
    result.Set("over_limit", std::move(over));
    return result;
}

Value SpeedJson(const study::Study& study, const SpeedFigures& f) {
    const char* unit = study.SpeedUnit();
    Value result = Value::Object();
    result.Set("posted_limit", f.limit ? QSigned(*f.limit, unit) : Value());
    result.Set("percentile_method", Value::String(kPercentileMethod));
    for (int d = 0; d < 3; ++d) result.Set(kDirectionNames[d], SpeedStudyJson(f.studies[d], f.limit, unit));
    Value histogram = Value::Object();
    histogram.Set("speed_unit", Value::String(unit));
    histogram.Set("unit", Value::String("vehicles"));
    Value speeds = Value::Array();
    for (size_t i = 0; i < f.histogram[0].size(); ++i) speeds.Add(Integer(f.histogramFirst + i));
    histogram.Set("speeds", std::move(speeds));
    for (int d = 0; d < 2; ++d) {
        Value counts = Value::Array();
        for (const uint64_t n : f.histogram[d]) counts.Add(Integer(n));
        histogram.Set(kDirectionNames[d], std::move(counts));
    }
    result.Set("histogram", std::move(histogram));
    return result;
}

Value PeakJson(const std::optional<Peak>& peak, const char* kind) {
    if (!peak) return Value();
    Value result = Value::Object();
    result.Set("kind", Value::String(kind));
    result.Set("from", Value::String(Minute(peak->start)));
    result.Set("to", Value::String(Minute(peak->start + kHour)));
    result.Set("volume", Q(peak->volume, "vehicles per hour"));
    result.Set("busiest_15_minutes", Q(peak->busiestQuarter, "vehicles"));
    result.Set("peak_hour_factor",
               Q(peak->busiestQuarter == 0
                     ? Value()
                     : Value::Number(RoundTo(static_cast<double>(peak->volume) / (4.0 * static_cast<double>(peak->busiestQuarter)), 2)),
                 ""));
    return result;
}

Value VolumeJson(const VolumeFigures& f) {
    Value result = Value::Object();
    const uint64_t total = f.totals[0] + f.totals[1];
    result.Set("vehicles", Q(total, "vehicles"));
    Value split = Value::Object();
    split.Set("forward", Share(f.totals[0], total));
    split.Set("reverse", Share(f.totals[1], total));
    result.Set("split", std::move(split));
    Value hours = Value::Object();
    hours.Set("unit", Value::String("vehicles per hour"));
    Value hourRows = Value::Array();
    for (const HourCount& hour : f.hours) {
        Value row = Value::Object();
        row.Set("hour", Value::String(Minute(hour.start).substr(0, 13) + ":00"));
        AddSplit(row, hour.counts[0], hour.counts[1]);
        hourRows.Add(std::move(row));
    }
    hours.Set("rows", std::move(hourRows));
    result.Set("hours", std::move(hours));
    Value days = Value::Object();
    days.Set("unit", Value::String("vehicles per day"));
    Value dayRows = Value::Array();
    for (const DayCount& day : f.days) {
        Value row = Value::Object();
        row.Set("day", Value::String(study::FormatDay(day.start * 1000)));
        row.Set("whole", Value::Bool(day.whole));
        AddSplit(row, day.counts[0], day.counts[1]);
        dayRows.Add(std::move(row));
    }
    days.Set("rows", std::move(dayRows));
    result.Set("days", std::move(days));
    if (f.wholeDays != 0) {
        Value adt = Value::Object();
        adt.Set("whole_days", Integer(f.wholeDays));
        const uint64_t sums[3] = {f.wholeDayTotals[0], f.wholeDayTotals[1], f.wholeDayTotals[0] + f.wholeDayTotals[1]};
        for (int d = 0; d < 3; ++d)
            adt.Set(kDirectionNames[d],
                    Q(Value::Number(RoundTo(static_cast<double>(sums[d]) / static_cast<double>(f.wholeDays), 1)),
                      "vehicles per day"));
        result.Set("average_daily_traffic", std::move(adt));
    } else {
        result.Set("average_daily_traffic", Value());
        result.Set("average_daily_traffic_note",
                   Value::String("the study holds no whole day, so there is no average daily traffic"));
    }
    Value peaks = Value::Array();
    for (const DayPeaks& day : f.peaks) {
        Value entry = Value::Object();
        entry.Set("day", Value::String(study::FormatDay(day.day * 1000)));
        for (int kind = 0; kind < 3; ++kind) {
            Value pair = Value::Object();
            pair.Set("clock_hour", PeakJson(day.peaks[kind][0], "clock hour"));
            pair.Set("busiest_60_minutes", PeakJson(day.peaks[kind][1], "busiest 60 minutes"));
            entry.Set(kPeakKindNames[kind], std::move(pair));
        }
        peaks.Add(std::move(entry));
    }
    result.Set("peak_hours", std::move(peaks));
    return result;
}

Value HeadwayJson(const HeadwayFigures& f) {
    Value result = Value::Object();
    result.Set("unit", Value::String("headways"));
    uint64_t totals[3] = {0, 0, 0};
    for (int d = 0; d < 3; ++d) {
        for (const uint64_t n : f.counts[d]) totals[d] += n;
    }
    Value bands = Value::Array();
    for (size_t i = 0; i < 6; ++i) {
        const int low = kHeadwayLows[i];
        const int high = i + 1 < 6 ? kHeadwayLows[i + 1] : -1;
        const std::string label = low == 0 ? "under " + std::to_string(high) + " s"
                                  : high > 0 ? std::to_string(low) + "-" + std::to_string(high) + " s"
                                             : std::to_string(low) + " s and more";
        Value band = Value::Object();
        band.Set("band", Value::String(label));
        band.Set("from", Q(static_cast<uint64_t>(low), "s"));
        band.Set("below", high > 0 ? Q(static_cast<uint64_t>(high), "s") : Value());
        for (int d = 0; d < 3; ++d) {
            band.Set(kDirectionNames[d], Integer(f.counts[d][i]));
            band.Set(std::string(kDirectionNames[d]) + "_share", Share(f.counts[d][i], totals[d]));
        }
        bands.Add(std::move(band));
    }
    result.Set("bands", std::move(bands));
    result.Set("time_resolution", Q(uint64_t{1}, "s"));
    Value total = Value::Object();
    for (int d = 0; d < 3; ++d) total.Set(kDirectionNames[d], Integer(totals[d]));
    result.Set("total", std::move(total));
    return result;
}

Value LengthJson(const study::Study& study, const LengthClassFigures& f) {
    Value result = Value::Object();
    result.Set("unit", Value::String("vehicles"));
    result.Set("length_unit", Value::String(study.LengthUnit()));
    Value limits = Value::Array();
    for (const int64_t limit : f.limits) limits.Add(Value::Integer(limit));
    result.Set("limits", std::move(limits));
    uint64_t totals[2] = {0, 0};
    for (const auto& counts : f.counts) {
        totals[0] += counts[0];
        totals[1] += counts[1];
    }
    const uint64_t directionTotals[3] = {totals[0], totals[1], totals[0] + totals[1]};
    const std::vector<std::string> labels = ClassLabels(f.limits, study.LengthUnit());
    Value rows = Value::Array();
    for (size_t i = 0; i < f.counts.size(); ++i) {
        Value row = Value::Object();
        row.Set("length_class", Value::String(labels[i]));
        const uint64_t counts[3] = {f.counts[i][0], f.counts[i][1], f.counts[i][0] + f.counts[i][1]};
        for (int d = 0; d < 3; ++d) row.Set(kDirectionNames[d], Integer(counts[d]));
        for (int d = 0; d < 3; ++d) row.Set(std::string(kDirectionNames[d]) + "_share", Share(counts[d], directionTotals[d]));
        rows.Add(std::move(row));
    }
    result.Set("rows", std::move(rows));
    result.Set("classified", Split(totals[0], totals[1]));
    result.Set("not_classified", Split(f.notClassified[0], f.notClassified[1]));
    return result;
}

void AddPeriodJson(const study::Study& study, const PeriodFigures& f, Value& out) {
    Value periods = Value::Object();
    periods.Set("unit", Value::String("vehicles per period"));
    Value minutes = Value::Array();
    if (f.minutes) minutes.Add(Value::Integer(*f.minutes));
    periods.Set("minutes", std::move(minutes));
    Value rows = Value::Array();
    for (const PeriodRow& period : f.rows) {
        Value row = Value::Object();
        row.Set("end", Value::String(period.end == study::kNoTime ? "" : study::FormatMinute(period.end)));
        row.Set("forward", Value::Integer(period.forward));
        row.Set("reverse", Value::Integer(period.reverse));
        rows.Add(std::move(row));
    }
    periods.Set("rows", std::move(rows));
    out.Set("periods", std::move(periods));

    Value bins = Value::Object();
    bins.Set("unit", Value::String("vehicles"));
    auto labels = [](const std::vector<std::string>& texts) {
        Value list = Value::Array();
        for (const std::string& text : texts) list.Add(Value::String(text));
        return list;
    };
    bins.Set("speed_classes", labels(ClassLabels(f.speedLimits, study.SpeedUnit())));
    bins.Set("length_classes", labels(ClassLabels(f.lengthLimits, study.LengthUnit())));
    Value counts = Value::Array(), rowTotals = Value::Array(), columnTotals = Value::Array();
    std::vector<uint64_t> columns(f.table.empty() ? 0 : f.table[0].size(), 0);
    uint64_t binned = 0, longVehicles = 0;
    for (const auto& tableRow : f.table) {
        Value row = Value::Array();
        uint64_t sum = 0;
        for (size_t c = 0; c < tableRow.size(); ++c) {
            row.Add(Integer(tableRow[c]));
            sum += tableRow[c];
            columns[c] += tableRow[c];
        }
        binned += sum;
        if (!f.lengthLimits.empty()) longVehicles += tableRow.back();
        counts.Add(std::move(row));
        rowTotals.Add(Integer(sum));
    }
    for (const uint64_t n : columns) columnTotals.Add(Integer(n));
    bins.Set("counts", std::move(counts));
    bins.Set("row_totals", std::move(rowTotals));
    bins.Set("column_totals", std::move(columnTotals));
    out.Set("bins", std::move(bins));

    Value longs = Value::Object();
    longs.Set("at_least", f.lengthLimits.empty() ? Value() : QSigned(f.lengthLimits.back(), study.LengthUnit()));
    longs.Set("vehicles", Q(longVehicles, "vehicles"));
    longs.Set("share", Share(longVehicles, binned));
    out.Set("long_vehicles", std::move(longs));
}

const char* SourceName(study::FolderForm form) {
    switch (form) {
        case study::FolderForm::kCsv: return "tallyx read (CSV)";
        case study::FolderForm::kXml: return "tallyx read (XML)";
        case study::FolderForm::kTallyread: return "tallyread";
    }
    return "";
}

}  // namespace

json::Value ReportDocument(const study::Study& study, const StudyFigures& figures) {
    Value document = Value::Object();
    document.Set("schema", Value::Integer(kReportSchema));
    Value settings = Value::Object();
    settings.Set("source", Value::String(SourceName(study.form)));
    settings.Set("port", Value::String(study.port));
    for (const study::SettingField& field : study::SettingFields())
        settings.Set(field.name, Value::String(study.Setting(field.key)));
    document.Set("study", std::move(settings));
    Value units = Value::Object();
    units.Set("speed", Value::String(study.SpeedUnit()));
    units.Set("length", Value::String(study.LengthUnit()));
    units.Set("time", Value::String("local time of the counter"));
    document.Set("units", std::move(units));
    Value vehicles = Value::Object();
    vehicles.Set("forward", Q(figures.vehicles[0], "vehicles"));
    vehicles.Set("reverse", Q(figures.vehicles[1], "vehicles"));
    vehicles.Set("both", Q(figures.vehicles[0] + figures.vehicles[1], "vehicles"));
    vehicles.Set("without_time_stamp", Q(figures.withoutTime, "vehicles"));
    document.Set("vehicles", std::move(vehicles));
    if (study.vehicles.empty()) document.Set("note", Value::String("the study holds no vehicles"));
    document.Set("speed", SpeedJson(study, figures.speed));
    document.Set("volume", VolumeJson(figures.volume));
    document.Set("headways", HeadwayJson(figures.headways));
    document.Set("length_classes", LengthJson(study, figures.lengths));
    AddPeriodJson(study, figures.periods, document);
    return document;
}

std::string ReportJsonText(const json::Value& document) { return json::Write(document, 1) + "\n"; }

}  // namespace tallyx::report
