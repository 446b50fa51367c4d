// The count archive with a study of a million vehicles and with ten thousand studies:
// archiving the study (target 3 s) and what it takes on disk (target 32 bytes a vehicle),
// listing ten thousand studies (target 100 ms), and the report of the archived study, loaded
// from the archive (target 1.5 s).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "archive/archive.h"
#include "report/report_html.h"
#include "report/report_json.h"
#include "report/study_figures.h"

namespace {

namespace fs = std::filesystem;
using namespace tallyx;

constexpr int kVehicles = 1'000'000;
constexpr int kStudies = 10'000;

// A model B study of 28 days as tallyx read gives it: a vehicle every 2.4 s, 15-minute periods.
study::Study MillionVehicleStudy() {
    study::Study s;
    s.SetSetting(study::SettingKey::kSerialNumber, "B2048-0117");
    s.SetSetting(study::SettingKey::kUnitType, "ZK220");
    s.SetSetting(study::SettingKey::kBegin, "2026-10-05 00:00:00.000");
    s.SetSetting(study::SettingKey::kEnd, "2026-11-02 00:00:00.000");
    s.SetSetting(study::SettingKey::kPeriodMinutes, "15");
    s.SetSetting(study::SettingKey::kSpeedBins, "20 30 40 50 60");
    s.SetSetting(study::SettingKey::kLengthBins, "20 40 60");
    s.SetSetting(study::SettingKey::kSpeedLimit, "45");
    const uint16_t forward = *s.DescriptionIndex("FORWARD"), reverse = *s.DescriptionIndex("REVERSE");
    const int64_t begin = *s.Begin();
    for (int i = 0; i < kVehicles; ++i) {
        study::Vehicle v;
        v.time = begin + int64_t{i} * 2419;
        v.flags = i % 9 < 4 ? 2 : 1;
        v.description = i % 9 < 4 ? reverse : forward;
        v.speed = static_cast<uint16_t>(25 + (int64_t{i} * 7919) % 45);
        v.length = static_cast<uint16_t>(12 + (int64_t{i} * 104729) % 40);
        s.vehicles.push_back(v);
    }
    s.binRows = 6;
    s.binColumns = 4;
    for (int p = 0; p < 28 * 96; ++p) {
        study::Period period;
        period.end = begin + int64_t{p + 1} * 900000;
        period.count = 372;
        period.reverseCount = 165;
        s.periods.push_back(period);
        for (int c = 0; c < 24; ++c) s.bins.push_back(static_cast<uint32_t>(c * 3));
    }
    return s;
}

const study::Study& TheStudy() {
    static const study::Study s = MillionVehicleStudy();
    return s;
}

std::string Scratch(const char* name) {
    const fs::path path = fs::temp_directory_path() / name;
    std::error_code ignored;
    fs::remove_all(path, ignored);
    fs::create_directories(path);
    return (path / "archive.sqlite").string();
}

std::unique_ptr<archive::Archive> Open(const std::string& path) {
    std::string error;
    archive::DatabaseFault fault;
    auto store = archive::Archive::Open(path, error, fault);
    if (!store) std::fprintf(stderr, "%s\n", error.c_str());
    return store;
}

void BM_Archive_ImportMillionVehicles(benchmark::State& state) {
    const study::Study& s = TheStudy();
    double bytesPerVehicle = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string path = Scratch("tallyx_archive_bench_import");
        auto store = Open(path);
        state.ResumeTiming();
        int64_t id = 0;
        archive::AddOutcome outcome;
        std::string error;
        if (!store->Add(s, archive::ReadFacts{"2026-11-02 09:00:00", "bench", std::nullopt}, id, outcome, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        state.PauseTiming();
        store.reset();  // the last connection folds the write-ahead log into the file
        bytesPerVehicle = static_cast<double>(fs::file_size(path)) / kVehicles;
        state.ResumeTiming();
    }
    state.counters["bytes_per_vehicle"] = bytesPerVehicle;
    state.counters["target_bytes_per_vehicle"] = 32;
}
BENCHMARK(BM_Archive_ImportMillionVehicles)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_Archive_ReportOfArchivedMillion(benchmark::State& state) {
    const std::string path = Scratch("tallyx_archive_bench_report");
    {
        auto store = Open(path);
        int64_t id = 0;
        archive::AddOutcome outcome;
        std::string error;
        store->Add(TheStudy(), archive::ReadFacts{"2026-11-02 09:00:00", "bench", std::nullopt}, id, outcome, error);
    }
    auto store = Open(path);
    size_t bytes = 0;
    for (auto _ : state) {
        study::Study s;
        std::string error;
        if (!store->Load(1, s, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        const json::Value document = report::ReportDocument(s, report::ComputeFigures(s));
        bytes = report::ReportJsonText(document).size() + report::ReportHtml(document).size();
    }
    state.counters["report_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_Archive_ReportOfArchivedMillion)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_Archive_ListTenThousandStudies(benchmark::State& state) {
    const std::string path = Scratch("tallyx_archive_bench_list");
    {
        // One study archived as the program does, then copied to ten thousand rows in one go.
        auto store = Open(path);
        study::Study s;
        s.SetSetting(study::SettingKey::kSerialNumber, "A1024-0042");
        s.SetSetting(study::SettingKey::kBegin, "2026-01-01 00:00:00.000");
        s.SetSetting(study::SettingKey::kEnd, "2026-01-08 00:00:00.000");
        s.SetSetting(study::SettingKey::kCity, "Springfield");
        int64_t id = 0;
        archive::AddOutcome outcome;
        std::string error;
        store->Add(s, archive::ReadFacts{"2026-01-08 09:00:00", "bench", std::nullopt}, id, outcome, error);
        store.reset();
        archive::Database db;
        db.Open(path, false, error);
        db.Exec("BEGIN", error);
        for (int i = 2; i <= kStudies; ++i) {
            db.Exec("INSERT INTO studies (counter_id, site_id, begin_time, end_time, read_at, program, archived_at, "
                    "folder_form, port, metric, digest, vehicle_count, period_count, bin_rows, bin_columns, has_period_file, "
                    "time_base_ms) SELECT counter_id, site_id, printf('2026-%02d-%02d 00:00:00.000', " +
                        std::to_string(i % 12 + 1) + ", " + std::to_string(i % 28 + 1) +
                        "), end_time, read_at, program, archived_at, folder_form, port, metric, digest || '" +
                        std::to_string(i) +
                        "', vehicle_count, period_count, bin_rows, bin_columns, has_period_file, time_base_ms FROM studies "
                        "WHERE id = 1",
                    error);
        }
        db.Exec("COMMIT", error);
    }
    auto store = Open(path);
    size_t listed = 0;
    for (auto _ : state) {
        std::string error;
        listed = store->List({}, error).size();
    }
    state.counters["studies"] = static_cast<double>(listed);
}
BENCHMARK(BM_Archive_ListTenThousandStudies)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();

}  // namespace
