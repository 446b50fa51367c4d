#!/usr/bin/env bash
# Soak test: builds resource_cycles with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs READS whole reads and WRITES whole programmings of simulated counters, as two processes
# at the same time. Each prints its descriptors, threads, file locks and resident memory at the
# start, after a warm-up (the baseline) and at the end, and fails when one has grown;
# LeakSanitizer checks the memory of each at its exit. A cycle takes about 2.5 s.
#
#   bash scripts/soak.sh [READS] [WRITES]      (default 1000 and 200)
#
# SOAK_BUILD_DIR chooses the build folder (default build-sanitize), SOAK_JOBS the build jobs.
set -euo pipefail
cd "$(dirname "$0")/.."
reads="${1:-1000}"
writes="${2:-200}"
build="${SOAK_BUILD_DIR:-build-sanitize}"

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTALLYX_SANITIZE=ON -DTALLYX_BENCH=OFF >/dev/null
cmake --build "$build" -j "${SOAK_JOBS:-$(nproc)}" --target resource_cycles

export ASAN_OPTIONS="detect_leaks=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
program="$build/tests/resource_cycles"

# Each line comes out as it is printed, marked with the process it belongs to.
started=$(date +%s)
"$program" "$reads" 0 2>&1 | sed -u 's/^/[reads]  /' &
readsPid=$!
"$program" 0 "$writes" 2>&1 | sed -u 's/^/[writes] /' &
writesPid=$!
readsStatus=0
writesStatus=0
wait "$readsPid" || readsStatus=$?
wait "$writesPid" || writesStatus=$?
finished=$(date +%s)

echo "wall time $((finished - started)) s; exit status: reads $readsStatus, writes $writesStatus"
if [ "$readsStatus" -ne 0 ] || [ "$writesStatus" -ne 0 ]; then
  echo "soak: FAILED" >&2
  exit 1
fi
echo "soak: passed"
