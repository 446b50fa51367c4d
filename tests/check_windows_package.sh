#!/usr/bin/env bash
# Checks the Windows downloads.
# A zip holds exactly the expected files under its one top folder; the DLL exports the ten
# functions by ordinal and every file needs only system DLLs; the text files end every line in
# CR LF, carry no overstriking and speak of ports and paths as Windows does; and a C program built
# with the shipped header links, both with the shipped import library and with one made from the
# shipped tallyx.def, to the ten undecorated names of tallyx.dll.
# An installer is a program of its architecture (the 64-bit one runs where 32-bit programs do
# not) and installs exactly the files of the zip beside it, byte for byte, and its uninstaller.
#   tests/check_windows_package.sh dist/tallyx-<version>-win32.zip dist/tallyx-<version>-win64-setup.exe ...
set -euo pipefail
(($#)) || { echo "usage: $0 ZIP|SETUP.exe..." >&2; exit 2; }
repo=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "$zip: $*" >&2
  exit 1
}

cat >"$work/caller.c" <<'EOF'
#include <tallyx/tallyx.h>

int main(void) {
    char text[64];
    TallyxHandle handle = Init();
    SetProgressCallback(handle, 0);
    SetPromptCallback(handle, 0);
    SetProperty(handle, PROPERTY_COMM_PORT, "12");
    GetProperty(handle, PROPERTY_COMM_PORT, text, sizeof text);
    ReadDevice(handle);
    WriteDevice(handle);
    GetFirstValue(handle, GETVALUE_DATA_SEQUENTIAL, GETVALUE_FORMAT_CSV, text, sizeof text);
    GetNextValue(handle, text, sizeof text);
    return Term(handle) == RETCODE_OK ? 0 : 1;
}
EOF
names=$(printf '%s\n' GetFirstValue GetNextValue GetProperty Init ReadDevice SetProgressCallback \
  SetPromptCallback SetProperty Term WriteDevice)

# An installer against the zip of the same name: its architecture, and its files.
check_setup() {  # SETUP
  local setup=$1 top triplet format
  zip=$setup  # for fail
  top=$(basename "$setup" -setup.exe)
  case $top in
    *-win32) triplet=i686-w64-mingw32 format=pei-i386 ;;
    *-win64) triplet=x86_64-w64-mingw32 format=pei-x86-64 ;;
    *) fail "not a win32 or win64 installer" ;;
  esac
  "$triplet-objdump" -f "$setup" | grep -q "file format $format\$" || fail "is not a $format program"
  local archive
  archive=$(realpath "${setup%-setup.exe}.zip" 2>/dev/null) || fail "has no zip beside it to compare with"
  local expected listed
  expected=$( (cmake -E tar tf "$archive" | { grep -v '/$' || true; } | sed "s|^$top/||"; echo uninstall.exe) |
    LC_ALL=C sort)
  # The installer's own helpers are unpacked into a temporary folder ($PLUGINSDIR) while it runs.
  listed=$(7z l -slt "$setup" | sed -n 's/^Path = //p' | tail -n +2 | { grep -v '^\$PLUGINSDIR/' || true; } | LC_ALL=C sort)
  [ "$listed" = "$expected" ] || fail "installs other files than its zip holds:
$(diff <(echo "$expected") <(echo "$listed") || true)"
  local unpacked=$work/$top-setup
  mkdir -p "$unpacked" "$work/$top-zip"
  7z x -y -o"$unpacked" "$setup" >/dev/null
  (cd "$work/$top-zip" && cmake -E tar xf "$archive")
  while read -r file; do
    [ "$file" = uninstall.exe ] && continue
    cmp -s "$unpacked/$file" "$work/$top-zip/$top/$file" || fail "installs another $file than its zip holds"
  done <<<"$expected"
  echo "$setup: a $format program; installs the zip's files byte for byte and an uninstaller"
}

for zip in "$@"; do
  if [[ $zip == *-setup.exe ]]; then
    check_setup "$zip"
    continue
  fi
  top=$(basename "$zip" .zip)
  case $top in
    *-win32) triplet=i686-w64-mingw32 kill_at=--kill-at ;;
    *-win64) triplet=x86_64-w64-mingw32 kill_at= ;;
    *) fail "not a win32 or win64 zip" ;;
  esac

  expected=$(printf "$top/%s\n" README.txt include/tallyx/tallyx.h libtallyx.dll.a tallyread.exe tallyread.txt \
    tallyx.def tallyx.dll tallyx.exe tallyx.txt | LC_ALL=C sort)
  listed=$(cmake -E tar tf "$zip" | { grep -v '/$' || true; } | LC_ALL=C sort)
  [ "$listed" = "$expected" ] || fail "holds other files than expected:
$(diff <(echo "$expected") <(echo "$listed") || true)"

  unpacked=$work/$top
  mkdir "$unpacked"
  archive=$(realpath "$zip")
  (cd "$unpacked" && cmake -E tar xf "$archive")
  folder=$unpacked/$top
  bash "$repo/tests/check_windows_exports.sh" "$folder/tallyx.dll" "$triplet-objdump"

  for text in README.txt tallyread.txt tallyx.txt tallyx.def include/tallyx/tallyx.h; do
    file=$folder/$text
    lines=$(wc -l <"$file")
    # grep also counts a last line without a line feed, which wc does not.
    [ "$lines" -gt 0 ] && [ "$(grep -c $'\r$' "$file")" = "$lines" ] ||
      fail "$text does not end every line in CR LF"
    ! grep -q $'\b\|@[A-Z]\+@' "$file" || fail "$text holds overstriking or an unfilled placeholder"
    # Ports and paths as Windows names them: no Linux device, variable, group or manual section.
    ! grep -nE '/dev/|TALLYX_PORT_DIR|dialout|tallysim|[a-z]\(1\)' "$file" ||
      fail "$text speaks of Linux ports, paths or manual pages"
  done

  "$triplet-dlltool" $kill_at -d "$folder/tallyx.def" -D tallyx.dll -l "$unpacked/from-def.a"
  for library in "$folder/libtallyx.dll.a" "$unpacked/from-def.a"; do
    "$triplet-gcc-posix" -Wall -Wextra -Werror -I"$folder/include" "$work/caller.c" "$library" -o "$unpacked/caller.exe" ||
      fail "a caller does not link with $(basename "$library")"
    imported=$("$triplet-objdump" -p "$unpacked/caller.exe" | sed -n '/DLL Name: tallyx.dll/,/^$/p' |
      awk 'NR > 2 && NF >= 3 { print $3 }' | LC_ALL=C sort)
    [ "$imported" = "$names" ] || fail "a caller linked with $(basename "$library") imports from tallyx.dll:
$imported"
  done
  echo "$zip: complete, ten exports, CR LF text, the header links with both import libraries"
done
