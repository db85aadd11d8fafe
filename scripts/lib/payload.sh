# Generated game payloads for the benchmarks: files cut from two pools of bytes made from
# fixed seeds (text that compresses about 3:1, and incompressible bytes), so reruns pack the
# same bytes. Expects `scratch`; make_many_files also FILES, FOLDERS and PAYLOAD_MB.

make_pools() {
    # Word-like lines from a small made-up vocabulary: compresses about 3:1, like scripts and
    # configuration text.
    awk -v n=$((16 * 1048576)) 'BEGIN {
        srand(7)
        split("ka ro mi te su na lo ve dri an or el ith um pa ser gon tal qu ix bar den", s, " ")
        for (i = 1; i <= 3000; i++) {
            w = ""; k = 1 + int(rand() * 4)
            for (j = 0; j < k; j++) w = w s[1 + int(rand() * 22)]
            v[i] = w
        }
        for (t = 0; t < n; t += length(l)) {
            l = ""; k = 5 + int(rand() * 12)
            for (j = 0; j < k; j++) { r = rand(); l = l (j ? " " : "") v[1 + int(r * r * 3000)] }
            if (rand() < 0.2) l = l " " int(rand() * 100000)
            l = l (rand() < 0.1 ? ".\n\n" : ".\n")
            printf "%s", l
        }
    }' >"$scratch/text.pool"
    truncate -s $((16 * 1048576)) "$scratch/text.pool"

    # Incompressible bytes, like textures and sounds: a fixed-key AES-CTR stream, or the
    # kernel's random bytes where openssl is missing.
    if command -v openssl >/dev/null; then
        head -c $((64 * 1048576)) /dev/zero |
            openssl enc -aes-128-ctr -nosalt -K 000102030405060708090a0b0c0d0e0f \
                -iv 00000000000000000000000000000000 >"$scratch/random.pool"
    else
        head -c $((64 * 1048576)) /dev/urandom >"$scratch/random.pool"
    fi
}

# One perl process cuts every file: a process per file costs more than the copying here.
# Reads "kind offset size path" lines; kind t cuts from the text pool, b from the random one.
cut_files() {  # cut_files DIR < list
    perl -e '
        use File::Path qw(make_path);
        my ($dir, $text, $random) = @ARGV;
        sub slurp { open(my $f, "<:raw", $_[0]) or die "$_[0]: $!"; local $/; return <$f> }
        my %pool = (t => slurp($text), b => slurp($random));
        while (<STDIN>) {
            my ($kind, $offset, $size, $path) = split;
            (my $folder = "$dir/$path") =~ s{/[^/]*$}{};
            make_path($folder);
            open(my $out, ">:raw", "$dir/$path") or die "$dir/$path: $!";
            print $out substr($pool{$kind}, $offset, $size);
            close($out) or die "$dir/$path: $!";
        }' "$1" "$scratch/text.pool" "$scratch/random.pool"
}

make_many_files() {  # make_many_files DIR
    local dir=$1
    # Sizes are log-uniform (text 512 B..512 KiB, binary 4 KiB..1 MiB), then scaled to the
    # wanted total; three files in five are text. Each line: kind offset size path.
    awk -v files="$FILES" -v folders="$FOLDERS" -v total=$((PAYLOAD_MB * 1048576)) \
        -v pool=$((16 * 1048576)) -v rpool=$((64 * 1048576)) 'BEGIN {
        srand(11)
        split("Data Textures Sounds Scripts", top, " ")
        per = int((files + folders - 1) / folders)
        for (i = 0; i < files; i++) {
            text[i] = (i % 5) < 3
            lo = text[i] ? log(512) : log(4096); hi = text[i] ? log(524288) : log(1048576)
            size[i] = exp(lo + rand() * (hi - lo)); sum += size[i]
        }
        for (i = 0; i < files; i++) {
            f = int(i / per)
            folder = sprintf("%s/set%02d", top[1 + f % 4], f)
            if (f % 3 == 0) folder = folder "/extra"
            s = (i % 500 == 499) ? 0 : int(size[i] * total / sum)
            room = (text[i] ? pool : rpool) - s
            printf "%s %d %d %s/f%04d.%s\n", text[i] ? "t" : "b", int(rand() * room), s,
                folder, i, text[i] ? "txt" : "bin"
        }
    }' >"$scratch/files.list"

    cut_files "$dir" <"$scratch/files.list"
    printf 'exit 0\n' >"$dir/patch.bat"
}
