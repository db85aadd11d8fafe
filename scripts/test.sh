#!/usr/bin/env bash
# Every test: set-up, then each preset built and its tests run: native; native under the
# address and undefined-behaviour sanitizers with a short fuzzing run; the 32-bit shipping
# build inspected and run under 32-bit Wine in the emulated i386 environment; 64-bit Windows
# under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

export VARDANE_WINEPREFIX="${VARDANE_WINEPREFIX:-$PWD/build/wineprefix}"
export WINEPREFIX="$VARDANE_WINEPREFIX"
export WINEDEBUG=-all
# One virtual display for every Windows test, there before the Wine server starts.
. scripts/lib/wine-session.sh
start_display
trap stop_display EXIT

for preset in native sanitize mingw-i686 mingw-x86_64; do
    echo "== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    if [ "$preset" = mingw-x86_64 ]; then
        # A cold prefix makes the first Wine start slow enough to time out test discovery.
        bash scripts/wine-prefix.sh
    fi
    ctest --preset "$preset"
done
