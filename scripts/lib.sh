# shellcheck shell=sh
# lib.sh -- what the scripts share; sourced by them (`. scripts/lib.sh`)
# from the top of the work tree, not run by itself.
#
#   need_packages WHO PKG...  installs with apt whichever of the packages are
#                             missing, as root or through sudo
#   host_tools DIR            builds the picture converter and the icon maker
#                             for this machine into DIR (the web and Windows
#                             builds run them)
#   on_xvfb CMD...            runs CMD on a virtual X server of its own
#                             (1280x720, no TCP)
#   wine_prefix               the Wine prefix of our own, made once and kept

# The packages of the list that are not installed, one line.
missing_packages() {
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || printf ' %s' "$p"
    done
}

# Runs a command as root, through sudo when this is not root already.
as_root() {
    if [ "$(id -u)" -ne 0 ]; then sudo "$@"; else "$@"; fi
}

# apt-get as root. Another install may hold apt's locks: dpkg's, which
# apt-get waits for itself (DPkg::Lock::Timeout), or the package lists'
# (apt-get update), which it does not; a step refused for a lock is tried
# again every 5 s, for up to 15 minutes in all.
apt_get() {
    errors=$(mktemp)
    waited=0
    until as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 "$@" 2>"$errors"; do
        if [ "$waited" -ge 900 ] || ! grep -q 'Could not get lock\|Unable to lock\|Unable to acquire' "$errors"; then
            cat "$errors" >&2
            rm -f "$errors"
            return 1
        fi
        sleep 5
        waited=$((waited + 5))
    done
    rm -f "$errors"
}

need_packages() {
    who=$1
    shift
    missing=$(missing_packages "$@")
    [ -z "$missing" ] && return 0
    echo "$who: installing$missing" >&2
    apt_get update -qq || return 1
    # shellcheck disable=SC2086
    apt_get install -y -qq --no-install-recommends $missing >/dev/null
}

host_tools() {
    mkdir -p "$1"
    if [ ! -x "$1/picture_embed" ] || [ tools/pictures/picture_embed.cpp -nt "$1/picture_embed" ]; then
        c++ -std=c++17 -O2 -Wall -Wextra tools/pictures/picture_embed.cpp -lpng -o "$1/picture_embed"
    fi
    if [ ! -x "$1/icon_maker" ] || [ packaging/icon.cpp -nt "$1/icon_maker" ] ||
       [ packaging/icon_maker.cpp -nt "$1/icon_maker" ]; then
        c++ -std=c++17 -O2 -Wall -Wextra packaging/icon.cpp packaging/icon_maker.cpp -lpng -o "$1/icon_maker"
    fi
}

# Xvfb picks a free display number itself and writes it to the file named
# by -displayfd once it takes connections; two runs started at the same
# moment (the test command's two lanes) never reach for the same number.
on_xvfb() {
    xvfb_number=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp 3>"$xvfb_number" 2>/dev/null &
    xvfb_pid=$!
    until [ -s "$xvfb_number" ]; do
        if ! kill -0 "$xvfb_pid" 2>/dev/null; then
            echo "the virtual X server (Xvfb) did not start" >&2
            rm -f "$xvfb_number"
            return 1
        fi
        sleep 0.1
    done
    DISPLAY=:$(head -n 1 "$xvfb_number") "$@"
    xvfb_status=$?
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
    rm -f "$xvfb_number"
    return "$xvfb_status"
}

# Without Mono and Gecko (Wine would offer to install them); WINEDEBUG and
# WINEDLLOVERRIDES may say more.
wine_prefix() {
    export WINEPREFIX="${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/corbanet-demo/wine}"
    export WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "wine: making a Wine prefix in $WINEPREFIX (once)" >&2
        mkdir -p "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1 || true
        wineserver -w
    fi
}
