#!/usr/bin/env bash
# Starts the virtual adapter and a copy of Korvel set up to use it. The copy keeps its settings in
# build/demo/Korvel.ini, so the settings of Korvel started any other way are never touched.
#   scripts/demo.sh BUILD_DIR [korvel-sim options...]
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)
shift || true

demo="$build/demo"
mkdir -p "$demo"
cp -f "$build/app/korvel" "$demo/korvel"
link="$demo/korvel-sim.tty"

"$build/sim/korvel-sim" --link "$link" "$@" >"$demo/korvel-sim.log" 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null || true' EXIT
for _ in $(seq 50); do [[ -L "$link" ]] && break; sleep 0.1; done
if [[ ! -L "$link" ]]; then
    echo "The virtual adapter did not start:" >&2
    cat "$demo/korvel-sim.log" >&2
    exit 1
fi

ini="$demo/Korvel.ini"
if [[ ! -f "$ini" ]]; then
    # Adapter timestamps on, so the Monitor shows periods.
    printf '[Options]\r\nComport=%s\r\nDevice=1\r\nBaudrate=6\r\nOptions=1\r\n' "$link" >"$ini"
else
    # Point the demo's own settings at the adapter again; every other setting stays as the user left it.
    sed -i -e "s|^Comport=.*|Comport=$link\r|I" -e "s|^Device=.*|Device=1\r|I" "$ini"
fi
# The database that describes the virtual adapter's vehicle, unless the user chose databases of their own.
if ! grep -qi '^\[Databases\]' "$ini"; then
    printf '[Databases]\r\nCount=1\r\nFile1=%s\r\n' "$(cd "$(dirname "$0")/.." && pwd)/sim/demo.dbc" >>"$ini"
fi

echo "Virtual adapter on $(readlink "$link"); press Connect in Korvel, then Send All."
# A transmit list to start with: a periodic row, a trigger row and a remote-request answer.
"$demo/korvel" "$(dirname "$0")/demo.txl"
