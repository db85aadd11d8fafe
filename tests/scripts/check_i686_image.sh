#!/usr/bin/env bash
# The 32-bit shipping patcher, inspected since it cannot run here: a PE32 i386 console image
# needing only system DLLs, with one string block (ids 1 to 7, language neutral) and the
# single-image icon group 102 in language 0x0419.
set -u
exe=$1
. "$(dirname "$0")/lib.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

check "PE32 i386 console image" contains "PE32 executable (console) Intel 80386" "$(file -b "$exe")"

dlls=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'a-z' 'A-Z' | sort | tr '\n' ' ')
check "only system DLLs" same "ADVAPI32.DLL KERNEL32.DLL MSVCRT.DLL SHELL32.DLL USER32.DLL " "$dlls"

resources=$(wrestool -l "$exe")
check "one string block, language neutral" same "--type=6 --name=1 --language=0" \
    "$(printf '%s\n' "$resources" | grep -o -- '--type=6 --name=[0-9]* --language=[0-9]*')"
check "icon group 102 in language 0x0419" same "--type=14 --name=102 --language=1049" \
    "$(printf '%s\n' "$resources" | grep -o -- '--type=14 --name=[0-9]* --language=[0-9]*')"
check "the program's only icon group" same 1 "$(printf '%s\n' "$resources" | grep -c -- '--type=14')"

wrestool -x --type=14 --name=102 "$exe" >"$work/patcher.ico"
check "a single 32 x 32 image at 32 bits per pixel" same "--icon --index=1 --width=32 --height=32 --bit-depth=32 --palette-size=0" \
    "$(icotool -l "$work/patcher.ico")"

wrestool -x --raw --type=6 --name=1 "$exe" >"$work/strings.bin"
strings=$(python3 - "$work/strings.bin" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
at = 0
for string_id in range(16):  # block 1 holds ids 0 to 15
    (length,) = struct.unpack_from("<H", data, at)
    at += 2
    text = data[at : at + 2 * length].decode("utf-16-le")
    at += 2 * length
    if length:
        print("%d=%s" % (string_id, text))
PY
)
check "string table holds ids 1 to 7" same '1=Software\Pellmark\Torvicor\Vardane
2=Vardane not found!
3=Invalid Vardane installation
4=patch.bat
5=Patch file is corrupted
6=Patch was successfully applied.
7=Vardane Patch 1.02' "$strings"

finish
