# Helpers shared by the end-to-end scripts of the editor. Sourced, not run.
FAILS=0
fail() { echo "FAIL: $*"; FAILS=$((FAILS + 1)); }
# Bounded poll: up to $1 tenths of a second for the condition in $2.
poll() {
    n=$1; shift
    while [ "$n" -gt 0 ]; do
        if eval "$@"; then return 0; fi
        sleep 0.1; n=$((n - 1))
    done
    return 1
}
focused() { xdotool getwindowfocus 2>/dev/null; }
