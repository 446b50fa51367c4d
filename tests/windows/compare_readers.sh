#!/usr/bin/env bash
# tallyread.exe under Wine reads a simulated counter exactly as the Linux tallyread reads the
# same counter (same model, same seed): the same study.txt, sequential.csv, periodic.csv and
# kvd.dat line for line, the same console lines and the same log lines apart from times and
# paths. Windows text files end every line with CR LF; that is checked, then undone.
# Run inside tests/run_under_wine.sh WIN_BUILD --linux, which sets up Wine and its COM names:
#   tests/windows/compare_readers.sh LINUX_BUILD WIN_BUILD
set -euo pipefail
linux=$(cd "$1" && pwd)
win=$(cd "$2" && pwd)
work=$(mktemp -d)
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
  echo "compare_readers.sh: $*" >&2
  failures=$((failures + 1))
}

# Starts a simulated counter on PORT_DIR/COM1 and waits until its port is published.
start_counter() {  # MODEL PORT_DIR
  rm -f "$2/COM1"
  "$linux/tallysim" --model "$1" --port-dir "$2" --com 1 --seed 31 --vehicles 400 >"$work/sim.log" 2>&1 &
  sim_pid=$!
  for _ in $(seq 1 500); do
    [ -L "$2/COM1" ] && return 0
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.01
  done
  cat "$work/sim.log" >&2
  fail "the simulated counter did not publish $2/COM1"
  exit 1
}
stop_counter() {
  kill "$sim_pid"
  wait "$sim_pid" 2>/dev/null || true
  sim_pid=""
}

# Times, dates and paths differ between the two runs; everything else must not.
normalise() {
  sed -E -e 's/\r$//' -e 's/\r/\n/g' "$1" |
    sed -E -e 's/[0-9]{4}-[0-9]{2}-[0-9]{2}/<date>/g' -e 's/[0-9]{2}:[0-9]{2}:[0-9]{2}(\.[0-9]+)?/<time>/g' \
      -e 's#(\\\\\.\\COM[0-9]+|/[^ ()"]*/COM[0-9]+)#<port>#g' -e 's# ?\(/dev/pts/[0-9]+\)##g' \
      -e 's#([A-Z]:\\|/)[^ "]*(prog|ports)[^ "]*#<path>#g' -e 's/[0-9]+ ms/<n> ms/g' |
    grep -v '^$' || true
}

# Every line of a Windows text file ends with CR LF.
check_crlf() {  # FILE
  if LC_ALL=C grep -q $'[^\r]$' "$1" 2>/dev/null || LC_ALL=C grep -q '^$' "$1"; then
    fail "${1#"$work"/} has a line that does not end with CR LF"
  fi
}

compare() {  # WHAT LINUX_FILE WINDOWS_FILE
  if ! diff -u "$2" "$3" >"$work/diff" 2>&1; then
    fail "$1 differs between tallyread and tallyread.exe:"
    head -40 "$work/diff" >&2
  fi
}

for model in A B; do
  failures_before=$failures
  for side in linux windows; do
    folder=$work/$model-$side
    mkdir -p "$folder/prog" "$folder/ports"
    if [ $side = linux ]; then
      cp "$linux/tallyread" "$folder/prog/"
      cp -P "$linux"/libtallyx.so* "$folder/prog/"
      start_counter $model "$folder/ports"
      (cd "$folder" && TALLYX_PORT_DIR="$folder/ports" LD_LIBRARY_PATH="$folder/prog" \
        "$folder/prog/tallyread" >"$folder/console" 2>&1) || fail "tallyread ended with $?"
    else
      cp "$win/tallyread.exe" "$win/tallyx.dll" "$folder/prog/"
      start_counter $model "$win/wine-ports"
      (cd "$folder" && "$TALLYX_WINE" "$folder/prog/tallyread.exe" >"$folder/console" 2>&1) ||
        fail "tallyread.exe ended with $?"
    fi
    stop_counter
  done
  lin=$work/$model-linux/prog
  win_prog=$work/$model-windows/prog
  for file in study.txt sequential.csv periodic.csv kvd.dat; do
    if [ ! -s "$lin/data/$file" ]; then
      fail "model $model: tallyread wrote no data/$file"
      continue
    fi
    check_crlf "$win_prog/data/$file"
    sed 's/\r$//' "$win_prog/data/$file" >"$work/$file.windows"
    compare "model $model: data/$file" "$lin/data/$file" "$work/$file.windows"
  done
  normalise "$work/$model-linux/console" >"$work/console.linux"
  normalise "$work/$model-windows/console" >"$work/console.windows"
  compare "model $model: the console" "$work/console.linux" "$work/console.windows"
  log_lines=0
  for log in tallyread_ tallyx_; do
    linux_log=$(find "$lin/log" -name "$log*[0-9].log" | head -1)
    windows_log=$(find "$win_prog/log" -name "$log*[0-9].log" | head -1)
    if [ -z "$linux_log" ] || [ -z "$windows_log" ]; then
      fail "model $model: a ${log}DATE.log is missing"
      continue
    fi
    check_crlf "$windows_log"
    normalise "$linux_log" >"$work/log.linux"
    normalise "$windows_log" >"$work/log.windows"
    compare "model $model: log/${log}DATE.log" "$work/log.linux" "$work/log.windows"
    log_lines=$((log_lines + $(wc -l <"$work/log.linux")))
  done
  [ $failures = "$failures_before" ] &&
    echo "model $model: tallyread.exe and tallyread agree ($(wc -l <"$lin/data/sequential.csv") lines of sequential.csv," \
      "$(wc -l <"$work/console.linux") console lines, $log_lines log lines)"
done
[ $failures = 0 ]
