#!/usr/bin/env bash
# Fetches SQLite's own amalgamation (sqlite3.c, sqlite3.h) for the Windows builds, which compile
# it into tallyx.exe: from the npm registry's sqlite3 package, which ships SQLite's unmodified
# autoconf tarball. Both the package and the tarball inside it are checked against the SHA-256
# below; anything else is refused. Prints the folder that holds the two files.
#
#   bash scripts/sqlite-amalgamation.sh          (cached in build-deps/ after the first run)
set -euo pipefail
cd "$(dirname "$0")/.."

package_version=6.0.1
package_sha256=ab8d044a93e05bd031d7ea75547c7fa60387cdc259d27f93c0e3e2832c4b1df9
sqlite_release=3520000   # SQLite 3.52.0
tarball_sha256=f6b50b0c103392af32a8be15b2b9d25959de9a00a70c3979128aafeaa5338b3f

cache=$PWD/build-deps/sqlite-$sqlite_release
if [ -f "$cache/sqlite3.c" ] && [ -f "$cache/sqlite3.h" ]; then
  echo "$cache"
  exit 0
fi
command -v npm >/dev/null || bash scripts/install-deps.sh npm >&2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && npm pack --silent "sqlite3@$package_version" >/dev/null)
package="$work/sqlite3-$package_version.tgz"
echo "$package_sha256  $package" | sha256sum --check --quiet - >&2 ||
  { echo "sqlite-amalgamation.sh: sqlite3@$package_version from npm is not the package pinned here" >&2; exit 1; }
tar -xzf "$package" -C "$work" "package/deps/sqlite-autoconf-$sqlite_release.tar.gz"
tarball="$work/package/deps/sqlite-autoconf-$sqlite_release.tar.gz"
echo "$tarball_sha256  $tarball" | sha256sum --check --quiet - >&2 ||
  { echo "sqlite-amalgamation.sh: the SQLite tarball in the package is not the one pinned here" >&2; exit 1; }
tar -xzf "$tarball" -C "$work" "sqlite-autoconf-$sqlite_release/sqlite3.c" "sqlite-autoconf-$sqlite_release/sqlite3.h"
mkdir -p "$cache.part"
mv "$work/sqlite-autoconf-$sqlite_release/sqlite3.c" "$work/sqlite-autoconf-$sqlite_release/sqlite3.h" "$cache.part/"
rm -rf "$cache"
mv "$cache.part" "$cache"
echo "$cache"
