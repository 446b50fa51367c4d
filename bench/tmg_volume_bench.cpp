// tallyx tmg on a read of 1,000,000 vehicles over two weeks: reading and
// counting sequential.csv, and writing the hourly volume records of both
// directions, as the command does it (target: under 2 s).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "cli/tmg_command.h"

namespace {

namespace fs = std::filesystem;

constexpr int kVehicles = 1'000'000;

// A folder as tallyx read writes it, made once and removed at exit.
class MillionVehicleRead {
public:
    MillionVehicleRead() : path_(fs::temp_directory_path() / "tallyx_tmg_bench_read") {
        fs::create_directories(path_);
        std::ofstream(path_ / "settings.json")
            << "{\n  \"study\": {\n    \"begin\": \"2026-11-30 10:30:00.000\",\n    \"end\": "
               "\"2026-12-14 10:30:00.000\"\n  }\n}\n";
        std::ofstream csv(path_ / "sequential.csv", std::ios::binary);
        csv << "TimeStamp,Flag,Flag Description,Speed,Length\n";
        const long long spanSeconds = 14LL * 86400;
        char line[96];
        for (int i = 0; i < kVehicles; ++i) {
            const long long at = 10 * 3600 + 30 * 60 + spanSeconds * i / kVehicles;
            const long long day = at / 86400, second = at % 86400;
            // 2026-11-30 plus day days; December has room for all of them.
            const int month = day == 0 ? 11 : 12, date = day == 0 ? 30 : static_cast<int>(day);
            std::snprintf(line, sizeof line, "2026-%02d-%02d %02lld:%02lld:%02lld.000,%s,%d,%d\n", month, date,
                          second / 3600, second / 60 % 60, second % 60, i % 3 == 0 ? "4,REVERSE" : "2,FORWARD",
                          30 + i % 40, 12 + i % 30);
            csv << line;
        }
    }
    ~MillionVehicleRead() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string Path() const { return path_.string(); }

private:
    fs::path path_;
};

void BM_Tmg_MillionVehicles(benchmark::State& state) {
    tallyx::cli::TmgOptions options;
    static const MillionVehicleRead read;
    options.folder = read.Path();
    options.out = options.folder + "/volume.tmg";
    options.state = "39";
    options.station = "123";
    options.functionalClass = "3U";
    options.forwardDirection = "1";
    options.reverseDirection = "5";
    for (auto _ : state) {
        if (tallyx::cli::RunTmg(options) != 0) state.SkipWithError("tallyx tmg failed");
    }
    state.counters["vehicles"] = kVehicles;
}
BENCHMARK(BM_Tmg_MillionVehicles)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
