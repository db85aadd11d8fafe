#!/usr/bin/env bash
# The 32-bit shipping programs, inspected since they cannot run here.
# The patcher: a PE32 i386 console image needing only system DLLs, with one string block (ids 1
# to 10, language neutral) and the single-image icon group 102 in language 0x0419.
# The converter: a PE32 i386 GUI image needing only system DLLs, whose resources are, byte for
# byte, the dialog, icon, four string versions and language markers it must carry.
# Both within their download size: the patcher at most 160 KB (its Zstandard decoder included),
# the converter at most 320 KB.
# Both with what Windows reads before it starts them, language neutral: a version resource and
# an application manifest (the patcher asks for an administrator, the converter runs as invoked
# and is DPI aware; both name Vista to 10 and 11 as supported).
#   check_i686_image.sh PATCHER SONDREL
set -u
exe=$1
sondrel=$2
. "$(dirname "$0")/lib.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

imports() {
    i686-w64-mingw32-objdump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'a-z' 'A-Z' | sort | tr '\n' ' '
}

check "PE32 i386 console image" contains "PE32 executable (console) Intel 80386" "$(file -b "$exe")"
check "only system DLLs" same "ADVAPI32.DLL KERNEL32.DLL MSVCRT.DLL SHELL32.DLL USER32.DLL " "$(imports "$exe")"
check "the patcher is at most 160 KB ($(stat -c %s "$exe") bytes)" test "$(stat -c %s "$exe")" -le 163840

resources=$(wrestool -l "$exe")
check "one string block, language neutral" same "--type=6 --name=1 --language=0" \
    "$(printf '%s\n' "$resources" | grep -o -- '--type=6 --name=[0-9]* --language=[0-9]*')"
check "icon group 102 in language 0x0419" same "--type=14 --name=102 --language=1049" \
    "$(printf '%s\n' "$resources" | grep -o -- '--type=14 --name=[0-9]* --language=[0-9]*')"
check "the program's only icon group" same 1 "$(printf '%s\n' "$resources" | grep -c -- '--type=14')"

wrestool -x --type=14 --name=102 "$exe" >"$work/patcher.ico"
check "a single 32 x 32 image at 32 bits per pixel" same "--icon --index=1 --width=32 --height=32 --bit-depth=32 --palette-size=0" \
    "$(icotool -l "$work/patcher.ico")"

# Prints what Windows reads from a program's version resource (the fixed numbers and every
# string) and from its manifest (its identity, execution level, supported systems and settings).
release_view() {  # release_view EXE
    wrestool -x --raw --type=16 --name=1 --language=0 "$1" >"$work/version.bin"
    wrestool -x --raw --type=24 --name=1 --language=0 "$1" >"$work/manifest.xml"
    python3 - "$work/version.bin" "$work/manifest.xml" <<'PY'
import struct, sys
import xml.etree.ElementTree as ET

def node(data, at):  # one VS_VERSIONINFO, StringFileInfo, StringTable, String or Var record
    length, value_length, kind = struct.unpack_from("<HHH", data, at)
    end, key_at = at + length, at + 6
    key_end = key_at
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[key_at:key_end].decode("utf-16-le")
    value_at = (key_end + 2 + 3) & ~3
    size = value_length * 2 if kind == 1 else value_length
    value = data[value_at:value_at + size]
    children, child = [], (value_at + size + 3) & ~3
    while child < end:
        children.append(node(data, child))
        child = (child + children[-1][3] + 3) & ~3
    return key, value, children, length

def text(value):
    return value.decode("utf-16-le").rstrip("\0")

key, fixed, children, _ = node(open(sys.argv[1], "rb").read(), 0)
signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
quad = lambda ms, ls: "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
print("%s %08X file %s product %s" % (key, signature, quad(file_ms, file_ls), quad(product_ms, product_ls)))
for name, _, tables, _ in children:
    for table, value, strings, _ in tables:
        if name == "StringFileInfo":
            for string, value, _, _ in strings:
                print("%s %s=%s" % (table, string, text(value)))
        else:
            print("%s %s" % (table, value.hex()))

asm, v3, compat = "urn:schemas-microsoft-com:asm.v1", "urn:schemas-microsoft-com:asm.v3", \
    "urn:schemas-microsoft-com:compatibility.v1"
root = ET.parse(sys.argv[2]).getroot()
identity = root.find("{%s}assemblyIdentity" % asm)
print("identity", identity.get("name"), identity.get("version"))
for level in root.iter("{%s}requestedExecutionLevel" % v3):
    print("level", level.get("level"), "uiAccess", level.get("uiAccess"))
for system in root.iter("{%s}supportedOS" % compat):
    print("supportedOS", system.get("Id"))
for dpi in root.iter("{http://schemas.microsoft.com/SMI/2005/WindowsSettings}dpiAware"):
    print("dpiAware", dpi.text)
PY
}
supported_systems='supportedOS {e2011457-1546-43c5-a5fe-008deee3d3f0}
supportedOS {35138b9a-5d96-4fbd-8e2d-a2440225f93a}
supportedOS {4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}
supportedOS {1f676c76-80e1-4239-95bb-83d0f6d0da78}
supportedOS {8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}'

