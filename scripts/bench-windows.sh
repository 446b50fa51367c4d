#!/usr/bin/env bash
# The wire-paced reads of the benchmark suite, done by the 64-bit tallyx.dll under Wine: a
# simulated counter sends at 57,600 baud and the table gives each read's wall time against the
# floor that what went over the line implies. The CPU columns are the test process's, not the
# library's, and say nothing here.
#
#   bash scripts/bench-windows.sh [RUNS]      (default 1)
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-1}"
bash scripts/install-deps.sh wine wine64
bash scripts/build-windows.sh >/dev/null
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target tallyx_wire_bench_wine
TALLYX_E2E_PORT_DIR=$PWD/build-win64/wine-ports TALLYX_DLL_SERVER=$PWD/build-win64/dll_server.exe \
  bash tests/run_under_wine.sh build-win64 --linux build/bench/tallyx_wire_bench_wine --runs "$runs"
