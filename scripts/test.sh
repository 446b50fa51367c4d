#!/usr/bin/env bash
# Installs the build dependencies, builds, and runs every test three times: in a
# normal build, with AddressSanitizer and UndefinedBehaviorSanitizer, and with
# ThreadSanitizer; then gives every fuzz target a short run, and cross-builds for
# 32-bit and 64-bit Windows, runs the 64-bit build end to end under Wine against
# simulated counters, makes the Windows downloads (zips and installers) and
# checks them, checks both export tables, runs the port-free unit tests of the
# 64-bit build under Wine, runs the 64-bit installer under Wine, and checks that
# a second build of the Windows downloads in another folder gives the same bytes.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)
# Most end-to-end tests spend their time waiting on a simulated line, so
# several run at once per core.
test_jobs=$((jobs * 4))

# Each build after the first compiles at low priority while the tests of the one
# before run: those spend most of their time waiting on a simulated line, and the
# tests do not depend on an idle machine.
background_pid=""
background() {  # LOG COMMAND...: runs a command niced in the background
  local log=$1
  shift
  (renice -n 10 -p "$BASHPID" >/dev/null && "$@") >"$log" 2>&1 &
  background_pid=$!
}
await() {  # LOG: waits for the background command, showing its output if it failed
  if ! wait "$background_pid"; then
    cat "$1" >&2
    echo "test.sh: a background build failed (log: $1)" >&2
    exit 1
  fi
}
mkdir -p build-logs

# Line tables are debug information enough for the tests' stack traces, and take far less to
# build than full debug information.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
  -DTALLYX_WERROR=ON
cmake --build build -j "$jobs"

build_sanitize() {
  cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DTALLYX_SANITIZE=ON -DTALLYX_BENCH=OFF &&
    cmake --build build-sanitize -j "$jobs"
}
background build-logs/sanitize.log build_sanitize
ctest --test-dir build --output-on-failure -j "$test_jobs"
await build-logs/sanitize.log

build_tsan() {
  cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DTALLYX_TSAN=ON -DTALLYX_BENCH=OFF &&
    cmake --build build-tsan -j "$jobs"
}
background build-logs/tsan.log build_tsan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j "$test_jobs"
await build-logs/tsan.log

# Windows: both builds with -Werror, compiled while the ThreadSanitizer run goes on.
background build-logs/windows.log bash scripts/build-windows.sh
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan --output-on-failure -j "$test_jobs"
await build-logs/windows.log

# A few seconds per fuzz target: every target builds and runs its seed corpus
# clean. Long runs: scripts/fuzz.sh SECONDS. They build and run at low priority
# while the Windows build runs end to end under Wine, which mostly waits on
# simulated lines.
background build-logs/fuzz.log bash scripts/fuzz.sh 5
bash scripts/install-deps.sh wine wine64 nsis p7zip-full
stage=$SECONDS
bash tests/run_under_wine.sh build-win64 --linux tests/windows/e2e.sh build build-win64
echo "test.sh: Windows end to end under Wine: $((SECONDS - stage)) s"
await build-logs/fuzz.log

# Windows: the two zips and the two installers for download, made from those builds and
# checked. Then the same downloads are built again in a fresh clone in another folder, at low
# priority while the Windows tests below run, and must come out the same bytes.
bash scripts/package-windows.sh
background build-logs/reproducible.log bash scripts/check-reproducible.sh --reuse windows
reproducible_pid=$background_pid

# Windows: the export tables, and the 64-bit unit tests under Wine (the builds are done).
bash scripts/build-windows.sh --test

# Windows: the 64-bit installer under Wine, in a fresh prefix: installed silently, for all
# users and for one; its tallyx.exe reads a simulated counter; uninstalled.
version=$(sed -nE 's/^project\(tallyx VERSION ([0-9.]+) .*/\1/p' CMakeLists.txt)
stage=$SECONDS
bash tests/windows/installer_test.sh "dist/tallyx-$version-win64-setup.exe" build build-win64
echo "test.sh: Windows installer under Wine: $((SECONDS - stage)) s"

background_pid=$reproducible_pid
await build-logs/reproducible.log
cat build-logs/reproducible.log
