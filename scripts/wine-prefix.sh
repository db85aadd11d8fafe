#!/usr/bin/env bash
# Makes the Wine prefix the Windows tests run in and keeps its server up between tests.
set -euo pipefail
: "${WINEPREFIX:=${VARDANE_WINEPREFIX:-$HOME/.wine-vardane}}"
export WINEPREFIX WINEDEBUG=-all
mkdir -p "$WINEPREFIX"
wineserver -p >/dev/null 2>&1 || true
# No .NET or HTML engine: their installers would ask on screen and wait for an answer.
WINEDLLOVERRIDES="mscoree,mshtml=" /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 </dev/null
# Windows programs draw their own frames here, title bars included, as Windows would: a virtual
# X display has no window manager to draw them. The caption buttons' glyphs come from Wine's
# own symbol font, which the prefix must hold.
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1 </dev/null
install -m 644 /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf"
echo "Wine prefix ready: $WINEPREFIX"
