# Shared set-up of the build, test and run scripts: packages, builds, Wine
# prefix, virtual display. Sourced, not run.

OMB_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
OMB_BUILD=${OMB_BUILD:-$OMB_ROOT/build}
OMB_WIN_BUILD=$OMB_BUILD/win
OMB_NATIVE_BUILD=$OMB_BUILD/native
OMB_DIST=$OMB_BUILD/dist
OMB_PACKAGES="cmake ninja-build g++-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-win32 mingw-w64 wine wine64 xvfb googletest clang libclang-rt-14-dev x11-utils xdotool imagemagick fp-utils"

# A compiler cache, where one is installed, lets several work trees of one
# machine share their compilations.
if command -v ccache >/dev/null 2>&1; then
    export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
    export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$OMB_ROOT")}
    export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
fi

log() { printf '== [%s] %s\n' "$(date +%T)" "$*" >&2; }

install_packages() {
    local missing=()
    for p in $OMB_PACKAGES; do
        dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        log "installing ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo=sudo
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
    fi
}

build_windows() {
    log "building Windows binaries in $OMB_WIN_BUILD"
    cmake -S "$OMB_ROOT" -B "$OMB_WIN_BUILD" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$OMB_ROOT/cmake/toolchain-mingw64.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOMB_DIST_DIR="$OMB_DIST" -DOMB_WARNINGS_AS_ERRORS=ON "$@" >/dev/null
    cmake --build "$OMB_WIN_BUILD" -j "$(nproc)"
}

build_native() {
    log "building native sanitizer tests in $OMB_NATIVE_BUILD"
    CC=clang CXX=clang++ cmake -S "$OMB_ROOT" -B "$OMB_NATIVE_BUILD" -G Ninja \
        -DCMAKE_BUILD_TYPE=Debug -DOMB_SANITIZE=ON -DOMB_FUZZ=ON -DOMB_WARNINGS_AS_ERRORS=ON "$@" >/dev/null
    cmake --build "$OMB_NATIVE_BUILD" -j "$(nproc)"
}

# Wine: a prefix of this build, quiet (no Mono or Gecko prompts).
setup_wine() {
    export WINEPREFIX=$OMB_BUILD/wineprefix
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export WINEARCH=win64
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        log "creating the Wine prefix"
        mkdir -p "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1 || true
        wineserver -w
    fi
    # No window manager runs on the virtual display: let Wine manage no
    # window, or unmapping a captioned window waits 2 s for a manager.
    if ! grep -q '^"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
        wineserver -w
    fi
}

OMB_XVFB_PID=""
start_display() {
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
        return
    fi
    log "starting a virtual display"
    local fifo
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    OMB_XVFB_PID=$!
    local number
    read -r number <"$fifo"
    rm -f "$fifo"
    export DISPLAY=":$number"
}

# One server for the whole run. Wine's own services start with the first
# program; start them here with no inherited output, or they would keep the
# test runner's pipes open until the server ends.
start_wineserver() {
    wineserver -p
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

stop_all() {
    wineserver -k >/dev/null 2>&1 || true
    if [ -n "$OMB_XVFB_PID" ]; then
        kill "$OMB_XVFB_PID" >/dev/null 2>&1 || true
        wait "$OMB_XVFB_PID" 2>/dev/null || true
        OMB_XVFB_PID=""
    fi
}
