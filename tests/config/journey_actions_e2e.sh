#!/bin/sh
# The journey of "Close window automatically" with the real programs and
# real input: a window of a test program is picked with the editor's finder,
# the action is ticked and saved, the command center is launched from the
# Actions menu, and a window of that kind opened then is closed at once.
# The controls are found by ombrelctl (class and text) and clicked at their
# centres.
# Needs DISPLAY and the build's Wine prefix (scripts/test.sh sets both up).
# No fixed pauses: every step waits boundedly for an effect seen from outside.
# Usage: journey_actions_e2e.sh DIST_FOLDER OMBRELCTL_EXE TEST_WINDOW_EXE
set -u
DIST=$1
CTL=$2
TESTWIN=$3
WORK=$(mktemp -d)
EDITOR_PID=
PIDS=
E2E_NAME="journey actions e2e"
. "$(dirname "$0")/e2e_lib.sh"
journey_copy
cp "$TESTWIN" "$WORK/window.exe"
state() { wine "$CTL" state "$1" 2>/dev/null | tr -d '\r'; }
# Opens a test window of class $1 at $2,$3; sets WIN to its X window.
open_window() {
    wine "$WORK/window.exe" "$1" "$2" "$3" >/dev/null 2>&1 &
    WIN=; WANT=$1
    poll 150 'WIN=$(xdotool search --name "^$WANT\$" 2>/dev/null | head -1); [ -n "$WIN" ]' || return 1
    PIDS="$PIDS $(xdotool getwindowpid "$WIN" 2>/dev/null)"
}
gone() { ! xdotool search --name "^$1\$" >/dev/null 2>&1; }

open_window OmbJourneyClose 1000 60 || die "the first test window did not open"

wine "$WORK/app/OmbrelConfig.exe" >/dev/null 2>&1 &
MAIN=
poll 150 'MAIN=$(xdotool search --name "^Ombrel\$" 2>/dev/null | head -1); [ -n "$MAIN" ]' ||
    die "the editor showed no window"
EDITOR_PID=$(xdotool getwindowpid "$MAIN")
# The window is placed once it has the focus.
if ! poll 50 '[ "$(focused)" = "$MAIN" ]'; then
    eval "$(xdotool getwindowgeometry --shell "$MAIN")"
    xdotool mousemove --sync $((X + 100)) $((Y + 8)) click 1
    poll 50 '[ "$(focused)" = "$MAIN" ]' || die "the editor has no keyboard focus"
fi
# Wine maps the window at the screen's corner before it moves it to its place.
poll 50 'eval "$(xdotool getwindowgeometry --shell "$MAIN")"; [ "$X" -ne 0 ] || [ "$Y" -ne 0 ]'
# Drags the finder onto the middle of the X window $1.
drag_onto() {
    eval "$(xdotool getwindowgeometry --shell "$1")"
    drag_finder_to $((X + WIDTH / 2)) $((Y + HEIGHT / 2))
}
count_rules() { grep -c '<window_rule ' "$WORK/app/Ombrel.ini"; }

# Rule 1: close the first kind of window automatically.
editor_key ctrl+a ctrl+s
poll 50 '[ "$(count_rules)" -eq 1 ]' || die "Ctrl+A, Ctrl+S wrote no rule"
drag_onto "$(xdotool search --name '^OmbJourneyClose$' | head -1)" || die "the editor shows no finder"
click_check "Close window automatically" || die "the editor shows no Close window automatically"
editor_key ctrl+s
poll 50 'ini "<param name=\"window_class_name\">OmbJourneyClose</param>"' || die "the finder did not fill the first class"

# Launch and Stop are the first two items of the Actions menu.
menu_item Actions 0 || die "no Actions menu"
poll 100 '[ -n "$(center_pid)" ]' || die "Launch did not start the command center"
CENTER_PID=$(center_pid)
# The process is there before it serves rules and hooks the desktop: wait
# until it answers on its channel (its hook follows at once).
poll 100 'ctl rule "$EDITOR" >/dev/null' || die "the command center does not answer"
# A window of the kind opened now is closed at once.
wine "$WORK/window.exe" OmbJourneyClose 1000 60 >/dev/null 2>&1 &
LOADER=$!
poll 150 '! kill -0 $LOADER 2>/dev/null' || fail "the new window's program did not end"
poll 50 'gone OmbJourneyClose' || fail "a window of the closed kind is still open"

menu_item Actions 1 || fail "no Actions menu"
if ! poll 50 '! kill -0 "$CENTER_PID" 2>/dev/null'; then
    # Should the keys still have gone astray, the user chooses Stop again;
    # what had the focus is printed.
    echo "journey actions e2e: the command center still ran 5 s after Stop (focus $(focused), editor $MAIN; $(wine "$CTL" popup 2>/dev/null | tr -d '\r')); Stop is chosen once more"
    menu_item Actions 1 || fail "no Actions menu"
    poll 100 '! kill -0 "$CENTER_PID" 2>/dev/null' || fail "Stop did not end the command center"
fi
editor_key alt+F4
poll 100 '! kill -0 "$EDITOR_PID" 2>/dev/null' && EDITOR_PID=

[ $FAILS -eq 0 ] && echo "journey actions e2e: all passed"
exit $FAILS
