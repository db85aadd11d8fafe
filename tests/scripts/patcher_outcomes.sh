#!/usr/bin/env bash
# The native patcher run end to end: each outcome with its message line and exit status,
# using the regedit-format registry stand-in named by PATCHER_REGISTRY.
#   patcher_outcomes.sh PATCHER MKPATCH SONDREL
set -u
patcher_bin=$(realpath "$1")
mkpatch_bin=$(realpath "$2")
sondrel_bin=$(realpath "$3")
. "$(dirname "$0")/lib.sh"

work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
cd "$work"

banner='Vardane Patcher 1.0
Archive extraction 1.00
Compression library '

register() {  # register PATH-VALUE  (writes the registry file)
    printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Pellmark\\Torvicor\\Vardane]\r\n"Path"="%s"\r\n' "$1" >registry.reg
}

# run PATCHER: sets out, err, rc
run() {
    out=$(PATCHER_REGISTRY="$work/registry.reg" "$1" 2>err.txt)
    rc=$?
    err=$(cat err.txt)
}

mkdir -p payload/Data payload/Patch/a
printf 'new data\n' >payload/Data/a.txt
printf 'sound' >payload/Patch/a/x.ogg
cat >payload/patch.bat <<'SCRIPT'
printf '%s|%s|%s\n' "$#" "$1" "$2" > script-args.txt
pwd > script-dir.txt
exit 0
SCRIPT
"$mkpatch_bin" build --stub "$patcher_bin" --out patch.exe payload
chmod +x patch.exe

# Outcome 0: everything extracted, the script ran in the install folder with both folders.
mkdir game
register "$work/game"
run ./patch.exe
check "success exits 0" same 0 "$rc"
check "success prints the banner first" contains "$banner" "$out"
check "success lists every entry" same " extracting: Data/a.txt
 extracting: Patch/a/x.ogg
 extracting: patch.bat" "$(printf '%s\n' "$out" | tail -n 3)"
check "success message" same "Vardane Patch 1.02: Patch was successfully applied." "$err"
check "script got both folders" same "2|$work/game\\Patch\\|$work/game\\Sounds\\" "$(cat game/script-args.txt)"
check "script ran in the install folder" same "$work/game" "$(cat game/script-dir.txt)"
check "files extracted" same "new data" "$(cat game/Data/a.txt)"

# Outcome 2: no key, an empty value, or no registry file at all; nothing is touched.
printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n"Path"="%s"\r\n' "$work/game2" >registry.reg
mkdir game2
run ./patch.exe
check "missing key exits 1" same 1 "$rc"
check "missing key message" same "Vardane Patch 1.02: Vardane not found!" "$err"
check "missing key still prints the banner" contains "$banner" "$out"
check "missing key extracts nothing" same "" "$(ls game2)"
register ""
run ./patch.exe
check "empty path is not found" same "Vardane Patch 1.02: Vardane not found!" "$err"
out=$(env -u PATCHER_REGISTRY ./patch.exe 2>&1)
check "no registry file is not found" contains "Vardane not found!" "$out"

# Outcome 3: the folder does not exist.
register "$work/nowhere"
run ./patch.exe
check "missing folder exits 1" same 1 "$rc"
check "missing folder message" same "Vardane Patch 1.02: Invalid Vardane installation" "$err"
check "missing folder created nothing" test ! -e "$work/nowhere"

# Outcome 5: a truncated patcher file (checked before the folder), an entry that stops the pass,
# or a script that is not there.
head -c $(($(stat -c %s patch.exe) - 30)) patch.exe >cut.exe
chmod +x cut.exe
mkdir game3
register "$work/game3"
run ./cut.exe
check "truncated exits 1" same 1 "$rc"
check "truncated message" same "Vardane Patch 1.02: Patch file is corrupted" "$err"
check "truncated wrote nothing" same "" "$(ls game3)"
register "$work/nowhere"
run ./cut.exe
check "damaged archive wins over an invalid folder" same "Vardane Patch 1.02: Patch file is corrupted" "$err"

mkdir -p noscript/Data
printf 'x' >noscript/Data/only.txt
# mkpatch gives a payload without a script one of its own; a patch made otherwise may lack it.
(cd noscript && zip -q -X -r ../noscript.zip .)
cat "$patcher_bin" noscript.zip >noscript.exe
chmod +x noscript.exe
mkdir game4
register "$work/game4"
run ./noscript.exe
check "missing script exits 1" same 1 "$rc"
check "missing script message" same "Vardane Patch 1.02: Patch file is corrupted" "$err"
check "missing script still extracted the files" same "x" "$(cat game4/Data/only.txt)"
"$mkpatch_bin" build --stub "$patcher_bin" --out scripted.exe noscript 2>err.txt >/dev/null
check "mkpatch says it added a script" contains "holds no patch.bat; the patch has one that only removes itself" \
    "$(cat err.txt)"
