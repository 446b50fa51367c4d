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
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DTALLYX_INSTALL_RPATH=OFF -DTALLYX_TESTS=OFF -DTALLYX_BENCH=OFF >/dev/null
cmake --build build-package -j "$(nproc)"
(cd build-package && cpack -G DEB >/dev/null)
ls -l build-package/*.deb
# Tags kept on purpose are listed in packaging/lintian-overrides.txt with the reason.
lintian --fail-on error --suppress-tags-from-file packaging/lintian-suppressed.txt build-package/*.deb
echo "lintian: no errors"
