#!/usr/bin/env bash
# Makes the Windows downloads dist/tallyx-<version>-win32.zip and dist/tallyx-<version>-win64.zip
# from build-win32/ and build-win64/ (built first if needed), checks them, and prints their paths.
# Each zip holds one folder tallyx-<version>-<arch>/ with the DLL, its import library and module
# definition file, the header, both programs, their manuals as text and README.txt.
set -euo pipefail
cd "$(dirname "$0")/.."

# groff renders the manuals; the mingw-w64 tools come with the Windows build.
bash scripts/install-deps.sh groff-base
bash scripts/build-windows.sh

version=$(sed -nE 's/^project\(tallyx VERSION ([0-9.]+) .*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package-windows.sh: no project version in CMakeLists.txt" >&2; exit 1; }

# Every file in the zips carries the time of the last commit (or SOURCE_DATE_EPOCH), so that a
# rebuild of the same source lists the same dates.
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
stamp=$(date -u -d "@$epoch" '+%Y-%m-%d %H:%M:%S UTC')

# Windows text files: every line ends in CR LF (a CR already there is not doubled).
to_crlf() {  # SOURCE TARGET
  sed -e 's/\r$//' -e 's/$/\r/' "$1" >"$2"
}

mkdir -p dist
zips=()
for arch in win32 win64; do
  name=tallyx-$version-$arch
  stage=dist/$name
  rm -rf "$stage" "dist/$name.zip"
  mkdir -p "$stage/include/tallyx"

  build=build-$arch
  if [ "$arch" = win32 ]; then
    bits=32-bit machine=x86
    # The 32-bit DLL is linked from the __stdcall names; an import library made from the
    # undecorated names would not link a caller built with the header.
    def=src/api/tallyx-x86.def
  else
    bits=64-bit machine=x64
    def=src/api/tallyx.def
  fi
  cp "$build/tallyx.dll" "$build/libtallyx.dll.a" "$build/tallyread.exe" "$build/tallyx.exe" "$stage/"
  to_crlf "$def" "$stage/tallyx.def"
  to_crlf include/tallyx/tallyx.h "$stage/include/tallyx/tallyx.h"
  for page in tallyread tallyx; do
    # Plain ASCII without overstriking (-c -b -u), for Notepad.
    groff -man -Tascii -P -cbu "man/$page.1" >"$stage/$page.txt.lf"
    to_crlf "$stage/$page.txt.lf" "$stage/$page.txt"
    rm "$stage/$page.txt.lf"
  done
  sed -e "s/@VERSION@/$version/g" -e "s/@BITS@/$bits/g" -e "s/@MACHINE@/$machine/g" \
    packaging/windows/README.txt >"$stage/README.txt.lf"
  to_crlf "$stage/README.txt.lf" "$stage/README.txt"
  rm "$stage/README.txt.lf"

  # The files in a fixed order, so that the zip does not depend on the order of a directory.
  mapfile -t files < <(cd dist && find "$name" -type f | LC_ALL=C sort)
  (cd dist && cmake -E tar cf "$name.zip" --format=zip --mtime="$stamp" "${files[@]}")
  zips+=("$PWD/dist/$name.zip")
done

bash tests/check_windows_package.sh "${zips[@]}"
printf '%s\n' "${zips[@]}"
