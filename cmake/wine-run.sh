#!/bin/sh
# Runs a Windows test executable under 64-bit Wine, in the build's own Wine prefix unless
# WINEPREFIX is set, quietly unless WINEDEBUG is set.
: "${WINEPREFIX:=${VARDANE_WINEPREFIX:-$HOME/.wine-vardane}}"
: "${WINEDEBUG:=-all}"
export WINEPREFIX WINEDEBUG
WINE64=/usr/lib/wine/wine64
[ -x "$WINE64" ] || WINE64=$(command -v wine64 || command -v wine)
exec "$WINE64" "$@"
