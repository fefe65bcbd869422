#!/usr/bin/env bash
# Installs the Debian packages Korvel needs to build, test and run, when any is missing.
set -euo pipefail

packages=(g++ cmake ninja-build pkg-config qt6-base-dev qt6-serialport-dev libgtest-dev libgmock-dev
          libbenchmark-dev libqt6svg6 xvfb xauth python3-can python3-canmatrix python3-serial
          libqcustomplot-dev)
if [[ "${1:-}" == "--with-clang" ]]; then
    packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
[[ $(id -u) -ne 0 ]] && sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
