#!/usr/bin/env bash
# Machine set-up for building and testing this project on Debian 12 (amd64, root).
# Idempotent: a re-run on a ready machine only checks and exits.
#
# Installs the native + mingw toolchains and test tools from Debian, then
# builds static minizip/libogg/libvorbis/libzstd for both Windows targets from
# Debian's source packages (so Debian's patches are in), into
#   ${VARDANE_DEPS:-/opt/vardane-deps}/<triple>/{include,lib}
# and the 32-bit Windows test environment (qemu-i386, an i386 chroot with 32-bit Wine and
# its prefix) into ${VARDANE_I386:-/opt/vardane-i386}.
set -euo pipefail

DEPS_PREFIX="${VARDANE_DEPS:-/opt/vardane-deps}"
BUILD_ROOT="${VARDANE_DEPS_BUILD:-/var/tmp/vardane-deps-build}"
TRIPLES=(i686-w64-mingw32 x86_64-w64-mingw32)
JOBS=2
export DEBIAN_FRONTEND=noninteractive

START=$(date +%s)
log() { printf '[setup] %s\n' "$*"; }

if [ "$(id -u)" -ne 0 ]; then
    echo "setup.sh must run as root" >&2
    exit 1
fi

PACKAGES=(
    g++ cmake make pkg-config clang
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64 binutils-mingw-w64
    zlib1g-dev libminizip-dev libvorbis-dev libogg-dev libzstd-dev googletest libz-mingw-w64-dev
    wine wine64
    xvfb xdotool x11-apps imagemagick
    zip unzip zstd vorbis-tools icoutils file sox libsndfile1-dev osslsigncode openssl
    dpkg-dev time python3 libclang-rt-14-dev locales
    # the JDK's jar makes archives with UTF-8 names for the name tests
    openjdk-17-jdk-headless
    debootstrap
    # for the dependency builds below
    autoconf automake libtool patch xz-utils
)

# Another apt/dpkg may be running (unattended jobs, other sessions): wait for
# its locks instead of failing.
APT_OPTS=(-o DPkg::Lock::Timeout=900 -o Acquire::Retries=3)
apt_get() {
    local try
    for try in 1 2 3 4 5 6 7 8 9 10; do
        if apt-get "${APT_OPTS[@]}" "$@" </dev/null; then
            return 0
        fi
        log "apt-get $1 failed (try $try), retrying in 15s" >&2
        sleep 15
    done
    apt-get "${APT_OPTS[@]}" "$@" </dev/null
}

missing_packages() {
    local p
    for p in "${PACKAGES[@]}"; do
        if [ "$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null)" != installed ]; then
            echo "$p"
        fi
    done
}

# --- deb-src ---------------------------------------------------------------
# apt-get source needs the source indices; add them next to every binary entry.
SRC_CHANGED=0
for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    if grep -Eq '^Types:[[:space:]]*deb[[:space:]]*$' "$f"; then
        sed -i -E 's/^Types:[[:space:]]*deb[[:space:]]*$/Types: deb deb-src/' "$f"
        SRC_CHANGED=1
        log "enabled deb-src in $f"
    fi
done
if [ -f /etc/apt/sources.list ]; then
    # Copy each active "deb ..." line as "deb-src ..." unless already there.
    while IFS= read -r line; do
        src="deb-src${line#deb}"
        if ! grep -Fxq "$src" /etc/apt/sources.list; then
            echo "$src" >>/etc/apt/sources.list
            SRC_CHANGED=1
            log "added: $src"
        fi
    done < <(grep -E '^[[:space:]]*deb[[:space:]]' /etc/apt/sources.list | sed -E 's/^[[:space:]]+//')
fi

have_src_index() {
    compgen -G '/var/lib/apt/lists/*_Sources*' >/dev/null
}

# --- apt packages ----------------------------------------------------------
MISSING=$(missing_packages | tr '\n' ' ')
if [ -n "$MISSING" ] || [ "$SRC_CHANGED" = 1 ] || ! have_src_index; then
    log "apt-get update"
    apt_get update -q
fi
if [ -n "$MISSING" ]; then
    log "installing: $MISSING"
    # shellcheck disable=SC2086
    apt_get install -y -q $MISSING
    MISSING=$(missing_packages | tr '\n' ' ')
    if [ -n "$MISSING" ]; then
        echo "still missing after install: $MISSING" >&2
        exit 1
    fi
