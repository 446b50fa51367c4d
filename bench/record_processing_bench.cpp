// Record processing and CSV export over a full model A flash: 8176 pages of
// 42 vehicle records each.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <random>
#include <vector>

#include "support/values_host.h"
#include "comm/comm_log.h"
#include "drivers/modela/zk110_values.h"
#include "export/flag_names.h"
#include "properties/property_store.h"

namespace {

using namespace tallyx;

constexpr uint32_t kFullFlashRecords = 8176 * 42;  // 343,392

// Just enough of a driver to own the values and lend them the properties.
class BenchDriver : public test::ValuesHost<ZK110Values> {
public:
    BenchDriver() {
        store.Set(PROPERTY_STUDY_BEGINDATETIME, "2009-03-01 00:00:00.000", false);
        store.Set(PROPERTY_STUDY_ENDDATETIME, "2009-03-31 00:00:00.000", false);
        store.Set(PROPERTY_STUDY_PERIODTIME, "15", false);
        store.Set(PROPERTY_STUDY_SPEEDBINS, "20 30 40 50 60 70", false);
        store.Set(PROPERTY_STUDY_LENGTHBINS, "20 40 60", false);
        Values().SetDateEncoding(true);
    }
};

// Raw records of a study that fills the flash: vehicles a few seconds apart
// through 29 days, mostly plausible speeds and lengths, some stopped or
// unclassified vehicles and some readings the processing corrects. With
// halfInvalid every other record is erased flash.
std::vector<uint8_t> FullFlash(bool halfInvalid) {
    std::mt19937 random(20090301);
    std::uniform_int_distribution<uint32_t> gap(1, 12);
    std::uniform_int_distribution<uint32_t> speed(18, 80);
    std::uniform_int_distribution<uint32_t> length(8, 70);
    std::uniform_int_distribution<uint32_t> percent(0, 99);
    std::vector<uint8_t> data;
    data.reserve(static_cast<size_t>(kFullFlashRecords) * 6);
    uint32_t seconds = 0;  // from 2009-03-01 00:00:00
    for (uint32_t i = 0; i < kFullFlashRecords; ++i) {
        if (halfInvalid && i % 2 == 1) {
            data.insert(data.end(), 6, 0xFF);
            continue;
        }
        seconds += gap(random);
        const uint32_t day = 1 + seconds / 86400;
        const uint32_t hour = seconds / 3600 % 24;
        const uint32_t minute = seconds / 60 % 60;
        uint8_t flags = percent(random) < 60 ? kZK110Forward : kZK110Reverse;
        const uint32_t roll = percent(random);
        if (roll < 2) flags |= kZK110Stopped;
        else if (roll < 4) flags |= kZK110Unclassified;
        else if (roll < 6) flags |= kZK110NoLength;
        uint32_t vehicleSpeed = speed(random);
        uint32_t vehicleLength = length(random);
        if (roll == 7) vehicleSpeed = 2;     // too slow to measure
        if (roll == 8) vehicleLength = 150;  // implausibly long
        data.push_back(static_cast<uint8_t>(((day >> 2) << 5) | hour));
        data.push_back(static_cast<uint8_t>(((day & 3) << 6) | minute));
        data.push_back(static_cast<uint8_t>(seconds % 60));
        data.push_back(flags);
        data.push_back(static_cast<uint8_t>(vehicleSpeed));
        data.push_back(static_cast<uint8_t>(vehicleLength));
    }
    return data;
}

// A message log in a fresh folder, removed again afterwards.
class LogFolder {
public:
    LogFolder() {
        char name[] = "/tmp/tallyx_bench_XXXXXX";
        if (mkdtemp(name) != nullptr) path_ = name;
    }
    ~LogFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

void ProcessFullFlash(benchmark::State& state, bool halfInvalid, bool logged) {
    const std::vector<uint8_t> data = FullFlash(halfInvalid);
    LogFolder folder;
    BenchDriver driver;
    // With a log folder every removed or corrected record costs a warning line, as in a real read.
    if (logged) driver.Log().Configure(folder.Path().c_str(), 0);
    for (auto _ : state) {
        driver.Values().Clear();
        driver.Values().SetDateEncoding(true);
        if (driver.Values().DecodeSequential(data.data(), static_cast<uint32_t>(data.size())) != 0) {
            state.SkipWithError("processing failed");
            break;
        }
        benchmark::DoNotOptimize(driver.Values().SequentialRecords());
    }
    state.counters["kept"] = driver.Values().SequentialCount();
    state.SetItemsProcessed(state.iterations() * kFullFlashRecords);
    driver.Log().Close();
}

void BM_ProcessSequential_AllValid(benchmark::State& state) { ProcessFullFlash(state, false, false); }
void BM_ProcessSequential_HalfInvalid(benchmark::State& state) { ProcessFullFlash(state, true, false); }
void BM_ProcessSequential_AllValid_Logged(benchmark::State& state) { ProcessFullFlash(state, false, true); }
void BM_ProcessSequential_HalfInvalid_Logged(benchmark::State& state) { ProcessFullFlash(state, true, true); }
BENCHMARK(BM_ProcessSequential_AllValid)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProcessSequential_HalfInvalid)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProcessSequential_AllValid_Logged)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ProcessSequential_HalfInvalid_Logged)->Unit(benchmark::kMillisecond)->UseRealTime();

