#!/usr/bin/env bash
# Installs the build into a temporary prefix, builds the C example against it
# through pkg-config and through CMake, and runs both against a simulated
# counter.
#   check_install.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build="$1"
source="$2"
work=$(mktemp -d)
trap 'kill "${simulator:-}" 2>/dev/null || true; rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
libdir=$(ls -d "$work/prefix"/lib* | head -n 1)
for file in include/tallyx/tallyx.h; do [ -f "$work/prefix/$file" ] || { echo "missing $file"; exit 1; }; done
[ -L "$libdir/libtallyx.so" ] && [ -L "$libdir/libtallyx.so.1" ] || { echo "missing library links"; exit 1; }
for program in tallyx tallyread tallysim; do
  [ -x "$work/prefix/bin/$program" ] || { echo "missing $program"; exit 1; }
done

# pkg-config
PKG_CONFIG_PATH="$libdir/pkgconfig" cc "$source/examples/read_volumes.c" \
  $(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs tallyx) -o "$work/read_volumes_pc"
# CMake
cmake -S "$source/examples" -B "$work/example" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/example" >/dev/null

mkdir -p "$work/ports"
"$work/prefix/bin/tallysim" --model B --port-dir "$work/ports" --com 5 --vehicles 300 --seed 4 >/dev/null 2>&1 &
simulator=$!
for _ in $(seq 100); do [ -e "$work/ports/COM5" ] && break; sleep 0.1; done
for example in "$work/read_volumes_pc" "$work/example/read_volumes"; do
  output=$(TALLYX_PORT_DIR="$work/ports" LD_LIBRARY_PATH="$libdir" "$example" 5)
  lines=$(printf '%s\n' "$output" | wc -l)
  # A header and the 96 periods of the simulated day.
  [ "$lines" -eq 97 ] || { echo "$example printed $lines lines:"; printf '%s\n' "$output" | head; exit 1; }
  total=$(printf '%s\n' "$output" | awk 'NR > 1 { sum += $3 } END { print sum }')
  [ "$total" -eq 300 ] || { echo "$example counted $total vehicles, not 300"; exit 1; }
done
# The installed programs find the installed library.
TALLYX_PORT_DIR="$work/ports" "$work/prefix/bin/tallyx" info --port 5 --delay-ms 0 >/dev/null
echo "installed tree: headers, library links, programs, pkg-config and CMake package all work"