else
    log "all apt packages already installed"
fi

# --- locales ---------------------------------------------------------------
# The Windows tests read the converter's window in German and French: Wine takes the user's
# language from the locale of the environment.
LOCALES_CHANGED=0
for l in de_DE fr_FR; do
    if ! locale -a 2>/dev/null | grep -qx "$l.utf8"; then
        sed -i -E "s/^# *($l.UTF-8 UTF-8)/\1/" /etc/locale.gen
        grep -qx "$l.UTF-8 UTF-8" /etc/locale.gen || echo "$l.UTF-8 UTF-8" >>/etc/locale.gen
        LOCALES_CHANGED=1
    fi
done
if [ "$LOCALES_CHANGED" = 1 ]; then
    log "generating locales"
    locale-gen >/dev/null
fi

# --- static Windows dependencies -------------------------------------------
# Source package name -> stamp name. Order matters: vorbis needs ogg.
LIBS=(libogg libvorbis minizip libzstd)

# The 32-bit build ships to players: its libraries are optimised for size, with each function
# in its own section so that the linker can drop what the programs do not call, and no
# unwind tables: no exception ever passes through C code.
# libvorbis's own build uses -ffast-math on x86 Linux, and so does Debian's: without it the
# decoded samples differ from Debian's in the last bit here and there.
cflags_of() {  # cflags_of TRIPLE LIB
    local flags
    case "$1" in
    i686-*) flags="-Os -ffunction-sections -fdata-sections -fno-asynchronous-unwind-tables" ;;
    *) flags="-O2" ;;
    esac
    [ "$2" = libvorbis ] && flags="$flags -ffast-math"
    echo "$flags"
}

# libzstd's own build options. The patcher needs only the decoder: the 32-bit build takes the
# library's size options (one Huffman and one sequence decoder, nothing inlined by force, no
# error strings); neither build has legacy formats, the dictionary builder or assembly.
zstd_options_of() {  # zstd_options_of TRIPLE
    local options="ZSTD_LEGACY_SUPPORT=0 ZSTD_LIB_DEPRECATED=0 ZSTD_LIB_DICTBUILDER=0 ZSTD_NO_ASM=1"
    case "$1" in
    i686-*) options="$options HUF_FORCE_DECOMPRESS_X1=1 ZSTD_FORCE_DECOMPRESS_SEQUENCES_SHORT=1 ZSTD_NO_INLINE=1 ZSTD_STRIP_ERROR_STRINGS=1" ;;
    esac
    echo "$options"
}

# A stamp names the flags and options it was built with: new ones mean a new build.
stamp_of() {
    local settings
    settings=$(cflags_of "$1" "$2")
    [ "$2" = libzstd ] && settings="$settings $(zstd_options_of "$1") cflags-from-environment"
    echo "$DEPS_PREFIX/$1/.stamp-$2-$(echo "$settings" | cksum | cut -d' ' -f1)"
}

need_build() {
    local lib t
    for lib in "${LIBS[@]}"; do
        for t in "${TRIPLES[@]}"; do
            [ -f "$(stamp_of "$t" "$lib")" ] || return 0
        done
    done
    return 1
}