// The caller's side of the export: every sequential line through NextValue.
void BM_ExportCsv_NextValue(benchmark::State& state) {
    BenchDriver driver;
    const std::vector<uint8_t> data = FullFlash(false);
    driver.Values().DecodeSequential(data.data(), static_cast<uint32_t>(data.size()));
    char line[256];
    uint64_t lines = 0;
    for (auto _ : state) {
        int32_t result = driver.FirstValue("GETVALUE_DATA_SEQUENTIAL", "GETVALUE_FORMAT_CSV", line, sizeof line);
        while (result == 0) {
            benchmark::DoNotOptimize(line);
            ++lines;
            result = driver.NextValue(line, sizeof line);
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(lines));
}
BENCHMARK(BM_ExportCsv_NextValue)->Unit(benchmark::kMillisecond);

// The floor: the same lines written by one snprintf each, with the flag
// descriptions looked up ready-made.
void BM_ExportCsv_BareSnprintf(benchmark::State& state) {
    BenchDriver driver;
    const std::vector<uint8_t> data = FullFlash(false);
    driver.Values().DecodeSequential(data.data(), static_cast<uint32_t>(data.size()));
    const SequentialRecord* records = driver.Values().SequentialRecords();
    const uint32_t count = driver.Values().SequentialCount();
    std::vector<std::vector<char>> descriptions(65536);
    for (uint32_t i = 0; i < count; ++i) {
        std::vector<char>& text = descriptions[records[i].flags];
        if (!text.empty()) continue;
        text.resize(256);
        FormatFlagDescription(driver.Values().FlagNames(), records[i].flags, text.data(), 256);
    }
    char line[256];
    uint64_t lines = 0;
    for (auto _ : state) {
        std::snprintf(line, sizeof line, "%s,%s,%s,%s,%s", "TimeStamp", "Flag", "Flag Description", "Speed", "Length");
        benchmark::DoNotOptimize(line);
        ++lines;
        for (uint32_t i = 0; i < count; ++i) {
            const SequentialRecord& r = records[i];
            std::snprintf(line, sizeof line, "%d-%02d-%02d %02d:%02d:%02d.%03d,%d,%s,%lu,%lu", r.time.Year,
                          r.time.Month, r.time.Day, r.time.Hour, r.time.Minute, r.time.Second, r.time.Milliseconds,
                          r.flags, descriptions[r.flags].data(), static_cast<unsigned long>(r.speed),
                          static_cast<unsigned long>(r.length));
            benchmark::DoNotOptimize(line);
            ++lines;
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(lines));
}
BENCHMARK(BM_ExportCsv_BareSnprintf)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
