#!/usr/bin/env bash
# The 64-bit installer under Wine, in a fresh prefix of its own, as a technician would use it:
#   1. run silently (/S); Wine's user is an administrator, so this is the elevated case: for all
#      users, into Program Files, registered under HKLM;
#   2. the installed files are the zip's, byte for byte; the Start-menu entry "tallyx" starts
#      tallyx.exe ui from the program folder; Apps & features lists the uninstaller;
#   3. the installed tallyx.exe reads a simulated counter;
#   4. the uninstaller, run silently as Apps & features runs it, removes every file of ours, the
#      entry and the registration, and keeps the reader's data folder in the program folder and
#      the user's archive;
#   5. the same for one user (/S /CurrentUser, the case of a user without administrator rights):
#      %LOCALAPPDATA%\Programs\tallyx, the user's Start menu, HKCU.
#   tests/windows/installer_test.sh SETUP.exe LINUX_BUILD WIN_BUILD
# SETUP.exe has its zip beside it (dist/); LINUX_BUILD provides tallysim.
set -euo pipefail
setup=$(realpath "$1")
linux=$(cd "$2" && pwd)
win=$(cd "$3" && pwd)
here=$(cd "$(dirname "$0")" && pwd)

if [ "${TALLYX_INSIDE_WINE:-}" != 1 ]; then
  # A fresh prefix, made for this test and left for a look afterwards.
  rm -rf "$win/wine-prefix-setup"
  TALLYX_INSIDE_WINE=1 TALLYX_WINE_PREFIX=$win/wine-prefix-setup \
    exec bash "$here/../run_under_wine.sh" "$win" --linux bash "$0" "$setup" "$linux" "$win"
fi

wine=$TALLYX_WINE
zip=${setup%-setup.exe}.zip
top=$(basename "$zip" .zip)
work=$(mktemp -d)
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "installer_test.sh: $*" >&2
  exit 1
}
# Wine's console programs end their lines in CR LF.
run() { "$wine" "$@" </dev/null 2>&1 | tr -d '\r'; }
unix_path() { "$wine" winepath -u "$1" 2>/dev/null | tr -d '\r'; }
# A variable of the Windows environment (cmd quotes what holds a blank, so only the variable).
windows_env() { run cmd /c echo "%$1%"; }