check "a version resource and a manifest, language neutral" same "--type=16 --name=1 --language=0
--type=24 --name=1 --language=0" "$(printf '%s\n' "$resources" | grep -o -- '--type=\(16\|24\) --name=[0-9]* --language=[0-9]*')"
check "the patcher's version and manifest" same "VS_VERSION_INFO FEEF04BD file 1.0.0.0 product 1.2.0.0
000004B0 CompanyName=Pellmark
000004B0 FileDescription=Vardane Patch 1.02
000004B0 FileVersion=1.0
000004B0 ProductName=Vardane
000004B0 ProductVersion=1.02
Translation 0000b004
identity Pellmark.Vardane.Patcher 1.0.0.0
level requireAdministrator uiAccess false
$supported_systems" "$(release_view "$exe" 2>&1)"

# Prints "ID=TEXT" for each string of a raw string-table block (ids 0 to 15 of block 1).
string_block() {
    python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
at = 0
for string_id in range(16):
    (length,) = struct.unpack_from("<H", data, at)
    at += 2
    text = data[at : at + 2 * length].decode("utf-16-le")
    at += 2 * length
    if length:
        print("%d=%s" % (string_id, text))
PY
}

wrestool -x --raw --type=6 --name=1 "$exe" >"$work/strings.bin"
check "string table holds ids 1 to 11" same '1=Software\Pellmark\Torvicor\Vardane
2=Vardane not found!
3=Invalid Vardane installation
4=patch.bat
5=Patch file is corrupted
6=Patch was successfully applied.
7=Vardane Patch 1.02
8=Some game files could not be replaced. Close the game and apply the patch again.
9=The game files were updated, but the patch could not finish its last step. Apply the patch again.
10=The game files could not be written. Free some disk space and apply the patch again.
11=Some game files are not the version this patch updates, so nothing was changed. Install the full patch instead, or restore the game'"'"'s files and apply this patch again.' "$(string_block "$work/strings.bin")"

# --- the converter ----------------------------------------------------------------------------
check "PE32 i386 GUI image" contains "PE32 executable (GUI) Intel 80386" "$(file -b "$sondrel")"
check "the converter needs only system DLLs" same "KERNEL32.DLL MSVCRT.DLL USER32.DLL " "$(imports "$sondrel")"
check "the converter is at most 320 KB ($(stat -c %s "$sondrel") bytes)" test "$(stat -c %s "$sondrel")" -le 327680

check "exactly its resources, in their languages" same "--type=3 --name=1 --language=1049
--type=5 --name=101 --language=1049
--type=6 --name=1 --language=1024
--type=6 --name=1 --language=1031
--type=6 --name=1 --language=1036
--type=6 --name=1 --language=2057
--type=14 --name=102 --language=1049
--type=16 --name=1 --language=0
--type=24 --name=1 --language=0
--type=255 --name=1 --language=1024
--type=255 --name=1 --language=1031
--type=255 --name=1 --language=1036
--type=255 --name=1 --language=2057" \
    "$(wrestool -l "$sondrel" | grep -o -- '--type=[0-9]* --name=[0-9]* --language=[0-9]*')"

