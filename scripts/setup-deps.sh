#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Idempotent: packages already
# present are not touched, and nothing is fetched when all of them are there.
set -euo pipefail

packages=(cmake ninja-build g++ clang libgtest-dev libgmock-dev googletest
          g++-mingw-w64-x86-64 valgrind)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq "${missing[@]}"
