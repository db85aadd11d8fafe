#!/usr/bin/env bash
# Runs the WAV reader's fuzz target for SECONDS (default 600), seeded with hand-made files
# and the shared corpus's WAV files when they are there.
#   scripts/fuzz-wave.sh [FUZZER [SECONDS]]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
fuzzer=$(realpath -m "${1:-$root/build/sanitize/bin/wave_reader_fuzz}")
seconds=${2:-600}
if [ ! -x "$fuzzer" ]; then
    cmake --preset sanitize >/dev/null
    cmake --build --preset sanitize --target wave_reader_fuzz
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/seeds" "$work/found"
python3 - "$work/seeds" <<'PY'
import struct, sys, os
out = sys.argv[1]
def chunk(tag, body):
    return tag + struct.pack("<I", len(body)) + body + (b"\0" if len(body) % 2 else b"")
def riff(*chunks):
    body = b"WAVE" + b"".join(chunks)
    return b"RIFF" + struct.pack("<I", len(body)) + body
fmt = chunk(b"fmt ", struct.pack("<HHIIHH", 1, 2, 44100, 176400, 4, 16))
data = chunk(b"data", bytes(range(200)))
smpl = chunk(b"smpl", struct.pack("<9I", 0, 0, 22675, 60, 0, 0, 0, 1, 0) + struct.pack("<6I", 0, 0, 10, 19, 0, 2))
seeds = {
    "plain.wav": riff(fmt, data),
    "looped.wav": riff(fmt, data, smpl),
    "list-first.wav": riff(fmt, chunk(b"LIST", b"INFOabc"), data, smpl),
}
for name, blob in seeds.items():
    open(os.path.join(out, name), "wb").write(blob)
PY
corpus="$root/../shared/corpus"
if [ -d "$corpus" ]; then
    find "$corpus" -name '*.wav' -size -1000k -exec cp {} "$work/seeds/" \;
fi
echo "fuzzing the WAV reader for $seconds s with $(ls "$work/seeds" | wc -l) seeds"
cd "$work"
"$fuzzer" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=1024 \
    -print_final_stats=1 "$work/found" "$work/seeds"
