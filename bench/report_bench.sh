#!/usr/bin/env bash
# The study report of a million vehicles: a simulated model B counter with a full study (one
# million vehicles over 28 days, 15-minute periods) is read with tallyx read into a folder, then
# the report is written from that folder RUNS times. Prints the wall time and the peak resident
# memory of each report run and their medians (targets: under 20 s and under 1 GB).
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

PYTHONPATH="$PWD/python" MPLBACKEND=Agg /usr/bin/python3 - "$work" "$runs" <<'EOF'
import resource, statistics, subprocess, sys, time

work, runs = sys.argv[1], int(sys.argv[2])
walls, peaks = [], []
for run in range(runs):
    # Each run in a child of its own, measured by a child of that, so the peak is the report's alone.
    probe = ("import resource, subprocess, sys, time\n"
             "start = time.monotonic()\n"
             "subprocess.run([sys.executable, '-m', 'tallyx.report', sys.argv[1] + '/read', '--out', "
             "sys.argv[1] + '/out/report.pdf'], check=True, stdout=subprocess.DEVNULL)\n"
             "print(time.monotonic() - start, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)\n")
    wall, peak_kib = subprocess.run([sys.executable, "-c", probe, work], check=True, capture_output=True,
                                    text=True).stdout.split()
    walls.append(float(wall))
    peaks.append(int(peak_kib) / 1024)
    print(f"run {run + 1}: {walls[-1]:.1f} s, peak resident memory {peaks[-1]:.0f} MiB")
vehicles = sum(1 for _ in open(work + "/read/sequential.csv")) - 1
print(f"report of {vehicles} vehicles: median {statistics.median(walls):.1f} s (target < 20 s), "
      f"peak resident memory {statistics.median(peaks):.0f} MiB (target < 1024 MiB)")
EOF