# Fetch (once) and unpack a Debian source package; prints the unpacked dir. The version apt
# picks may be one the mirror does not hold (a security update whose files are gone, say): then
# every other version the source index lists is tried, newest first.
fetch_source() {
    local pkg=$1 dir version
    mkdir -p "$BUILD_ROOT/src/$pkg"
    dir=$(find "$BUILD_ROOT/src/$pkg" -mindepth 1 -maxdepth 1 -type d -name "$pkg-*" | head -n1)
    if [ -z "$dir" ]; then
        if ! (cd "$BUILD_ROOT/src/$pkg" && apt-get "${APT_OPTS[@]}" source -q -o APT::Sandbox::User=root "$pkg" </dev/null >&2); then
            for version in $(apt-cache showsrc "$pkg" | sed -n 's/^Version: //p' | sort -r -V -u); do
                log "apt-get source $pkg failed; trying $pkg=$version" >&2
                rm -rf "${BUILD_ROOT:?}/src/$pkg"/*
                if (cd "$BUILD_ROOT/src/$pkg" &&
                    apt-get "${APT_OPTS[@]}" source -q -o APT::Sandbox::User=root "$pkg=$version" </dev/null >&2); then
                    break
                fi
            done
        fi
        dir=$(find "$BUILD_ROOT/src/$pkg" -mindepth 1 -maxdepth 1 -type d -name "$pkg-*" | head -n1)
    fi
    [ -n "$dir" ] || { echo "no unpacked source for $pkg" >&2; exit 1; }
    echo "$dir"
}

# Copy the pristine (patched) tree per target so builds never share state.
fresh_tree() {
    local src=$1 t=$2 name dst
    name=$(basename "$src")
    dst="$BUILD_ROOT/build/$t/$name"
    rm -rf "$dst"
    mkdir -p "$BUILD_ROOT/build/$t"
    cp -a "$src" "$dst"
    echo "$dst"
}

check_syms() {
    local t=$1 lib=$2
    shift 2
    local s syms
    # Read nm fully first: grep -q closing the pipe early trips pipefail.
    syms=$("$t-nm" -g --defined-only "$lib" 2>/dev/null) || { echo "cannot read $lib" >&2; return 1; }
    for s in "$@"; do
        if ! grep -Eq "[[:space:]]_?$s\$" <<<"$syms"; then
            echo "symbol $s missing from $lib" >&2
            return 1
        fi
    done
}

build_autotools() {
    # $1 tree, $2 triple, rest: extra configure flags. Output goes to a log,
    # shown only on failure.
    local tree=$1 t=$2
    shift 2
    local prefix="$DEPS_PREFIX/$t"
    local lib
    lib=$(basename "$tree")
    lib=${lib%-*}
    local logf
    logf="$BUILD_ROOT/logs/$(basename "$tree")-$t.log"
    mkdir -p "$BUILD_ROOT/logs"
    if ! (
        set -e
        cd "$tree"
        # Regenerate so Debian's patched configure.ac/Makefile.am take effect.
        autoreconf -fi
        ./configure \
            --host="$t" --prefix="$prefix" \
            --enable-static --disable-shared \
            CC="$t-gcc-posix" AR="$t-ar" RANLIB="$t-ranlib" STRIP="$t-strip" \
            PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" \
            CPPFLAGS="-I$prefix/include -I/usr/$t/include" \
            LDFLAGS="-L$prefix/lib -L/usr/$t/lib" \
            CFLAGS="$(cflags_of "$t" "$lib")" \
            "$@"
        make -j"$JOBS"
        make install
    ) >"$logf" 2>&1; then
        echo "build failed in $tree, last lines of $logf:" >&2
        tail -n 40 "$logf" >&2
        exit 1
    fi
}

if need_build; then
    mkdir -p "$BUILD_ROOT"
    for t in "${TRIPLES[@]}"; do
        command -v "$t-gcc-posix" >/dev/null || { echo "$t-gcc-posix not found" >&2; exit 1; }
        prefix="$DEPS_PREFIX/$t"
        mkdir -p "$prefix/include" "$prefix/lib"

        # libogg
        if [ ! -f "$(stamp_of "$t" libogg)" ]; then
            log "building libogg for $t"
            tree=$(fresh_tree "$(fetch_source libogg)" "$t")
            build_autotools "$tree" "$t"
            check_syms "$t" "$prefix/lib/libogg.a" ogg_sync_init
            touch "$(stamp_of "$t" libogg)"
        fi

        # libvorbis (+ vorbisfile, vorbisenc), against the libogg above
        if [ ! -f "$(stamp_of "$t" libvorbis)" ]; then
            log "building libvorbis for $t"
            tree=$(fresh_tree "$(fetch_source libvorbis)" "$t")
            build_autotools "$tree" "$t" \
                --with-ogg="$prefix" --disable-docs --disable-examples --disable-oggtest
            check_syms "$t" "$prefix/lib/libvorbis.a" vorbis_info_init
            check_syms "$t" "$prefix/lib/libvorbisfile.a" ov_open_callbacks
            check_syms "$t" "$prefix/lib/libvorbisenc.a" vorbis_encode_init_vbr
            touch "$(stamp_of "$t" libvorbis)"
        fi

        # minizip, against Debian's mingw zlib in /usr/<triple>
        if [ ! -f "$(stamp_of "$t" minizip)" ]; then
            log "building minizip for $t"
            tree=$(fresh_tree "$(fetch_source minizip)" "$t")
            build_autotools "$tree" "$t"
            # The Windows file API layer must be in; some trees don't install its header.
            if [ ! -f "$prefix/include/minizip/iowin32.h" ]; then
                install -m 644 "$(find "$tree" -name iowin32.h | head -n1)" "$prefix/include/minizip/iowin32.h"
            fi
            check_syms "$t" "$prefix/lib/libminizip.a" unzOpen2 zipOpen fill_win32_filefunc
            for h in unzip.h zip.h ioapi.h iowin32.h; do
                [ -f "$prefix/include/minizip/$h" ] || { echo "missing $prefix/include/minizip/$h" >&2; exit 1; }
            done
            touch "$(stamp_of "$t" minizip)"
        fi

        # libzstd, with its own makefile: the static library and its public headers.
        if [ ! -f "$(stamp_of "$t" libzstd)" ]; then
            log "building libzstd for $t"
            tree=$(fresh_tree "$(fetch_source libzstd)" "$t")
            logf="$BUILD_ROOT/logs/libzstd-$t.log"
            # shellcheck disable=SC2046
            # CFLAGS from the environment: on the command line it would override what the
            # library's makefile adds to it, its size options among them.
            if ! CFLAGS="$(cflags_of "$t" libzstd)" make -C "$tree/lib" -j"$JOBS" libzstd.a V=1 CC="$t-gcc-posix" \
                AR="$t-ar" TARGET_SYSTEM=Windows_NT $(zstd_options_of "$t") >"$logf" 2>&1; then
                echo "build failed in $tree, last lines of $logf:" >&2
                tail -n 40 "$logf" >&2
                exit 1
            fi
            install -m 644 "$tree/lib/libzstd.a" "$prefix/lib/libzstd.a"
            install -m 644 "$tree/lib/zstd.h" "$tree/lib/zstd_errors.h" "$prefix/include/"
            check_syms "$t" "$prefix/lib/libzstd.a" ZSTD_decompressStream ZSTD_compressStream2 ZSTD_DCtx_refPrefix
            touch "$(stamp_of "$t" libzstd)"
        fi

        # Static-only: no import libs or DLLs. The .la files and docs are
        # not used by our CMake build and only carry build-time paths.
        rm -f "$prefix"/lib/*.dll.a "$prefix"/bin/*.dll "$prefix"/lib/*.la
        rm -rf "$prefix/share/doc"
    done
else
    log "mingw dependencies already built in $DEPS_PREFIX"
fi

# --- 32-bit Windows test environment ------------------------------------------
# These kernels run no 32-bit code: qemu-i386 runs it, registered for i386 ELF programs. The
# 32-bit Wine lives in an i386 chroot so that the host's own Wine stays as it is.
. "$(dirname "$0")/lib/i386-env.sh"
I386_SUITE=bookworm
I386_MIRROR=http://deb.debian.org/debian
I386_PACKAGES="wine wine32 xvfb xauth"

# qemu-i386 10 from bookworm-backports (bookworm's own 7.2 cannot reserve Wine's address
# space). Its binary is static: it is unpacked from the package, with an apt state of its own
# so that the host's sources and packages stay as they are.
if [ ! -x "$I386_QEMU" ]; then
    log "fetching qemu-i386 from bookworm-backports"
    apt_state="$BUILD_ROOT/i386-apt"
    rm -rf "$apt_state"
    mkdir -p "$apt_state/lists/partial" "$apt_state/cache/archives/partial" "$apt_state/download"
    echo "deb $I386_MIRROR $I386_SUITE-backports main" >"$apt_state/sources.list"
    private_apt=(-o Dir::Etc::SourceList="$apt_state/sources.list" -o Dir::Etc::SourceParts=/dev/null
        -o Dir::State::Lists="$apt_state/lists" -o Dir::Cache="$apt_state/cache"
        -o Dir::State::status=/dev/null -o Dir::Etc::PreferencesParts=/dev/null
        -o Debug::NoLocking=1 -o APT::Sandbox::User=root)
    apt_get "${private_apt[@]}" update -q >/dev/null
    qemu_version=$(apt-cache "${private_apt[@]}" show qemu-user | sed -n 's/^Version: //p' | head -n1)
    case "$qemu_version" in
    1:1[0-9].*) ;;
    *) echo "bookworm-backports offers qemu-user '$qemu_version', not 10 or later" >&2; exit 1 ;;
    esac
    (cd "$apt_state/download" && apt_get "${private_apt[@]}" download -q "qemu-user=$qemu_version" >/dev/null)
    mkdir -p "$I386_HOME/bin"
    dpkg-deb --fsys-tarfile "$apt_state"/download/qemu-user_*.deb |
        tar -x -O ./usr/bin/qemu-i386 >"$I386_QEMU.new"
    chmod 755 "$I386_QEMU.new"
    mv "$I386_QEMU.new" "$I386_QEMU"
    rm -rf "$apt_state"
fi
log "qemu-i386: $("$I386_QEMU" --version | head -n1)"
i386_register_binfmt || { echo "could not register $I386_QEMU with binfmt_misc" >&2; exit 1; }

# The chroot, marked ready once Wine is in it. A half-made one is made again, never while
# anything is mounted in it: a bound source tree would go with it.
if [ ! -f "$I386_ROOT/.vardane-ready" ] || [ "$(cat "$I386_ROOT/.vardane-ready")" != "$I386_PACKAGES" ]; then
    if [ -n "$(i386_mounts)" ]; then
        echo "something is mounted below $I386_ROOT; not touching it:" >&2
        i386_mounts >&2
        exit 1
    fi
    if [ ! -f "$I386_ROOT/.vardane-base" ]; then
        rm -rf "$I386_ROOT"
        log "making the i386 $I386_SUITE chroot in $I386_ROOT (debootstrap, a few minutes)"
        logf="$BUILD_ROOT/logs/debootstrap.log"
        mkdir -p "$BUILD_ROOT/logs"
        if ! debootstrap --arch=i386 --variant=minbase "$I386_SUITE" "$I386_ROOT" "$I386_MIRROR" >"$logf" 2>&1; then
            tail -n 30 "$logf" >&2
            i386_unmount_all
            exit 1
        fi
        i386_unmount_all
        touch "$I386_ROOT/.vardane-base"
    fi
    log "installing $I386_PACKAGES in the chroot (a few minutes)"
    logf="$BUILD_ROOT/logs/i386-wine.log"
    mount --bind /proc "$I386_ROOT/proc"
    if ! chroot "$I386_ROOT" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive         sh -c "apt-get update -q && apt-get install -y -q --no-install-recommends $I386_PACKAGES && apt-get clean"         >"$logf" 2>&1 </dev/null; then
        tail -n 30 "$logf" >&2
        i386_unmount_all
        exit 1
    fi
    i386_unmount_all
    echo "$I386_PACKAGES" >"$I386_ROOT/.vardane-ready"
    rm -f "$I386_ROOT$I386_PREFIX/.vardane-ready"
fi
log "i386 chroot: $I386_ROOT (Wine $(chroot "$I386_ROOT" dpkg-query -W -f '${Version}' wine 2>/dev/null))"

# The win32 prefix, made by a session of the environment. No .NET or HTML engine: their
# installers would try downloads and ask on screen.
if [ ! -f "$I386_ROOT$I386_PREFIX/.vardane-ready" ]; then
    log "making the win32 Wine prefix $I386_PREFIX in the chroot"
    rm -rf "${I386_ROOT:?}$I386_PREFIX"
    mkdir -p "$I386_ROOT$I386_PREFIX"
    i386_session_begin setup
    i386_exec wine wineboot -i </dev/null >/dev/null 2>&1
    i386_session_end setup
    [ -f "$I386_ROOT$I386_PREFIX/system.reg" ] || { echo "wineboot made no prefix" >&2; exit 1; }
    touch "$I386_ROOT$I386_PREFIX/.vardane-ready"
fi
log "win32 prefix: $I386_ROOT$I386_PREFIX"

# --- summary ---------------------------------------------------------------
log "done in $(( $(date +%s) - START ))s"
for t in "${TRIPLES[@]}"; do
    log "$t: $DEPS_PREFIX/$t"
    for a in libminizip.a libogg.a libvorbis.a libvorbisfile.a libvorbisenc.a libzstd.a; do
        printf '[setup]   %-16s %s\n' "$a" "$([ -f "$DEPS_PREFIX/$t/lib/$a" ] && echo ok || echo MISSING)"
    done
done
log "compilers: $(command -v i686-w64-mingw32-g++-posix) $(command -v x86_64-w64-mingw32-g++-posix)"
