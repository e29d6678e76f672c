#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Idempotent: packages already
# present are not touched, and nothing is fetched when all of them are there.
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-dev libgtest-dev libgmock-dev googletest
          g++-mingw-w64-x86-64 valgrind libbenchmark-dev libpng-dev pkg-config
          libaravis-dev libusb-1.0-0-dev python3 python3-numpy
          libcli11-dev nlohmann-json3-dev zlib1g-dev libz-mingw-w64-dev)
# The Windows suite runs under the 64-bit Wine alone: its recommendations would pull in the
# 32-bit Wine and with it a second architecture, which nothing here needs.
packages_without_recommends=(wine64)

missing_from() {
    local p
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            echo "$p"
        fi
    done
}

mapfile -t missing < <(missing_from "${packages[@]}")
mapfile -t missing_plain < <(missing_from "${packages_without_recommends[@]}")

if [ ${#missing[@]} -eq 0 ] && [ ${#missing_plain[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]} ${missing_plain[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
if [ ${#missing[@]} -ne 0 ]; then
    $SUDO apt-get install -y -qq "${missing[@]}"
fi
if [ ${#missing_plain[@]} -ne 0 ]; then
    $SUDO apt-get install -y -qq --no-install-recommends "${missing_plain[@]}"
fi
