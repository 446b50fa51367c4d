#!/usr/bin/env bash
# Makes the Windows downloads from build-win32/ and build-win64/ (their shipped programs built
# first if needed), checks them, and prints their paths:
#   dist/tallyx-<version>-win32.zip         dist/tallyx-<version>-win64.zip
#   dist/tallyx-<version>-win32-setup.exe   dist/tallyx-<version>-win64-setup.exe
# Each zip holds one folder tallyx-<version>-<arch>/ with the DLL, its import library and module
# definition file, the header, both programs, their manuals as text and README.txt; each
# installer installs the same files (packaging/windows/tallyx.nsi).
#
# The downloads of one commit are the same bytes wherever and whenever they are made: every file
# carries the commit's time (SOURCE_DATE_EPOCH, when set, wins), the files go in in a fixed
# order with fixed permissions, and the binaries hold no time or build folder (CMakeLists.txt).
# scripts/check-reproducible.sh checks it.
set -euo pipefail
cd "$(dirname "$0")/.."

# groff renders the manuals, makensis makes the installers and 7z lists them for the check; the
# mingw-w64 tools come with the Windows build.
bash scripts/install-deps.sh groff-base nsis p7zip-full
bash scripts/build-windows.sh --downloads

version=$(sed -nE 's/^project\(tallyx VERSION ([0-9.]+) .*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package-windows.sh: no project version in CMakeLists.txt" >&2; exit 1; }

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) ||
    { echo "package-windows.sh: not a git checkout: set SOURCE_DATE_EPOCH to the commit's time" >&2; exit 1; }
fi
export SOURCE_DATE_EPOCH
export TZ=UTC LC_ALL=C

# Windows text files: every line ends in CR LF (a CR already there is not doubled).
to_crlf() {  # SOURCE TARGET
  sed -e 's/\r$//' -e 's/$/\r/' "$1" >"$2"
}

mkdir -p dist
downloads=()
for arch in win32 win64; do
  name=tallyx-$version-$arch
  stage=dist/$name
  rm -rf "$stage" "dist/$name.zip" "dist/$name-setup.exe"
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
    # Plain ASCII without overstriking (-c -b -u), for Notepad, in the Windows version of the
    # page (-rwindows=1: ports and paths as Windows names them).
    groff -man -Tascii -P -cbu -rwindows=1 "man/$page.1" >"$stage/$page.txt.lf"
    to_crlf "$stage/$page.txt.lf" "$stage/$page.txt"
    rm "$stage/$page.txt.lf"
  done
  sed -e "s/@VERSION@/$version/g" -e "s/@BITS@/$bits/g" -e "s/@MACHINE@/$machine/g" -e "s/@ARCH@/$arch/g" \
    packaging/windows/README.txt >"$stage/README.txt.lf"
  to_crlf "$stage/README.txt.lf" "$stage/README.txt"
  rm "$stage/README.txt.lf"

  # Fixed permissions and times, whatever the umask and the clock of this build.
  find "$stage" -type d -exec chmod 0755 {} +
  find "$stage" -type f -exec chmod 0644 {} +
  find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

  # The files in a fixed order, so that the zip does not depend on the order of a directory, and
  # without the owner or the times of this build (deterministic_zip.py).
  mapfile -t files < <(cd dist && find "$name" -type f | sort)
  /usr/bin/python3 scripts/deterministic_zip.py "dist/$name.zip" "$SOURCE_DATE_EPOCH" dist "${files[@]}"
  makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DARCH="$arch" -DSTAGE="$PWD/$stage" \
    -DOUTFILE="$PWD/dist/$name-setup.exe" packaging/windows/tallyx.nsi
  downloads+=("$PWD/dist/$name.zip" "$PWD/dist/$name-setup.exe")
done

bash tests/check_windows_package.sh "${downloads[@]}"
printf '%s\n' "${downloads[@]}"
