#!/usr/bin/env bash
# The whole benchmark suite in one command: builds in Release, runs the record
# processing and export benchmarks and the wire-paced reads, each several times,
# and prints one table of figure, target and ratio (median, with the minimum
# and maximum of the runs).
#
#   bash scripts/bench.sh [RUNS]      (default 5)
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-5}"
bash scripts/install-deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTALLYX_TESTS=OFF >/dev/null
cmake --build build-bench -j "$(nproc)" --target tallyx_bench tallyx_wire_bench tallysim tallyx_cli

results=build-bench/results
mkdir -p "$results"
echo "Running the record benchmarks ($runs runs each)..." >&2
# The model B figures run first and alone, so that the process's peak memory is theirs.
build-bench/bench/tallyx_bench --benchmark_filter='ZK220_DecodeAndBothCsvWalks' \
  --benchmark_repetitions="$runs" --benchmark_out="$results/zk220.json" --benchmark_out_format=json >/dev/null
build-bench/bench/tallyx_bench --benchmark_filter='ProcessSequential_(AllValid|HalfInvalid)$|ExportCsv|Tmg_MillionVehicles' \
  --benchmark_repetitions="$runs" --benchmark_out="$results/records.json" --benchmark_out_format=json >/dev/null
echo "Running the archive benchmarks ($runs runs each)..." >&2
build-bench/bench/tallyx_bench --benchmark_filter='Archive_' \
  --benchmark_repetitions="$runs" --benchmark_out="$results/archive.json" --benchmark_out_format=json >/dev/null
echo "Running the wire-paced reads ($runs runs each, a few minutes)..." >&2
build-bench/bench/tallyx_wire_bench --runs "$runs" --json "$results/wire.json" >/dev/null
/usr/bin/python3 scripts/bench_table.py "$results"

# tallyx ui: a read started through its API against the same floor (target: 1.02 of it, as a read
# of the library itself), and the page's first load in headless chromium (target 300 ms).
echo
echo "Running the reads through tallyx ui ($runs runs each) and its page's first load..." >&2
build-bench/bench/tallyx_wire_bench --runs "$runs" --ui build-bench/tallyx --json "$results/wire-ui.json"
TALLYSIM_BINARY=build-bench/tallysim TALLYX_CLI=build-bench/tallyx \
  /usr/bin/python3 bench/ui_page_bench.py "$runs" --json "$results/ui-page.json"
