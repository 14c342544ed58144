#!/bin/sh
# GNOME's Wayland session, measured on a headless GNOME Shell (the end-to-end suite's
# set-up): release -> bar mapped over N drag-selections in a Wayland GTK window (target:
# p95 <= 100 ms, the 80 ms read delay included), and GNOME Shell's CPU time over 10 idle
# seconds with Pivorel's extension enabled and disabled (target: no difference).
#   bench/gnome_wayland.sh [BUILD_DIR] [N]     (default build/release, 30 drags)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
PIVOREL_E2E_BENCH=${2:-30} exec "$root/tests/GnomeShell/e2e.sh" "$build/Pivorel/pivorel" \
    "$build/Pivorel/GnomeWayland/gnome-shell"