chmod +x scripted.exe
mkdir game4b
register "$work/game4b"
run ./scripted.exe
check "the added script ends well and removes itself" same "0 Vardane Patch 1.02: Patch was successfully applied. Data" \
    "$rc $err $(ls game4b)"

# Outcome 8: everything else went well, but a file could not be replaced (a folder stands in
# its way): the script still runs, and the player is told to close the game and try again.
mkdir -p game8/Data/a.txt/inside
register "$work/game8"
run ./patch.exe
check "a file not replaced exits 1" same 1 "$rc"
check "a file not replaced is named" contains "error opening Data/a.txt" "$out"
check "a file not replaced message" same \
    "Vardane Patch 1.02: Some game files could not be replaced. Close the game and apply the patch again." "$err"
check "the other files are extracted" same "sound" "$(cat game8/Patch/a/x.ogg)"
check "the script still ran" test -e game8/script-args.txt

# Outcome 9: the script ends with a failure. Here it is the converter's, passed on as the
# standard patch.bat does: the good sounds are converted, the undecodable one is not.
mkdir -p sounds/Data sounds/Patch/music
printf 'level' >sounds/Data/level.dat
sox -V1 -n -r 22050 -c 1 -b 16 -e signed -t raw - synth 0.3 sine 440 |
    oggenc -Q -r -R 22050 -C 1 -B 16 -o sounds/Patch/music/good.ogg -
printf 'not a sound' >sounds/Patch/bad.ogg
cat >sounds/patch.bat <<SCRIPT
"$sondrel_bin" "\$1" "\$2"
status=\$?
rm -rf Patch
exit \$status
SCRIPT
"$mkpatch_bin" build --stub "$patcher_bin" --out sounds.exe sounds
chmod +x sounds.exe
mkdir game9
register "$work/game9"
run ./sounds.exe
check "a failed script exits 1" same 1 "$rc"
check "a failed script message" same \
    "Vardane Patch 1.02: The game files were updated, but the patch could not finish its last step. Apply the patch again." \
    "$(printf '%s\n' "$err" | tail -n 1)"
check "the good sound is converted, the bad one is not" same "music/good.wav" \
    "$(cd game9/Sounds && find . -type f | sed 's|^\./||')"
check "the game file is installed" same "level" "$(cat game9/Data/level.dat)"
mv sounds/Patch/bad.ogg bad.ogg
"$mkpatch_bin" build --stub "$patcher_bin" --out clean.exe sounds
chmod +x clean.exe
rm -rf game9 && mkdir game9
run ./clean.exe
check "the same patch without the bad sound succeeds" same "0 Vardane Patch 1.02: Patch was successfully applied." \
    "$rc $(printf '%s\n' "$err" | tail -n 1)"

# Outcome 10: the disk takes 100 KB of any file, and an entry is larger: a full disk is not a
# damaged download. The old file stays.
mkdir -p big/Data
head -c 1000000 /dev/zero | tr '\0' 'v' >big/Data/big.bin
printf 'exit 0\n' >big/patch.bat
"$mkpatch_bin" build --stub "$patcher_bin" --out big.exe big
chmod +x big.exe
mkdir -p game10/Data
printf 'old' >game10/Data/big.bin
register "$work/game10"
out=$(trap '' XFSZ; ulimit -f 100; PATCHER_REGISTRY="$work/registry.reg" ./big.exe 2>err.txt)
rc=$?
err=$(cat err.txt)
check "a full disk exits 1" same 1 "$rc"
check "a full disk is reported on the console" contains "error in writing extracted file" "$out"
check "a full disk message" same \
    "Vardane Patch 1.02: The game files could not be written. Free some disk space and apply the patch again." "$err"
check "a full disk keeps the old file" same "old" "$(cat game10/Data/big.bin)"

python3 - "$patcher_bin" <<'PY'
import sys, zipfile, io
buf = io.BytesIO()
with zipfile.ZipFile(buf, "w") as z:
    z.writestr("first.txt", "first")
    z.writestr("../escape.txt", "escape")
    z.writestr("patch.bat", "exit 0\n")
open("unsafe.exe", "wb").write(open(sys.argv[1], "rb").read() + buf.getvalue())
PY
chmod +x unsafe.exe
mkdir -p sandbox/game5
register "$work/sandbox/game5"
run ./unsafe.exe
check "unsafe entry exits 1" same 1 "$rc"
check "unsafe entry is named" contains 'refusing entry ../escape.txt: ".." in path' "$out"
check "unsafe entry message" same "Vardane Patch 1.02: Patch file is corrupted" "$err"
check "nothing outside the install folder" same "game5" "$(ls sandbox)"
check "entries before it stay" same "first" "$(cat sandbox/game5/first.txt)"
check "the script did not run" test ! -e sandbox/game5/script-args.txt

finish
