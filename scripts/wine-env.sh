# Wine settings for running this project's Windows programs. POSIX sh, to be
# sourced:  . scripts/wine-env.sh; genreg_wine_env BUILD_DIR; genreg_wine_start
#
# Why each setting:
#  - the prefix lives in the build tree (about 700 MB, never in an artifact)
#    and belongs to that build alone;
#  - winedbg.exe=d: with Wine's crash debugger a crashing program is often
#    reported as a success; without it a crash exits non-zero (5);
#  - mscoree, mshtml disabled: no .NET or HTML engine installers on boot;
#  - a server kept running (-p) and the prefix booted before ctest starts,
#    with stdio sent away from ctest: otherwise Wine's services inherit
#    ctest's pipes and every test costs seconds or ctest hangs;
#  - genreg_wine_stop ends that server: a persistent server never exits.

# Debian keeps wine64 and wineserver out of PATH (and /usr/bin/wine nags
# about a missing 32-bit Wine on every call); elsewhere take them from PATH.
genreg_wine_tool() {
    if [ -x "/usr/lib/wine/$1" ]; then echo "/usr/lib/wine/$1"; else command -v "$1" || echo "$1"; fi
}
GENREG_WINE64=${GENREG_WINE64:-$(genreg_wine_tool wine64)}
GENREG_WINESERVER=${GENREG_WINESERVER:-$(genreg_wine_tool wineserver)}

# genreg_wine_env BUILD_DIR: exports the environment for BUILD_DIR's prefix.
genreg_wine_env() {
    WINEPREFIX=${GENREG_WINEPREFIX:-$1/wineprefix}
    WINEARCH=win64
    WINEDEBUG=-all
    WINEDLLOVERRIDES="winedbg.exe=d;mscoree,mshtml="
    export WINEPREFIX WINEARCH WINEDEBUG WINEDLLOVERRIDES GENREG_WINE64 GENREG_WINESERVER
}

# genreg_wine_start: starts the prefix's server and boots the prefix.
genreg_wine_start() {
    mkdir -p "$WINEPREFIX" || return 1
    if ! "$GENREG_WINESERVER" -p </dev/null >/dev/null 2>&1; then
        echo "wine-env: $GENREG_WINESERVER -p failed (is wine64 installed?)" >&2
        return 1
    fi
    if ! "$GENREG_WINE64" wineboot -i </dev/null >/dev/null 2>&1; then
        echo "wine-env: booting the prefix $WINEPREFIX failed" >&2
        return 1
    fi
}

# genreg_wine_stop: ends the prefix's server and every program it still runs.
genreg_wine_stop() {
    "$GENREG_WINESERVER" -k </dev/null >/dev/null 2>&1 || true
}
