#!/usr/bin/env bash
# The limits of a patch: 65,535 entries build and extract; mkpatch refuses 65,536 files and a
# patcher file of 2 GiB or more, saying why and writing nothing.
set -u
patcher_bin=$(realpath "$1")
mkpatch_bin=$(realpath "$2")
. "$(dirname "$0")/lib.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# 65,534 small files in 256 folders, and patch.bat: the most entries a patch may hold.
python3 - <<'PY'
import os
for i in range(65534):
    folder = "payload/Data/d%03d" % (i // 256)
    if i % 256 == 0:
        os.makedirs(folder)
    with open("%s/f%05d.txt" % (folder, i), "w") as f:
        f.write("file %d\n" % i)
with open("payload/patch.bat", "w") as f:
    f.write("exit 0\n")
PY
"$mkpatch_bin" build --stub "$patcher_bin" --out most.exe payload >/dev/null
check "65,535 entries build" test -s most.exe
chmod +x most.exe
mkdir game
printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Pellmark\\Torvicor\\Vardane]\r\n"Path"="%s"\r\n' "$work/game" >registry.reg
PATCHER_REGISTRY="$work/registry.reg" ./most.exe >out.txt 2>err.txt
check "65,535 entries extract" same "0 Vardane Patch 1.02: Patch was successfully applied." "$? $(cat err.txt)"
check "every one of them" same 65535 "$(find game -type f | wc -l)"
check "the last one whole" same "file 65533" "$(cat game/Data/d255/f65533.txt)"

printf 'one more\n' >payload/Data/d000/extra.txt
"$mkpatch_bin" build --stub "$patcher_bin" --out more.exe payload >/dev/null 2>err.txt
check "65,536 files are refused" same "1 mkpatch: too many files: 65536 (at most 65535)" "$? $(cat err.txt)"
check "and nothing is written" same "" "$(ls more.exe* 2>/dev/null)"

mkdir small
printf 'x' >small/a.txt
truncate -s $((2 * 1024 * 1024 * 1024 - 100)) big-stub.exe
"$mkpatch_bin" build --stub big-stub.exe --out huge.exe small >/dev/null 2>err.txt
check "a patcher file of 2 GiB is refused" same "1 mkpatch: the patcher file would reach 2 GiB" "$? $(cat err.txt)"
check "and nothing is written" same "" "$(ls huge.exe* 2>/dev/null)"

finish
