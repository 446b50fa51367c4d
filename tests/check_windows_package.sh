#!/usr/bin/env bash
# Checks the Windows zips: each holds exactly the expected files under its one top folder; the
# DLL exports the ten functions by ordinal and every file needs only system DLLs; the text files
# end every line in CR LF and carry no overstriking; and a C program built with the shipped
# header links, both with the shipped import library and with one made from the shipped
# tallyx.def, to the ten undecorated names of tallyx.dll.
#   tests/check_windows_package.sh dist/tallyx-<version>-win32.zip dist/tallyx-<version>-win64.zip
set -euo pipefail
(($#)) || { echo "usage: $0 ZIP..." >&2; exit 2; }
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

for zip in "$@"; do
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
