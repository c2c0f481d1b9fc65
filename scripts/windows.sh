#!/bin/sh
# The Windows edition: start.exe cross-built with MinGW-w64 from the same
# sources, packed with the module, the README and the licence into
# build-windows/corbanet-demo-windows.zip, with play.cmd, which starts it at
# 60 frames a second.
#
#   ./scripts/windows.sh           install what is missing, build the libraries
#                                  (once, cached), build start.exe, pack the zip
#   ./scripts/windows.sh --deps    only the toolchain, Wine and the libraries
#   ./scripts/windows.sh --run     build, then play it under Wine (on $DISPLAY,
#                                  or on a virtual X server when there is none)
#
# The static libraries (freeglut, SDL2, libopenmpt, GoogleTest) are built from
# Debian's source packages into a cache outside the work tree:
#   ${XDG_CACHE_HOME:-$HOME/.cache}/corbanet-demo/windows/<key>/
# where <key> is a hash of the versions, the build options and this script's
# library recipe; a change to any of them builds a new set. To clear it:
#   rm -rf "${XDG_CACHE_HOME:-$HOME/.cache}/corbanet-demo/windows"
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
. scripts/lib.sh

TRIPLET=x86_64-w64-mingw32
TOOLCHAIN="$ROOT/src/windows/mingw-w64-x86_64.cmake"
FREEGLUT_VERSION=3.4.0
SDL2_VERSION=2.26.5
OPENMPT_VERSION=0.6.9
JOBS=${JOBS:-2}
# -O2 without -g: libopenmpt's default -g makes a 130 MB archive.
DEP_CFLAGS="-O2"

say() { echo "windows: $*" >&2; }

# ---------------------------------------------------------------- toolchain
install_toolchain() {
    # `apt-get source` needs Debian's source lists; add them beside the system's own.
    if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ \
       && ! grep -qs '^deb-src' /etc/apt/sources.list; then
        say "adding Debian's source packages to apt (deb-src, bookworm)"
        printf '%s\n' 'Types: deb-src' 'URIs: http://deb.debian.org/debian' \
            'Suites: bookworm bookworm-updates' 'Components: main' \
            'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' \
            | as_root tee /etc/apt/sources.list.d/corbanet-debian-src.sources >/dev/null
        apt_get update -qq
    fi
    need_packages windows g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 wine dpkg-dev cmake \
        binutils-mingw-w64-x86-64 zip unzip xvfb xdotool python3 xauth pkg-config build-essential libpng-dev \
        icoutils
}

# ---------------------------------------------------------------- libraries
CACHE_ROOT="${XDG_CACHE_HOME:-$HOME/.cache}/corbanet-demo/windows"

# The recipe below, between its markers, is part of the key: editing it
# rebuilds the libraries.
recipe_key() {
    {
        echo "$FREEGLUT_VERSION $SDL2_VERSION $OPENMPT_VERSION $DEP_CFLAGS $TRIPLET"
        cat "$TOOLCHAIN"
        sed -n '/^# recipe-begin/,/^# recipe-end/p' "$0"
        $TRIPLET-g++-posix --version | head -1
    } | sha256sum | cut -c1-16
}

# recipe-begin
fetch_source() { # package upstream-version -> prints the unpacked directory
    pkg=$1 ver=$2
    dir="$WORK/src-$pkg"
    rm -rf "$dir" && mkdir -p "$dir"
    ( cd "$dir" && apt-get source -qq "$pkg" >/dev/null 2>"$dir.log" ) \
        || { cat "$dir.log" >&2; say "apt-get source $pkg failed"; exit 1; }
    found=$(find "$dir" -mindepth 1 -maxdepth 1 -type d | head -1)
    case "$found" in
        *-"$ver"|*-"$ver"+*) ;;
        *) say "Debian's source of $pkg is $(basename "$found"), not $ver"; exit 1 ;;
    esac
    echo "$found"
}

build_freeglut() {
    src=$(fetch_source freeglut "$FREEGLUT_VERSION")
    cmake -S "$src" -B "$WORK/b-freeglut" -G "Unix Makefiles" \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_C_FLAGS_RELEASE="$DEP_CFLAGS" -DCMAKE_INSTALL_PREFIX="$PREFIX" \
        -DFREEGLUT_BUILD_DEMOS=OFF -DFREEGLUT_BUILD_SHARED_LIBS=OFF \
        -DFREEGLUT_BUILD_STATIC_LIBS=ON -DFREEGLUT_REPLACE_GLUT=ON >/dev/null
    cmake --build "$WORK/b-freeglut" -j"$JOBS" >/dev/null
    cmake --install "$WORK/b-freeglut" >/dev/null
}

build_sdl2() {
    src=$(fetch_source libsdl2 "$SDL2_VERSION")
    # Audio (WASAPI, DirectSound, disk, dummy) is what the show uses; video
    # stays on because SDL's dynamic API table refers to its functions.
    cmake -S "$src" -B "$WORK/b-sdl2" -G "Unix Makefiles" \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_C_FLAGS_RELEASE="$DEP_CFLAGS" -DCMAKE_INSTALL_PREFIX="$PREFIX" \
        -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF \
        -DSDL_JOYSTICK=OFF -DSDL_HAPTIC=OFF -DSDL_HIDAPI=OFF -DSDL_SENSOR=OFF \
        -DSDL_POWER=OFF -DSDL_RENDER=OFF \
        -DSDL_WASAPI=ON -DSDL_DIRECTX=ON -DSDL_DISKAUDIO=ON -DSDL_DUMMYAUDIO=ON >/dev/null
    cmake --build "$WORK/b-sdl2" -j"$JOBS" >/dev/null
    cmake --install "$WORK/b-sdl2" >/dev/null
}

