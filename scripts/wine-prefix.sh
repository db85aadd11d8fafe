#!/usr/bin/env bash
# Makes the Wine prefix the Windows tests run in and keeps its server up between tests.
set -euo pipefail
: "${WINEPREFIX:=${VARDANE_WINEPREFIX:-$HOME/.wine-vardane}}"
export WINEPREFIX WINEDEBUG=-all
mkdir -p "$WINEPREFIX"
wineserver -p >/dev/null 2>&1 || true
# No .NET or HTML engine: their installers would ask on screen and wait for an answer.
WINEDLLOVERRIDES="mscoree,mshtml=" /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 </dev/null
echo "Wine prefix ready: $WINEPREFIX"
