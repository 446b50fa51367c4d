#!/usr/bin/env bash
# Installs what building and testing tallyx needs on a Debian machine (run as root), or, given
# package names, just those that are missing.
set -euo pipefail
packages=(cmake ninja-build g++ clang libclang-rt-dev pkg-config binutils libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev python3 python3-matplotlib python3-setuptools python3-pip libjs-chart.js
  chromium chromium-driver python3-selenium libsqlite3-dev libboost-dev)
(($#)) && packages=("$@")
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
