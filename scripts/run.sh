#!/usr/bin/env bash
# Installs what is missing, builds Korvel and starts it together with the virtual adapter, so Connect
# works without hardware. The demo keeps its own settings file; the user's own settings are not touched.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

"$root/scripts/deps.sh"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --parallel "$(nproc)" --target korvel korvel-sim

exec "$root/scripts/demo.sh" "$root/build"
