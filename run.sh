#!/usr/bin/env bash
# Builds Docharvest (incrementally) and starts it.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target docharvest
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat >&2 <<'TXT'
No display found (DISPLAY and WAYLAND_DISPLAY are empty), so the window cannot open.
Start it under a virtual X server instead:
    xvfb-run -a -s "-screen 0 1600x1000x24" ./run.sh
TXT
    exit 1
fi
exec ./build/docharvest "$@"
