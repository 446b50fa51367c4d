#!/usr/bin/env bash
# Builds the Debian packages (libtallyx1, libtallyx-dev, tallyx) into
# build-package/ and checks them with lintian.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
if ! command -v lintian >/dev/null; then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends lintian dpkg-dev
fi
# The packages of one commit are the same bytes wherever and whenever they are built: their
# times are the commit's (SOURCE_DATE_EPOCH, when set, wins) and the binaries hold no build folder.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) ||
    { echo "package.sh: not a git checkout: set SOURCE_DATE_EPOCH to the commit's time" >&2; exit 1; }
fi
export SOURCE_DATE_EPOCH
# cpack takes the packages' file modes from the files it stages, which the umask shapes.
umask 022
# The programs are linked with the installed run path (none) from the start: one that install
# blanks out later keeps the length of the build folder's path in the binary.
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DTALLYX_INSTALL_RPATH=OFF -DCMAKE_BUILD_WITH_INSTALL_RPATH=ON -DTALLYX_TESTS=OFF -DTALLYX_BENCH=OFF \
  -DTALLYX_REPRODUCIBLE=ON >/dev/null
cmake --build build-package -j "$(nproc)"
rm -f build-package/*.deb
(cd build-package && cpack -G DEB >/dev/null)
ls -l build-package/*.deb
# Tags kept on purpose are listed in packaging/lintian-overrides.txt with the reason.
lintian --fail-on error --suppress-tags-from-file packaging/lintian-suppressed.txt build-package/*.deb
echo "lintian: no errors"