# The files the zip holds, relative to its folder: what the installer must install and remove.
(cd "$work" && cmake -E tar xf "$zip")
mapfile -t ours < <(cd "$work/$top" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
((${#ours[@]} == 9)) || fail "the zip holds ${#ours[@]} files, not 9"

# A value of the uninstall registration, or nothing.
registered() {  # HIVE VALUE
  run reg query "$1\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\tallyx" /v "$2" |
    sed -nE "s/^ +$2 +REG_[A-Z_]+ +(.*)$/\\1/p"
}

# Runs one installation through: install, check, read, uninstall, check.
install_and_remove() {  # WHO HIVE START_MENU_FOLDER PROGRAM_FOLDER [INSTALLER_ARGUMENTS...]
  local who=$1 hive=$2 menu=$3 place=$4
  shift 4
  run "$setup" /S "$@" >"$work/setup.log" || { cat "$work/setup.log" >&2; fail "$who: the installer failed"; }

  local folder
  folder=$(registered "$hive" InstallLocation)
  [ -n "$folder" ] || fail "$who: no uninstall registration under $hive"
  [ "$folder" = "$place" ] || fail "$who: installed into $folder, not $place"
  local unix
  unix=$(unix_path "$folder")
  [ -d "$unix" ] || fail "$who: $folder is not there"
  local file
  for file in "${ours[@]}"; do
    cmp -s "$unix/$file" "$work/$top/$file" || fail "$who: $file is not the zip's"
  done
  [ -f "$unix/uninstall.exe" ] || fail "$who: no uninstall.exe"
  local installed
  installed=$(cd "$unix" && find . -type f | wc -l)
  ((installed == ${#ours[@]} + 1)) || fail "$who: $installed files in $folder"
  local version=${top#tallyx-}
  version=${version%-win64}
  [ "$(registered "$hive" DisplayName)" = "tallyx $version (64-bit)" ] ||
    fail "$who: Apps & features names it '$(registered "$hive" DisplayName)'"
  local quiet
  quiet=$(registered "$hive" QuietUninstallString)
  [[ $quiet == "\"$folder\\uninstall.exe\" "*" /S" ]] || fail "$who: the quiet uninstall is '$quiet'"

  # The Start-menu entry.
  local link
  link=$(unix_path "$menu")/tallyx.lnk
  [ -f "$link" ] || fail "$who: no Start-menu entry $menu\\tallyx.lnk"
  /usr/bin/python3 "$here/shortcut.py" "$link" >"$work/link"
  grep -qxF "target=$folder\\tallyx.exe" "$work/link" && grep -qxF "arguments=ui" "$work/link" &&
    grep -qxF "working_directory=$folder" "$work/link" ||
    { cat "$work/link" >&2; fail "$who: the entry does not start tallyx.exe ui"; }

  # The installed program reads a simulated counter, with the DLL beside it.
  rm -f "$win/wine-ports/COM4"
  "$linux/tallysim" --model B --port-dir "$win/wine-ports" --com 4 --seed 7 --vehicles 60 >"$work/sim.log" 2>&1 &
  sim_pid=$!
  local _
  for _ in $(seq 1 500); do
    [ -L "$win/wine-ports/COM4" ] && break
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.01
  done
  [ -L "$win/wine-ports/COM4" ] || { cat "$work/sim.log" >&2; fail "the simulated counter did not start"; }
  local out=$work/read-$who
  run "$unix/tallyx.exe" read --port COM4 --delay-ms 0 --quiet --out "Z:$out" >"$work/read.log" ||
    { cat "$work/read.log" >&2; fail "$who: the installed tallyx.exe did not read the counter"; }
  kill "$sim_pid"
  wait "$sim_pid" 2>/dev/null || true
  sim_pid=""
  local lines
  lines=$(grep -c . "$out/sequential.csv")
  ((lines == 61)) || fail "$who: the read holds $((lines - 1)) vehicles, not 60"
  grep -q "^  Vehicles      60$" "$work/read.log" || { cat "$work/read.log" >&2; fail "$who: the read's summary"; }

  # What the user keeps: the reader's data beside the program, and the archive in the user's
  # data folder.
  mkdir -p "$unix/data"
  echo "a read the user keeps" >"$unix/data/study.txt"
  local archive
  archive=$(unix_path "$(windows_env LOCALAPPDATA)")/tallyx
  mkdir -p "$archive"
  echo "the user's archive" >"$archive/archive.db"

  # Uninstalling as Apps & features does. The uninstaller copies itself away and returns at
  # once; it is done when its last step, removing the program folder's uninstaller, is.
  local exe=${quiet%\" *}
  exe=${exe#\"}
  local -a arguments
  read -r -a arguments <<<"${quiet#*\" }"
  run "$exe" "${arguments[@]}" >"$work/uninstall.log"
  for _ in $(seq 1 6000); do
    [ -e "$unix/uninstall.exe" ] || break
    sleep 0.02
  done
  [ ! -e "$unix/uninstall.exe" ] || fail "$who: the uninstaller did not finish"
  for file in "${ours[@]}"; do
    [ ! -e "$unix/$file" ] || fail "$who: $file is still there"
  done
  [ ! -e "$unix/include" ] || fail "$who: the include folder is still there"
  [ "$(cat "$unix/data/study.txt")" = "a read the user keeps" ] || fail "$who: the reader's data is gone"
  [ "$(cat "$archive/archive.db")" = "the user's archive" ] || fail "$who: the user's archive is gone"
  [ ! -e "$link" ] || fail "$who: the Start-menu entry is still there"
  [ -z "$(registered "$hive" InstallLocation)" ] || fail "$who: the uninstall registration is still there"
  rm -rf "$unix" "$archive"
  echo "installer_test.sh: $who: installed into $folder, the entry starts tallyx.exe ui, read a counter," \
    "uninstalled leaving the user's files"
}

menu='\Microsoft\Windows\Start Menu\Programs'
install_and_remove "all users" HKLM "$(windows_env ProgramData)$menu" "$(windows_env ProgramFiles)\tallyx"
install_and_remove "one user" HKCU "$(windows_env APPDATA)$menu" "$(windows_env LOCALAPPDATA)\Programs\tallyx" \
  /CurrentUser
