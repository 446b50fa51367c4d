#!/usr/bin/env bash
# The study report of a million vehicles: a simulated model B counter with a full study (one
# million vehicles over 28 days, 15-minute periods) is read with tallyx read into a folder, then
# tallyx report writes report.json and report.html from that folder RUNS times, each in a process
# of its own. Prints the wall time and the peak resident memory of each run and their medians
# (targets: at most 1 s and at most 250 MB).
#
#   bash bench/report_bench.sh [BUILD_DIR] [RUNS]      (default build, 3)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
runs="${2:-3}"
for program in tallysim tallyx; do
  [ -x "$build/$program" ] || { echo "no $build/$program: build first (cmake --build $build)" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'kill "${simulator:-}" 2>/dev/null || true; rm -rf "$work"' EXIT

mkdir -p "$work/ports"
"$build/tallysim" --model B --port-dir "$work/ports" --com 9 --vehicles full --seed 3 \
  --begin "2026-10-05 00:00" --end "2026-11-02 00:00" --period 15 \
  --set speedbins="20 30 40 50 60" --set lengthbins="20 40 60" --set speedlimit=45 >/dev/null 2>&1 &
simulator=$!
for _ in $(seq 100); do [ -e "$work/ports/COM9" ] && break; sleep 0.1; done
echo "Reading a million vehicles from the simulated counter..." >&2
TALLYX_PORT_DIR="$work/ports" "$build/tallyx" read --port 9 --out "$work/read" --delay-ms 0 --quiet >/dev/null
kill "$simulator"
simulator=

/usr/bin/python3 - "$work" "$runs" "$build/tallyx" <<'EOF'
import statistics, subprocess, sys

work, runs, tallyx = sys.argv[1], int(sys.argv[2]), sys.argv[3]
walls, peaks = [], []
for run in range(runs):
    # Each run in a child of its own, measured by a child of that, so the peak is the report's alone.
    probe = ("import resource, subprocess, sys, time\n"
             "start = time.monotonic()\n"
             "subprocess.run([sys.argv[2], 'report', sys.argv[1] + '/read', '--out', sys.argv[1] + '/out'], "
             "check=True, stdout=subprocess.DEVNULL)\n"
             "print(time.monotonic() - start, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)\n")
    wall, peak_kib = subprocess.run([sys.executable, "-c", probe, work, tallyx], check=True, capture_output=True,
                                    text=True).stdout.split()
    walls.append(float(wall))
    peaks.append(int(peak_kib) * 1024 / 1e6)
    print(f"run {run + 1}: {walls[-1]:.3f} s, peak resident memory {peaks[-1]:.1f} MB")
vehicles = sum(1 for _ in open(work + "/read/sequential.csv")) - 1
print(f"report (JSON + HTML) of {vehicles} vehicles: median {statistics.median(walls):.3f} s (target <= 1 s), "
      f"peak resident memory {statistics.median(peaks):.1f} MB (target <= 250 MB)")
EOF
