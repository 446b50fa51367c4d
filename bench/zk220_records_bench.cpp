// Model B at full size: one million raw 8-byte records over a 30-day study,
// decoded into vehicles, then walked as sequential and periodic CSV lines the
// way a caller pulls them through GetFirstValue/GetNextValue.
//
// The peak resident memory is the process's high-water mark, so it speaks for
// this pipeline when the benchmark runs alone:
//   build/bench/tallyx_bench --benchmark_filter=ZK220
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdint>
#include <random>
#include <vector>

#include "support/values_host.h"
#include "drivers/modelb/zk220_values.h"

namespace {

using namespace tallyx;

constexpr uint32_t kRecords = 1'000'000;
constexpr uint32_t kStudySeconds = 30 * 86400;

class ZK220BenchDriver : public test::ValuesHost<ZK220Values> {
public:
    ZK220BenchDriver() {
        store.Set(PROPERTY_STUDY_BEGINDATETIME, "2009-03-01 00:00:00.000", false);
        store.Set(PROPERTY_STUDY_ENDDATETIME, "2009-03-31 00:00:00.000", false);
        store.Set(PROPERTY_STUDY_PERIODTIME, "15", false);
        store.Set(PROPERTY_STUDY_SPEEDBINS, "20 30 40 50 60 70", false);
        store.Set(PROPERTY_STUDY_LENGTHBINS, "20 40 60", false);
    }
};

// Vehicles spread evenly over the study with random gaps, both directions,
// speeds and lengths with tenths (some in hundredths), a few unclassified or
// stopped, and noise in the top flag bits.
std::vector<uint8_t> RawStudy() {
    std::mt19937 random(20090301);
    std::uniform_int_distribution<uint32_t> percent(0, 99);
    std::uniform_int_distribution<uint32_t> whole(15, 80);
    std::uniform_int_distribution<uint32_t> tenths(0, 9);
    std::uniform_int_distribution<uint32_t> length(8, 70);
    std::vector<uint8_t> data;
    data.reserve(size_t{kRecords} * kZK220RecordSize);
    for (uint32_t i = 0; i < kRecords; ++i) {
        const uint32_t offset = static_cast<uint32_t>(uint64_t{i} * kStudySeconds / kRecords);
        const uint32_t roll = percent(random);
        uint8_t flags = roll < 55 ? kZK220Forward : kZK220Reverse;
        if (roll % 20 == 3) flags |= kZK220Unclassified;
        if (roll % 25 == 7) flags |= 0xA0;
        const bool stopped = roll == 42;
        const bool hundredths = roll % 10 == 1;
        data.push_back(flags);
        data.push_back(static_cast<uint8_t>(offset >> 16));
        data.push_back(static_cast<uint8_t>(offset >> 8));
        data.push_back(static_cast<uint8_t>(offset));
        data.push_back(static_cast<uint8_t>(stopped ? 0 : whole(random)));
        data.push_back(static_cast<uint8_t>(stopped ? 0 : hundredths ? tenths(random) * 10 + 5 : tenths(random)));
        data.push_back(static_cast<uint8_t>(length(random)));
        data.push_back(static_cast<uint8_t>(tenths(random)));
    }
    return data;
}

// Every line of one kind through the export; the number of lines.
uint64_t Walk(ZK220BenchDriver& driver, const char* kind) {
    char line[1024];
    uint64_t lines = 0;
    for (int32_t result = driver.FirstValue(kind, "GETVALUE_FORMAT_CSV", line, sizeof line); result == 0;
         result = driver.NextValue(line, sizeof line)) {
        benchmark::DoNotOptimize(line);
        ++lines;
    }
    return lines;
}

double PeakResidentMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

void ReportMemory(benchmark::State& state, size_t rawBytes) {
    state.counters["peak_rss_MB"] = PeakResidentMegabytes();
    state.counters["target_MB"] = 3.0 * static_cast<double>(rawBytes) / (1024.0 * 1024.0) + 16.0;
}

// The whole pipeline: decode, then both walks. Target: under 0.5 s.
void BM_ZK220_DecodeAndBothCsvWalks(benchmark::State& state) {
    const std::vector<uint8_t> raw = RawStudy();
    ZK220BenchDriver driver;
    uint64_t periods = 0;
    for (auto _ : state) {
        driver.Values().Clear();
        if (driver.Values().DecodeSequential(raw.data(), static_cast<uint32_t>(raw.size())) != 0) {
            state.SkipWithError("decoding failed");
            break;
        }
        benchmark::DoNotOptimize(Walk(driver, "GETVALUE_DATA_SEQUENTIAL"));
        periods = Walk(driver, "GETVALUE_DATA_PERIODIC") - 1;
    }
    state.counters["periods"] = static_cast<double>(periods);
    state.SetItemsProcessed(state.iterations() * kRecords);
    ReportMemory(state, raw.size());
}
BENCHMARK(BM_ZK220_DecodeAndBothCsvWalks)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The three steps on their own.
void BM_ZK220_Decode(benchmark::State& state) {
    const std::vector<uint8_t> raw = RawStudy();
    ZK220BenchDriver driver;
    for (auto _ : state) {
        driver.Values().Clear();
        driver.Values().DecodeSequential(raw.data(), static_cast<uint32_t>(raw.size()));
        benchmark::DoNotOptimize(driver.Values().SequentialRecords());
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_ZK220_Decode)->Unit(benchmark::kMillisecond);

void BM_ZK220_WalkCsv(benchmark::State& state, const char* kind) {
    const std::vector<uint8_t> raw = RawStudy();
    ZK220BenchDriver driver;
    driver.Values().DecodeSequential(raw.data(), static_cast<uint32_t>(raw.size()));
    for (auto _ : state) benchmark::DoNotOptimize(Walk(driver, kind));
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK_CAPTURE(BM_ZK220_WalkCsv, Sequential, "GETVALUE_DATA_SEQUENTIAL")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ZK220_WalkCsv, Periodic, "GETVALUE_DATA_PERIODIC")->Unit(benchmark::kMillisecond);

}  // namespace
