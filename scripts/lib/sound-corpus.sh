# Generated Ogg Vorbis corpora for the benchmarks: short sounds and long tracks that mix tones,
# sweeps and noise, so that the encoder has real work (noise costs bits; pure tones would make
# a decoder's job unusually light). A fixed seed keeps reruns on the same corpus.
#
# sound_bench_prepare NAME TARGET
#   Builds TARGET of the native preset and sets `scratch` to a new folder, removed on exit
#   unless KEEP=1. Expects `root`, `say` and `fail` from the benchmark.
# sound_corpus_list SHORT LONG LAYOUT > LIST
#   One line per file: path (no extension) rate channels seconds quality synth-arguments.
#   LAYOUT flat:   rates 22050, 44100 and 48000, mono or stereo, all in one folder.
#   LAYOUT nested: mono 22,050 Hz or stereo 44,100 Hz, short sounds spread over nested folders
#                  (sfx/..., voices/...), long stereo tracks in music/.
# sound_corpus_make DIR LIST JOBS
#   Encodes every file of LIST below DIR with sox and oggenc, JOBS at a time; with
#   SOUND_CORPUS_FORMAT=wav, writes 16-bit WAV masters instead.

sound_bench_prepare() {
    if [ ! -f "$root/build/native/CMakeCache.txt" ]; then
        say "== configuring the native preset"
        (cd "$root" && cmake --preset native >/dev/null)
    fi
    # Only the target and what it links: an up-to-date build costs a second.
    (cd "$root" && cmake --build --preset native --target "$2" >/dev/null) || fail "build failed"
    scratch="$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")"
    if [ "${KEEP:-0}" = 1 ]; then
        trap "say '$1: corpus kept in $scratch'" EXIT
    else
        trap "rm -rf '$scratch'" EXIT
    fi
}

sound_corpus_list() {
    awk -v short="$1" -v long="$2" -v layout="$3" 'BEGIN {
        srand(5)
        split("22050 44100 48000", rates, " ")
        split("sfx/doors sfx/weapons sfx/ambience voices/intro voices/act1/village voices/act1/caves ui", folders, " ")
        n = short + long
        for (i = 0; i < n; i++) {
            isLong = i >= short
            if (layout == "nested") {
                ch = isLong ? 2 : 1 + int(rand() * 2)
                rate = ch == 1 ? 22050 : 44100
            } else {
                rate = rates[1 + int(rand() * 3)]
                ch = 1 + int(rand() * 2)
            }
            secs = isLong ? 180 : sprintf("%.2f", 1 + rand() * 4)
            q = isLong ? 4 : 3 + int(rand() * 3)
            f1 = int(110 + rand() * 800); f2 = int(f1 * (1.25 + rand())); f3 = int(2000 + rand() * 6000)
            kind = (i * 7 + int(rand() * 3)) % 6
            if (kind == 0) synth = "sine " f1 " sine " f2 " gain -6"
            else if (kind == 1) synth = "pinknoise sine mix " f1 " sine mix " f2 " gain -9"
            else if (kind == 2) synth = "sine " f1 "-" f3 " square " f2 "-" f1 " lowpass 4000 tremolo 3 40 gain -8"
            else if (kind == 3) synth = "pluck " f1 " pluck " f2 " gain -4"
            else if (kind == 4) synth = "brownnoise triangle mix " f2 " band " f1 " 800 gain -3"
            else synth = "whitenoise sine amod 0.5 50 sine mix " f3 " highpass 200 gain -12"
            name = isLong ? sprintf("long-%02d", i - short) : sprintf("short-%03d", i)
            if (layout == "nested")
                name = (isLong ? "music" : folders[1 + i % 7]) "/" name
            printf "%s %d %d %s %d %s\n", name, rate, ch, secs, q, synth
        }
    }'
}

sound_corpus_make_one() {  # DIR NAME RATE CHANNELS SECONDS QUALITY SYNTH...
    set -euo pipefail
    local dir=$1 name=$2 rate=$3 ch=$4 secs=$5 q=$6
    shift 6
    mkdir -p "$(dirname "$dir/$name")"
    if [ "${SOUND_CORPUS_FORMAT:-ogg}" = wav ]; then
        sox -V1 -n -r "$rate" -c "$ch" -b 16 -e signed "$dir/$name.wav" synth "$secs" "$@"
        return
    fi
    # Raw PCM on the pipe: a streamed WAV header would carry a wrong length.
    sox -V1 -n -r "$rate" -c "$ch" -b 16 -e signed -t raw - synth "$secs" "$@" |
        oggenc -Q -q "$q" -r -R "$rate" -C "$ch" -B 16 -o "$dir/$name.ogg" -
}

sound_corpus_make() {
    export -f sound_corpus_make_one
    export SOUND_CORPUS_FORMAT
    sed "s|^|$1 |" "$2" | xargs -P "$3" -L 1 bash -c 'sound_corpus_make_one "$@"' _
}

# sound_corpus_summary LIST: "N s of audio; RATE/LAYOUT xCOUNT, ..."
sound_corpus_summary() {
    printf '%s s of audio; %s\n' "$(awk '{ s += $4 } END { printf "%.0f", s }' "$1")" \
        "$(awk '{ print $2 "/" ($3 == 1 ? "mono" : "stereo") }' "$1" | sort | uniq -c |
            awk '{ printf "%s%s x%d", (NR > 1 ? ", " : ""), $2, $1 }')"
}