raw() {  # raw TYPE NAME LANGUAGE OUT
    wrestool -x --raw --type="$1" --name="$2" --language="$3" "$sondrel" >"$4"
}
raw 5 101 1049 "$work/dialog.bin"
raw 14 102 1049 "$work/group.bin"
raw 3 1 1049 "$work/image.bin"
# The expected bytes, laid out from the documented values: DLGTEMPLATEEX and its two
# DLGITEMTEMPLATEEX records, and the icon group's directory.
python3 - "$work" <<'PY' >"$work/expected.txt"
import struct, sys
work = sys.argv[1]

def text(s):
    return s.encode("utf-16-le") + b"\0\0"

def align(b):
    return b + b"\0" * (-len(b) % 4)

dialog = struct.pack("<HHIIIHhhhh", 1, 0xFFFF, 0, 0x00000080, 0x90000AC4, 2, 0, 0, 214, 38)
dialog += b"\0\0" + b"\0\0" + text("")                        # no menu, default class, empty title
dialog += struct.pack("<HHBB", 8, 0, 0, 1) + text("MS Sans Serif")
dialog = align(dialog)
dialog += struct.pack("<IIIhhhhI", 0, 0, 0x50020200, 46, 5, 164, 30, 1000)
dialog += struct.pack("<HH", 0xFFFF, 0x0082) + text("Unpacking sounds. Please wait...") + b"\0\0"
dialog = align(dialog)
dialog += struct.pack("<IIIhhhhI", 0, 0, 0x50000003, 9, 9, 21, 20, 0xFFFFFFFF)
dialog += struct.pack("<HH", 0xFFFF, 0x0082) + struct.pack("<HH", 0xFFFF, 102) + b"\0\0"
print("dialog", dialog == open(work + "/dialog.bin", "rb").read())

group = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHIH", 32, 32, 0, 0, 1, 24, 3240, 1)
print("group", group == open(work + "/group.bin", "rb").read())

image = open(work + "/image.bin", "rb").read()
header = struct.unpack_from("<IiiHH", image)
print("image", len(image) == 3240 and header == (40, 32, 64, 1, 24))
PY
check "dialog 101, byte for byte" contains "dialog True" "$(cat "$work/expected.txt")"
check "icon group 102: one 32 x 32 image of 24 bits, 3,240 bytes, image 1" contains "group True" \
    "$(cat "$work/expected.txt")"
check "icon image 1: a 32 x 32, 24-bit bitmap with its mask" contains "image True" "$(cat "$work/expected.txt")"

check "the converter's version and manifest" same "VS_VERSION_INFO FEEF04BD file 1.0.0.0 product 1.2.0.0
000004B0 CompanyName=Pellmark
000004B0 FileDescription=Vardane sound converter
000004B0 FileVersion=1.0
000004B0 ProductName=Vardane
000004B0 ProductVersion=1.02
Translation 0000b004
identity Pellmark.Vardane.SoundConverter 1.0.0.0
level asInvoker uiAccess false
$supported_systems
dpiAware true" "$(release_view "$sondrel" 2>&1)"

for version in "1024 Unpacking sounds. Please wait..." "1031 Entpacke Sound-Daten. Bitte warten..." \
    "1036 Décompression des sons. Veuillez patienter..." "2057 Unpacking sounds. Please wait..."; do
    language=${version%% *}
    raw 6 1 "$language" "$work/strings-$language.bin"
    check "string 1 in language $language, alone in its block" same "1=${version#* }" \
        "$(string_block "$work/strings-$language.bin")"
    raw 255 1 "$language" "$work/marker-$language.bin"
    check "language marker $language" same "$(printf '%08x' "$language" | sed 's/\(..\)\(..\)\(..\)\(..\)/\4\3\2\1/')" \
        "$(xxd -p "$work/marker-$language.bin")"
done

finish
