#!/usr/bin/env bash
# The main job, end to end: installs what is needed, builds, starts a simulated
# model A counter holding a week of generated traffic, reads it with tallyread,
# and shows the files it wrote; then programs a new study into a simulated
# model B counter with tallyx and reads it back.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

cmake -S . -B build-demo -G Ninja -DCMAKE_BUILD_TYPE=Release -DTALLYX_TESTS=OFF -DTALLYX_BENCH=OFF
cmake --build build-demo -j "$(nproc)"

demo="$PWD/out/demo"
rm -rf "$demo"
mkdir -p "$demo/ports" "$demo/tallyread"
# tallyread keeps log/ and data/ beside itself, so it runs from a folder of its own.
cp build-demo/tallyread "$demo/tallyread/"
cp -P build-demo/libtallyx.so* "$demo/tallyread/"

begin=$(date -d "7 days ago" "+%Y-%m-%d 00:00")
end=$(date "+%Y-%m-%d 00:00")
build-demo/tallysim --model A --port-dir "$demo/ports" --com 3 \
  --begin "$begin" --end "$end" --period 15 --vehicles 5000 --seed 2026 \
  --set "city=Springfield" --set "street=Main Street" --set "speedlimit=45" \
  --set "speedbins=20 30 40 50 60" --set "lengthbins=20 40" \
  --transcript "$demo/transcript.txt" >"$demo/tallysim.out" 2>&1 &
simulator=$!
trap 'kill "$simulator" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  [ -e "$demo/ports/COM3" ] && break
  sleep 0.1
done
[ -e "$demo/ports/COM3" ] || { cat "$demo/tallysim.out"; echo "tallysim did not start" >&2; exit 1; }
echo "tallysim: a model A counter with a week of traffic on COM3 ($demo/ports/COM3)"

TALLYX_PORT_DIR="$demo/ports" "$demo/tallyread/tallyread"

if [ ! -d "$demo/tallyread/data" ]; then
  echo "tallyread wrote no files; the end of its log:" >&2
  tail -n 20 "$demo"/tallyread/log/tallyread_*.log >&2
  exit 1
fi
echo
echo "Files written by tallyread in $demo/tallyread/data:"
ls -l "$demo/tallyread/data"
for file in study.txt sequential.csv periodic.csv kvd.dat; do
  path="$demo/tallyread/data/$file"
  [ -f "$path" ] || continue
  echo
  echo "--- $file ($(wc -l <"$path") lines), first lines:"
  head -n 8 "$path" | cut -c1-160
done
echo
echo "Logs: $demo/tallyread/log (tallyread's own log and the library's message, traffic and dump logs)"

# tallyx: program the next study into a model B counter, then read it back.
build-demo/tallysim --model B --port-dir "$demo/ports" --com 4 --vehicles 2000 --seed 7 >"$demo/tallysim-b.out" 2>&1 &
simulatorB=$!
trap 'kill "$simulator" "$simulatorB" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  [ -e "$demo/ports/COM4" ] && break
  sleep 0.1
done
tallyx=build-demo/tallyx
export TALLYX_PORT_DIR="$demo/ports"
# The demo keeps its reads in an archive of its own, not in the user's.
export TALLYX_ARCHIVE="$demo/archive.sqlite"
echo
echo "--- tallyx ports --probe"
$tallyx ports --probe
echo
echo "--- tallyx info --port COM4"
$tallyx info --port COM4
echo
echo "--- tallyx read --port COM4 --out $demo/tallyx-first   (the day the counter recorded)"
$tallyx read --port COM4 --out "$demo/tallyx-first"
cat >"$demo/next-study.conf" <<STUDY
# A week on Main Street, from tomorrow
begin = $(date -d tomorrow "+%Y-%m-%d 00:00")
end = $(date -d "8 days" "+%Y-%m-%d 00:00")
period = 15
speed-bins = 20 30 40 50 60
length-bins = 20 40
speed-limit = 45
state = OH
city = Springfield
address = Main Street
lane = NB
operator = JD
STUDY
echo
echo "--- tallyx program --port COM4 --study $demo/next-study.conf --yes"
$tallyx program --port COM4 --study "$demo/next-study.conf" --yes
echo
echo "--- tallyx read --port COM4 --out $demo/tallyx-read   (the new study, not started yet)"
$tallyx read --port COM4 --out "$demo/tallyx-read"
echo
echo "The study read back ($demo/tallyx-read/study.conf):"
cat "$demo/tallyx-read/study.conf"

# A report of the day the model B counter recorded, from the folder tallyx read wrote.
echo
echo "--- tallyx report $demo/tallyx-first --out $demo/report"
$tallyx report "$demo/tallyx-first" --out "$demo/report"
echo "Open $demo/report/report.html in a browser to see and print the report; report.json holds its figures."
echo "The same report as a PDF: PYTHONPATH=python TALLYX_CLI=$tallyx /usr/bin/python3 -m tallyx.report FOLDER"

# Every read of tallyx was kept in the archive ($TALLYX_ARCHIVE here; by default the user's).
echo
echo "--- tallyx archive import $demo/tallyread/data   (the tallyread folder too)"
$tallyx archive import "$demo/tallyread/data"
echo
echo "--- tallyx archive list"
$tallyx archive list
echo
echo "--- tallyx archive counters"
$tallyx archive counters

# The same in a browser: tallyx ui serves the counters, the archive and the reports on 127.0.0.1.
# Here it runs without a browser for a moment, shows its address and the studies it serves, and
# stops; run the command below to use it (it opens the browser, Ctrl-C ends it).
echo
echo "--- tallyx ui --no-browser --archive $TALLYX_ARCHIVE   (started, asked, stopped)"
$tallyx ui --no-browser --archive "$TALLYX_ARCHIVE" >"$demo/ui.out" 2>&1 &
ui=$!
for _ in $(seq 100); do
  grep -q "token=" "$demo/ui.out" 2>/dev/null && break
  sleep 0.1
done
head -n 2 "$demo/ui.out"
address=$(grep -o 'http://127.0.0.1:[0-9]*/?token=[0-9a-f]*' "$demo/ui.out")
/usr/bin/python3 - "$address" <<'PYTHON'
import json, re, sys, urllib.request
address = sys.argv[1]
port, token = re.search(r":(\d+)/\?token=(\w+)", address).groups()
request = urllib.request.Request(f"http://127.0.0.1:{port}/api/studies", headers={"Cookie": f"tallyx_{port}={token}"})
studies = json.load(urllib.request.urlopen(request))["studies"]
newest = f", the newest: study {studies[0]['id']}, {studies[0]['site']}" if studies else ""
print(f"tallyx ui serves {len(studies)} studies of the archive{newest}")
PYTHON
kill -INT "$ui"
wait "$ui" || true
tail -n 1 "$demo/ui.out"
echo "To use it: TALLYX_PORT_DIR=$demo/ports $tallyx ui --archive $TALLYX_ARCHIVE   (opens the browser; Ctrl-C ends it)"
