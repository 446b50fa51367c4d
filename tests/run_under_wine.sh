#!/usr/bin/env bash
# Runs a Windows console program under Wine without a display, in a Wine prefix of its own
# inside the build folder (never the user's), and ends Wine's server afterwards.
#   tests/run_under_wine.sh BUILD_FOLDER PROGRAM.exe [ARGUMENTS...]
#   tests/run_under_wine.sh BUILD_FOLDER --linux PROGRAM [ARGUMENTS...]
# (TALLYX_WINE_PREFIX=FOLDER for another prefix than BUILD_FOLDER/wine-prefix.)
# The second form runs a Linux program (a test that starts Windows programs itself) with Wine
# set up the same way and `wine` on hand: TALLYX_WINE names the loader.
#
# The prefix claims every COM name, COM1 to COM256, for BUILD_FOLDER/wine-ports/COM<n>, where
# the tests publish their simulated counters; a name without a counter there leads nowhere.
# Wine would otherwise give the machine's own /dev/ttyS* (one of which may be its console) the
# first free COM names, so everything runs in a private mount namespace in which /dev/null
# stands over every /dev/ttyS*.
set -euo pipefail
build=$(cd "$1" && pwd)
shift

if [ "${TALLYX_WINE_NAMESPACE:-}" != 1 ]; then
  # Into a mount namespace of our own: as root directly, otherwise as root of a user namespace.
  as_root=()
  [ "$(id -u)" = 0 ] || as_root=(--map-root-user)
  if ! unshare --mount "${as_root[@]}" true 2>/dev/null; then
    echo "run_under_wine.sh: cannot make a private mount namespace (unshare --mount), so Wine could" \
      "reach this machine's serial ports; not running" >&2
    exit 1
  fi
  TALLYX_WINE_NAMESPACE=1 exec unshare --mount --propagation private "${as_root[@]}" "$0" "$build" "$@"
fi
for device in /dev/ttyS*; do
  [ -e "$device" ] && mount --bind /dev/null "$device"
done

# TALLYX_WINE_PREFIX names another prefix, for a test that wants one of its own.
export WINEPREFIX=${TALLYX_WINE_PREFIX:-$build/wine-prefix}
export WINEDEBUG=${WINEDEBUG:--all}
# No menu entries or file associations of the prefix's programs on this machine's desktop.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
wine=$(command -v wine64 || command -v wine)
export TALLYX_WINE=$wine
ports=$build/wine-ports
mkdir -p "$ports"
# A link left by an earlier run may lead to a terminal that is someone else's now.
find "$ports" -maxdepth 1 -name 'COM*' -type l -delete

# A server of another namespace must not serve this one.
wineserver -k 2>/dev/null || true
if [ ! -d "$WINEPREFIX" ]; then
  # A fresh prefix takes some ten seconds to set up, once.
  wineboot --init >/dev/null 2>&1 </dev/null || true
  wineserver -w 2>/dev/null || true
fi
# The prefix's settings, written once: the COM names, and a crash report that goes to the
# error output at once instead of waiting for a dialog that no display shows.
claimed=$WINEPREFIX/tallyx-settings
settings="ports $ports, crash report v1"
if [ "$(cat "$claimed" 2>/dev/null)" != "$settings" ]; then
  registry=$build/wine-settings.reg
  {
    printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n'
    for n in $(seq 1 256); do printf '"COM%d"="%s/COM%d"\n' "$n" "$ports" "$n"; done
    printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\n"ShowCrashDialog"=dword:00000000\n'
  } >"$registry"
  "$wine" regedit /S "$registry" >/dev/null 2>&1 </dev/null
  wineserver -k 2>/dev/null || true
  echo "$settings" >"$claimed"
fi

# The server lingers after the program and may print a great deal: its output, and that of the
# services it starts, goes nowhere. The services must not hold the test's pipes either.
end_wine() { wineserver -k 2>/dev/null || true; }
trap end_wine EXIT
wineserver -p >/dev/null 2>&1 </dev/null
"$wine" wineboot >/dev/null 2>&1 </dev/null || true

# Every COM name leads into the test's folder, or to /dev/null.
for link in "$WINEPREFIX"/dosdevices/com*; do
  [ -L "$link" ] || continue
  target=$(readlink "$link")
  case $target in
  "$ports"/*) ;;
  *)
    if [ "$(stat -Lc %t:%T "$link" 2>/dev/null)" != "$(stat -c %t:%T /dev/null)" ]; then
      echo "run_under_wine.sh: ${link##*/} leads to $target, outside the test's ports; not running" >&2
      exit 1
    fi
    ;;
  esac
done

status=0
if [ "${1:-}" = --linux ]; then
  shift
  "$@" || status=$?
else
  "$wine" "$@" || status=$?
fi
exit $status
