#!/usr/bin/env bash
# Installs the Python package offline from the folder (with Debian's
# setuptools), then runs the Python example and the report command from the
# installed copy against a simulated counter.
#   check_python_package.sh SOURCE_DIR LIBRARY TALLYSIM TALLYX
set -euo pipefail
source="$1"
export TALLYX_LIBRARY="$2"
tallysim="$3"
# The report draws what the tallyx program works out.
export TALLYX_CLI="$4"
work=$(mktemp -d)
trap 'kill "${simulator:-}" 2>/dev/null || true; rm -rf "$work"' EXIT

cp -r "$source/python" "$work/source"
/usr/bin/python3 -m pip install --quiet --no-build-isolation --no-index --no-deps --target "$work/site" "$work/source"
[ -f "$work/site/tallyx/__init__.py" ] || { echo "the package was not installed"; exit 1; }

mkdir -p "$work/ports"
"$tallysim" --model A --port-dir "$work/ports" --com 6 --vehicles 300 --seed 4 >/dev/null 2>&1 &
simulator=$!
for _ in $(seq 100); do [ -e "$work/ports/COM6" ] && break; sleep 0.1; done
export TALLYX_PORT_DIR="$work/ports" PYTHONPATH="$work/site" MPLBACKEND=Agg
output=$(cd "$work" && /usr/bin/python3 "$source/examples/read_volumes.py" 6)
lines=$(printf '%s\n' "$output" | wc -l)
[ "$lines" -eq 97 ] || { echo "the example printed $lines lines:"; printf '%s\n' "$output" | head; exit 1; }
total=$(printf '%s\n' "$output" | awk 'NR > 1 { sum += $3 } END { print sum }')
[ "$total" -eq 300 ] || { echo "the example counted $total vehicles, not 300"; exit 1; }
(cd "$work" && /usr/bin/python3 -m tallyx.report --port 6 --out "$work/report/report.pdf" >/dev/null)
[ -s "$work/report/report-read/sequential.csv" ] || { echo "the read was not kept beside the report"; exit 1; }
for file in report.pdf report.png report.json; do [ -s "$work/report/$file" ] || { echo "no $file"; exit 1; }; done
echo "python package: installed offline; example and report ran against the simulated counter"
