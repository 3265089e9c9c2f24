#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing, builds, and starts Orvantis together with the local demo
# chart server (unless ORVANTIS_CHART_SERVER / ORVANTIS_NOTIFY_SERVER are already set).
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
orvantis_install_deps

cmake --preset default >/dev/null
cmake --build --preset default --target orvantis orvantis-chartd orvantis-chart
bin="$PWD/build/bin"

pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT INT TERM

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    for n in $(seq 90 130); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
    done
    Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    export DISPLAY=":$n"
    echo "No display found: started a private Xvfb display $DISPLAY (nothing will be visible on screen)."
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
fi

# Outside a login session there is no private runtime folder: use the program's own.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    export XDG_RUNTIME_DIR="/tmp/orvantis-$(id -u)"
    mkdir -p -m 700 "$XDG_RUNTIME_DIR"
fi

if [ -z "${ORVANTIS_CHART_SERVER:-}" ] && [ -x "$bin/orvantis-chartd" ]; then
    portfile=$(mktemp)
    "$bin/orvantis-chartd" --port 0 --port-file "$portfile" &
    pids+=($!)
    for _ in $(seq 100); do [ -s "$portfile" ] && break; sleep 0.05; done
    port=$(cat "$portfile"); rm -f "$portfile"
    export ORVANTIS_CHART_SERVER="http://127.0.0.1:$port"
    export ORVANTIS_NOTIFY_SERVER="${ORVANTIS_NOTIFY_SERVER:-http://127.0.0.1:$port}"
    echo "Demo chart server on $ORVANTIS_CHART_SERVER"
fi

"$bin/orvantis" "$@"
