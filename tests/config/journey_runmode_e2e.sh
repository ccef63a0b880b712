#!/bin/sh
# The journey of "Run mode: Maximized Window" with the real programs and real
# input: the editor (with a configuration holding no rule) adds a rule, the
# finder is dragged onto a window of a test program, "Maximized Window" is
# picked in the run-mode row's list with the mouse and the run mode ticked,
# the file is saved (and read back), the command center is launched from the
# Actions menu, and a window of that kind started then opens maximized (as
# the system reports it from outside, and covering the screen).
# The controls are found by ombrelctl (class and text) and clicked at their
# centres. Needs DISPLAY and the build's Wine prefix (scripts/test.sh sets
# both up). No fixed pauses: every step waits boundedly for an effect seen
# from outside.
# Usage: journey_runmode_e2e.sh DIST_FOLDER OMBRELCTL_EXE TEST_WINDOW_EXE
set -u
DIST=$1
CTL=$2
TESTWIN=$3
WORK=$(mktemp -d)
EDITOR_PID=
PIDS=
E2E_NAME="journey run mode e2e"
. "$(dirname "$0")/e2e_lib.sh"
journey_copy
cp "$TESTWIN" "$WORK/window.exe"
INI=$WORK/app/Ombrel.ini
# The value of parameter $2 of the action named $1 in the saved file.
action_param() {
    awk -v a="$1" -v p="$2" '$0 ~ "<action name=\""a"\"" {f=1} f && $0 ~ "name=\""p"\"" {
        sub(/.*<param name="[^"]*">/, ""); sub(/<.*/, ""); print; exit }' "$INI"
}
state() { wine "$CTL" state OmbJourneyMax 2>/dev/null | tr -d '\r'; }
maximized() { case $(state) in *maximized*) return 0;; esac; return 1; }
# Opens a test window of class $1 at $2,$3; sets WIN to its X window and
# WIN_PID to its process.
open_window() {
    wine "$WORK/window.exe" "$1" "$2" "$3" >/dev/null 2>&1 &
    WIN=; WANT=$1
    poll 150 'WIN=$(xdotool search --name "^$WANT\$" 2>/dev/null | head -1); [ -n "$WIN" ]' || return 1
    WIN_PID=$(xdotool getwindowpid "$WIN" 2>/dev/null)
    PIDS="$PIDS $WIN_PID"
}
close_window() {
    kill "$WIN_PID" 2>/dev/null
    poll 50 '! kill -0 "$WIN_PID" 2>/dev/null'
}

open_window OmbJourneyMax 1000 60 || die "the first test window did not open"
maximized && die "the test window opened maximized by itself"
FIRST=$WIN

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

editor_key ctrl+a ctrl+s
poll 50 'ini "<window_rule "' || die "Ctrl+A, Ctrl+S wrote no rule"
[ "$(action_param RunMode run_mode)" = normal ] || fail "a new rule's run mode is not normal"

eval "$(xdotool getwindowgeometry --shell "$FIRST")"
drag_finder_to $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) || die "the editor shows no finder"
# The run-mode list is the combo box after its label; its list drops down
# on a click and the item is clicked in it.
click_control ComboBox '*' after OmbFormsControl 'Run as:' || die "the editor shows no run-mode list"
click_at item 'Maximized Window' || die "the run-mode list did not drop down with Maximized Window"
poll 50 '! wine "$CTL" item "*" >/dev/null 2>&1' || fail "the run-mode list stayed dropped down"
click_check 'Run mode' || die "the editor shows no Run mode"
editor_key ctrl+s
poll 50 '[ "$(action_param RunMode enabled)" = yes ]' || die "ticking Run mode and Ctrl+S did not save it"
[ "$(action_param RunMode run_mode)" = maximize ] ||
    fail "the saved run mode is \"$(action_param RunMode run_mode)\", not maximize"
ini '<param name="window_class_name">OmbJourneyMax</param>' || fail "the finder did not fill the class"
[ "$(grep -c '<window_rule ' "$INI")" -eq 1 ] || fail "the file holds $(grep -c '<window_rule ' "$INI") rules"
# The picked window is of no more use: the one to check is started later.
close_window || die "the first test window did not end"

menu_item Actions 0 || die "no Actions menu"
poll 100 '[ -n "$(center_pid)" ]' || die "Launch did not start the command center"
CENTER_PID=$(center_pid)

open_window OmbJourneyMax 1000 60 || die "the second test window did not open"
poll 100 maximized || fail "the new window did not open maximized ($(state))"
# Seen by the X server too: the window covers the screen.
eval "$(xdotool getdisplaygeometry --shell)"
SW=$WIDTH; SH=$HEIGHT
poll 50 'eval "$(xdotool getwindowgeometry --shell "$WIN")"; [ "$WIDTH" -ge "$SW" ] && [ "$HEIGHT" -ge $((SH - 40)) ]' ||
    fail "the new window is ${WIDTH}x$HEIGHT on a ${SW}x$SH screen"
close_window || fail "the second test window did not end"

menu_item Actions 1 || fail "no Actions menu"
poll 100 '! kill -0 "$CENTER_PID" 2>/dev/null' || fail "Stop did not end the command center"
editor_key alt+F4
poll 100 '! kill -0 "$EDITOR_PID" 2>/dev/null' && EDITOR_PID=

[ $FAILS -eq 0 ] && echo "journey run mode e2e: all passed"
exit $FAILS
