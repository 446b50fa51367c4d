#!/usr/bin/env bash
# Runs a Windows console program under Wine without a display, in a Wine prefix of its own
# inside the build folder (never the user's), and ends Wine's server afterwards.
#   tests/run_under_wine.sh BUILD_FOLDER PROGRAM [ARGUMENTS...]
set -euo pipefail
build=$(cd "$1" && pwd)
shift
export WINEPREFIX=$build/wine-prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
wine=$(command -v wine64 || command -v wine)
if [ ! -d "$WINEPREFIX" ]; then
  # A fresh prefix takes some ten seconds to set up, once.
  wineboot --init >/dev/null 2>&1 || true
fi
# The server lingers after the program and may print a great deal: its output goes nowhere.
wineserver -p 2>/dev/null || true
status=0
"$wine" "$@" || status=$?
wineserver -k 2>/dev/null || true
exit $status
