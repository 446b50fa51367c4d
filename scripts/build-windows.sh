#!/usr/bin/env bash
# Cross-builds tallyx.dll, tallyread.exe and tallyx.exe for 32-bit Windows (build-win32/) and
# 64-bit Windows (build-win64/) with Debian's mingw-w64, installing what that needs. With
# --test it also checks both export tables and runs the port-free unit tests of the 64-bit
# build under Wine (this machine's kernel cannot run 32-bit programs, so the 32-bit build is
# checked by compiling it and by its export table only). With --downloads it builds only what
# the downloads ship (tallyx.dll, tallyread.exe, tallyx.exe), configured the same way.
set -euo pipefail
cd "$(dirname "$0")/.."

run_tests=0 targets=()
case ${1:-} in
  --test) run_tests=1 ;;
  --downloads) targets=(--target tallyx tallyread tallyx_cli) ;;
  "") ;;
  *) echo "usage: $0 [--test | --downloads]" >&2; exit 2 ;;
esac

packages=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686
  binutils-mingw-w64-x86-64 googletest libcli11-dev libjs-chart.js libboost-dev cmake ninja-build)
((run_tests)) && packages+=(wine wine64)
bash scripts/install-deps.sh "${packages[@]}"

jobs=$(nproc)
# SQLite for the archive: its own amalgamation, compiled into tallyx.exe.
sqlite=$(bash scripts/sqlite-amalgamation.sh)
for arch in win32:i686 win64:x86_64; do
  folder=build-${arch%%:*}
  # -O2 as on Linux: g++ 12 at -O3 warns falsely about std::string copies (-Wrestrict).
  cmake -S . -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DTALLYX_WERROR=ON \
    -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-mingw-${arch##*:}.cmake" -DTALLYX_REPRODUCIBLE=ON \
    -DTALLYX_SQLITE_AMALGAMATION="$sqlite" \
    -DTALLYX_TESTS="$([ "$arch" = win64:x86_64 ] && echo ON || echo OFF)"
  cmake --build "$folder" -j "$jobs" "${targets[@]}"
done

if ((run_tests)); then
  bash tests/check_windows_exports.sh build-win32/tallyx.dll i686-w64-mingw32-objdump
  bash tests/check_windows_exports.sh build-win64/tallyx.dll x86_64-w64-mingw32-objdump
  bash tests/run_under_wine.sh build-win64 build-win64/tests/unit_tests.exe --gtest_brief=1
  rm -rf build-win64/check-logs
  bash tests/run_under_wine.sh build-win64 build-win64/tests/dll_ordinals_check.exe build-win64/tallyx.dll \
    build-win64/check-logs
  # Both programs start: tallyx.exe with tallyx.dll loaded beside it, tallyread.exe reading its
  # own version resource.
  version=$(bash tests/run_under_wine.sh build-win64 build-win64/tallyread.exe --version | tr -d '\r')
  grep -qx "tallyread v$(sed -nE 's/^project\(tallyx VERSION ([0-9.]+) .*/\1/p' CMakeLists.txt)" <<<"$version" ||
    { echo "tallyread.exe --version: $version" >&2; exit 1; }
  bash tests/run_under_wine.sh build-win64 build-win64/tallyx.exe --version
fi