build_openmpt() {
    src=$(fetch_source libopenmpt "$OPENMPT_VERSION")
    mkdir -p "$WORK/b-openmpt"
    ( cd "$WORK/b-openmpt" && "$src/configure" --host=$TRIPLET --prefix="$PREFIX" \
        --enable-static --disable-shared --disable-openmpt123 --disable-examples \
        --disable-tests --disable-doxygen-doc \
        --without-zlib --without-mpg123 --without-ogg --without-vorbis --without-vorbisfile \
        --without-pulseaudio --without-portaudio --without-portaudiocpp --without-sdl2 \
        --without-sndfile --without-flac \
        CC=$TRIPLET-gcc-posix CXX=$TRIPLET-g++-posix \
        CFLAGS="$DEP_CFLAGS" CXXFLAGS="$DEP_CFLAGS" >/dev/null \
      && make -j"$JOBS" >/dev/null && make install >/dev/null )
}

build_gtest() {
    cmake -S /usr/src/googletest -B "$WORK/b-gtest" -G "Unix Makefiles" \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_CXX_FLAGS_RELEASE="$DEP_CFLAGS" -DCMAKE_INSTALL_PREFIX="$PREFIX" \
        -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON -Dgtest_disable_pthreads=OFF >/dev/null
    cmake --build "$WORK/b-gtest" -j"$JOBS" >/dev/null
    cmake --install "$WORK/b-gtest" >/dev/null
}
# recipe-end

# Builds whatever of the four is not yet in the cache; sets PREFIX. Two
# runs at once (two checkouts, a test beside a build) would build into the
# same work folder and spoil each other's objects: the second waits for the
# first, then finds the libraries made.
build_deps() {
    PREFIX="$CACHE_ROOT/$(recipe_key)"
    mkdir -p "$PREFIX"
    exec 9>"$PREFIX/.lock"
    if ! flock -n 9; then
        say "another build of the libraries is running; waiting for it"
        flock 9
    fi
    WORK="$PREFIX/.work"
    for lib in openmpt freeglut sdl2 gtest; do
        if [ -f "$PREFIX/.done-$lib" ]; then continue; fi
        say "building $lib for Windows into $PREFIX (once; cached)"
        start=$(date +%s)
        mkdir -p "$WORK"
        "build_$lib"
        echo "$(( $(date +%s) - start )) s" > "$PREFIX/.done-$lib"
        say "$lib built in $(cat "$PREFIX/.done-$lib")"
    done
    rm -rf "$WORK"
    exec 9>&-
}

# ---------------------------------------------------------------- the program
OUT="$ROOT/build-windows"
ZIP="$OUT/corbanet-demo-windows.zip"

build_program() {
    # The picture converter and the icon's maker run on this machine.
    host_tools "$OUT/host"
    cmake -S src/windows -B "$OUT/exe" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
        -DDEPS="$PREFIX" -DPICTURE_EMBED="$OUT/host/picture_embed" \
        -DICON_MAKER="$OUT/host/icon_maker" -DWINDOWS_TESTS="${WINDOWS_TESTS:-OFF}" >/dev/null
    cmake --build "$OUT/exe" -j"$JOBS" >/dev/null
}

pack_zip() {
    stage="$OUT/zip/corbanet-demo"
    rm -rf "$OUT/zip" "$ZIP"
    mkdir -p "$stage"
    cp "$OUT/exe/start.exe" src/windows/play.cmd assets/demomain.xm "$stage/"
    cp README.md "$stage/README.md"
    cp LICENSE "$stage/LICENSE.txt"
    # One folder inside, so that unpacking anywhere keeps the program next
    # to its module.
    ( cd "$OUT/zip" && zip -q -X -r "$ZIP" corbanet-demo )
    say "wrote $ZIP ($(du -k "$ZIP" | cut -f1) KiB; start.exe $(du -k "$stage/start.exe" | cut -f1) KiB)"
}

run_show() {
    wine_prefix
    cd "$OUT/zip/corbanet-demo"
    if [ -n "${DISPLAY:-}" ]; then
        exec wine ./start.exe "$@"
    fi
    say "no display found; running the show on a virtual X display (Xvfb, 1280x720)"
    on_xvfb wine ./start.exe "$@"
    exit
}

# ---------------------------------------------------------------- main
mode=${1:-}
[ $# -gt 0 ] && shift
case "$mode" in
    ""|--deps|--run|--tests) ;;
    *) echo "usage: $0 [--deps | --run [ARGS...]]" >&2; exit 2 ;;
esac
install_toolchain
build_deps
if [ "$mode" = "--deps" ]; then
    echo "$PREFIX"
    exit 0
fi
[ "$mode" = "--tests" ] && WINDOWS_TESTS=ON
build_program
pack_zip
[ "$mode" = "--run" ] && run_show "$@"
exit 0
