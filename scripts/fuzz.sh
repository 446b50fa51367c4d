#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each of them
# for SECONDS (default 60), one after the other, on a scratch copy of its seed
# corpus in fuzz/corpus/<target>/; the repository is never written to.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]    (all targets when none is named)
#
# Prints one line per target: seconds run, executions, corpus size at the end,
# findings (crash, leak, timeout and out-of-memory inputs) and the fuzzer's exit
# status. Findings are kept in build-fuzz/findings/<target>/. Exits non-zero
# when any target found anything or failed to run.
#
# TALLYX_FUZZ_JOBS sets the build's parallel jobs (default 2). Builds and runs
# are niced, so fuzzing yields to other work on the machine.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

seconds=${1:-60}
shift || true
if ! [[ $seconds =~ ^[0-9]+$ ]] || ((seconds == 0)); then
  echo "usage: scripts/fuzz.sh [SECONDS] [TARGET...]" >&2
  exit 2
fi

# Per input: the largest input, the memory and the time one input may take.
max_len=4096
rss_limit_mb=2048
timeout_s=10

# clang with libFuzzer's runtime; the package list brings both.
fuzzer_works() {
  local probe
  probe=$(mktemp -d)
  printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' >"$probe/probe.cpp"
  local ok=0
  command -v clang++ >/dev/null 2>&1 && clang++ -fsanitize=fuzzer "$probe/probe.cpp" -o "$probe/probe" 2>/dev/null || ok=1
  rm -rf "$probe"
  return $ok
}
if ! fuzzer_works; then
  bash scripts/install-deps.sh
  fuzzer_works || { echo "fuzz.sh: clang cannot build a libFuzzer program" >&2; exit 1; }
fi

targets=("$@")
if ((${#targets[@]} == 0)); then
  for source in fuzz/*_fuzz.cpp; do
    name=$(basename "$source" .cpp)
    targets+=("$name")
  done
fi

build_start=$(date +%s)
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DTALLYX_FUZZ=ON -DTALLYX_TESTS=OFF -DTALLYX_BENCH=OFF >/dev/null
nice -n 19 ninja -C build-fuzz -j "${TALLYX_FUZZ_JOBS:-2}" "${targets[@]}"
echo "fuzz.sh: built ${#targets[@]} targets in $(($(date +%s) - build_start)) s"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tallyx-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

failed=0
summary=()
for target in "${targets[@]}"; do
  work="$scratch/$target"
  rm -rf "build-fuzz/findings/$target"
  mkdir -p "$work/corpus" "$work/artifacts"
  if [ -d "fuzz/corpus/$target" ]; then cp -R "fuzz/corpus/$target/." "$work/corpus/"; fi

  echo "fuzz.sh: running $target for $seconds s" >&2
  start=$(date +%s)
  status=0
  # The outer limit only catches a fuzzer that stops keeping its own time.
  (cd "$work" && timeout --kill-after=30 $((seconds + 300)) nice -n 19 "$repo/build-fuzz/fuzz/$target" \
    -max_total_time="$seconds" -max_len="$max_len" -rss_limit_mb="$rss_limit_mb" -timeout="$timeout_s" \
    -print_final_stats=1 -artifact_prefix="$work/artifacts/" "$work/corpus") >"$work/log" 2>&1 || status=$?
  ran=$(($(date +%s) - start))

  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -1)
  corpus=$(find "$work/corpus" -type f | wc -l)
  findings=$(find "$work/artifacts" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
  if ((findings > 0 || status != 0)); then
    failed=1
    kept="build-fuzz/findings/$target"
    mkdir -p "$kept"
    cp "$work/artifacts/"* "$kept/" 2>/dev/null || true
    cp "$work/log" "$kept/fuzz.log"
    echo "fuzz.sh: $target: findings and log in $kept/" >&2
    grep -m1 -A25 -E '^==[0-9]+==|runtime error|^INFO: libFuzzer: ' "$work/log" >&2 || tail -25 "$work/log" >&2
  fi
  summary+=("$(printf '%-22s %6s s  %12s executions  corpus %6s  findings %3s  exit %s' \
    "$target" "$ran" "${executions:-?}" "$corpus" "$findings" "$status")")
  echo "fuzz.sh: done: ${summary[-1]}" >&2
done

echo "fuzz.sh: summary (${seconds} s per target)"
printf '%s\n' "${summary[@]}"
exit $failed
