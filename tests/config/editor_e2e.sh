#!/bin/sh
# The real OmbrelConfig.exe from a copy of the distribution folder, driven
# by real key presses (xdotool) on the virtual display. Needs DISPLAY and
# the build's Wine prefix (scripts/run_tests.sh sets both up).
# Usage: editor_e2e.sh DIST_FOLDER
set -u
DIST=$1
WORK=$(mktemp -d)
trap 'kill $PID 2>/dev/null; rm -rf "$WORK"' EXIT
PID=
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
windows() { xdotool search --name '^Ombrel$' 2>/dev/null | wc -l; }
running() { kill -0 "$PID" 2>/dev/null; }
start() {
    wine "$WORK/app/OmbrelConfig.exe" >/dev/null 2>&1 &
    PID=$!
    poll 100 '[ "$(windows)" -ge 1 ]' || fail "$1: no main window"
    W=$(xdotool search --name '^Ombrel$' | head -1)
    xdotool mousemove --window "$W" 300 300 click 1
}
key() { xdotool key "$@"; sleep 0.3; }
fresh() {
    rm -rf "$WORK/app"; mkdir -p "$WORK/app"
    cp -r "$DIST/OmbrelConfig.exe" "$DIST/Languages" "$WORK/app/"
    sed 's/Notepad stays on top/Window Rule 1/; s/Help opens maximized/Window Rule 3/' \
        "$DIST/Ombrel.ini" >"$WORK/app/Ombrel.ini"
    cp "$WORK/app/Ombrel.ini" "$WORK/original.ini"
}
ended() { poll 80 '! running' && wait "$PID"; }

# No configuration: no window, exit code 0.
fresh; rm "$WORK/app/Ombrel.ini"
wine "$WORK/app/OmbrelConfig.exe" >/dev/null 2>&1; rc=$?
[ $rc -eq 0 ] || fail "without Ombrel.ini the exit code is $rc"
[ "$(windows)" -eq 0 ] || fail "without Ombrel.ini a window showed"

# Ctrl+A takes the first free number, Ctrl+S writes it; a second editor
# leaves at once with exit code 0; closing unchanged asks nothing.
fresh; start add
key ctrl+a; key ctrl+s
poll 30 'grep -q "Window Rule 2" "$WORK/app/Ombrel.ini"' || fail "Ctrl+A, Ctrl+S did not write Window Rule 2"
wine "$WORK/app/OmbrelConfig.exe" >/dev/null 2>&1; rc=$?
[ $rc -eq 0 ] || fail "the second editor ended with $rc"
[ "$(windows)" -eq 1 ] || fail "the second editor left a window"
key alt+F4
ended || fail "closing an unchanged editor did not end it"

# Closing with changes: No leaves the file as it was.
fresh; start close-no
key ctrl+a; key alt+F4
poll 30 '[ "$(windows)" -ge 2 ]' || fail "no question on closing with changes"
key n
ended || fail "No did not close the editor"
cmp -s "$WORK/app/Ombrel.ini" "$WORK/original.ini" || fail "No changed the file"

# Closing with changes: Cancel keeps the window, Yes saves.
fresh; start close-yes
key ctrl+a; key alt+F4
poll 30 '[ "$(windows)" -ge 2 ]' || fail "no question (cancel)"
key Escape
poll 20 '[ "$(windows)" -eq 1 ]' || fail "Cancel left the question open"
running || fail "Cancel closed the editor"
key alt+F4
poll 30 '[ "$(windows)" -ge 2 ]' || fail "no question (yes)"
key y
ended || fail "Yes did not close the editor"
grep -q "Window Rule 2" "$WORK/app/Ombrel.ini" || fail "Yes did not save"

# A read-only configuration: a message, the changes kept, the window stays.
fresh; chmod a-w "$WORK/app/Ombrel.ini"; start read-only
key ctrl+a; key ctrl+s
poll 30 '[ "$(windows)" -ge 2 ]' || fail "no message when the save failed"
key Return
key alt+F4
poll 30 '[ "$(windows)" -ge 2 ]' || fail "a failed save lost the changes (no question)"
key y
poll 30 '[ "$(windows)" -ge 2 ]' || fail "no message for the failed save on closing"
key Return
sleep 0.5
running || fail "the window closed although the save failed"
cmp -s "$WORK/app/Ombrel.ini" "$WORK/original.ini" || fail "a read-only file changed"
chmod u+w "$WORK/app/Ombrel.ini"
kill "$PID" 2>/dev/null; wait "$PID" 2>/dev/null

[ $FAILS -eq 0 ] && echo "editor e2e: all passed"
exit $FAILS
