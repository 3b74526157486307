#!/usr/bin/env bash
# Builds Docharvest with its tests (incrementally) and runs the whole suite.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh --tests
cmake -S . -B build-tests -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDOCHARVEST_WERROR=ON >/dev/null
cmake --build build-tests
cd build-tests
# The browser tests need an X display (without one the rest run offscreen).
# -noreset: by default the server resets whenever its last client leaves, and a
# test that connects during that reset cannot start.
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1600x1000x24 -noreset" ctest --output-on-failure -j2 --timeout 600 "$@"
fi
exec ctest --output-on-failure -j2 --timeout 600 "$@"
