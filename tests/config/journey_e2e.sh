#!/bin/sh
# The whole journey of a rule with the real programs and real input: Notepad
# is open; the editor (from a copy of the distribution folder, with a
# configuration holding no rule) adds a rule, the finder is dragged onto
# Notepad, "Stay on Top" is ticked with the mouse, the file is saved, the
# command center is launched from the Actions menu, Notepad becomes topmost
# (its extended style read from outside), the action is unticked and saved
# (the command center reloads: the rule it answers for Notepad has no Stay on
# Top, and Notepad is no longer topmost), and Stop in the Actions menu ends
# the command center.
# Needs DISPLAY and the build's Wine prefix (scripts/test.sh sets both up).
# No fixed pauses: every step waits boundedly for an effect seen from outside.
# Usage: journey_e2e.sh DIST_FOLDER OMBRELCTL_EXE
set -u
DIST=$1
CTL=$2
WORK=$(mktemp -d)
EDITOR_PID=
PIDS=
E2E_NAME="journey e2e"
. "$(dirname "$0")/e2e_lib.sh"
journey_copy
# The enabled value of the action named $1 in the saved file.
action_enabled() {
    awk -v a="$1" '$0 ~ "<action name=\""a"\"" {f=1} f && /name="enabled"/ {
        sub(/.*<param name="enabled">/, ""); sub(/<.*/, ""); print; exit }' "$WORK/app/Ombrel.ini"
}
state() { wine "$CTL" state Notepad 2>/dev/null | tr -d '\r'; }
on_top() { case $(state) in "on top"*) return 0;; esac; return 1; }
not_on_top() { case $(state) in "not on top"*) return 0;; esac; return 1; }
# The rule the command center answers for Notepad holds the action.
rule_has() { wine "$CTL" rule Notepad 2>/dev/null | grep -q "ACTION=$1"; }

# Notepad opens at a place of its own, apart from the editor.
for v in "iWindowPosX 700" "iWindowPosY 500" "iWindowPosDX 500" "iWindowPosDY 400"; do
    set -- $v
    wine reg add 'HKCU\Software\Microsoft\Notepad' /v "$1" /t REG_DWORD /d "$2" /f >/dev/null 2>&1
done
wine notepad >/dev/null 2>&1 &
NOTEPAD=
poll 150 'NOTEPAD=$(xdotool search --name "Notepad\$" 2>/dev/null | head -1); [ -n "$NOTEPAD" ]' ||
    die "Notepad did not open"
PIDS="$PIDS $(xdotool getwindowpid "$NOTEPAD")"
# Notepad shows "Notepad" first and the document's name a moment later.
CAPTION=
poll 50 'CAPTION=$(xdotool getwindowname "$NOTEPAD"); case $CAPTION in *" - Notepad") true;; *) false;; esac' ||
    die "Notepad shows no document name: \"$CAPTION\""
poll 50 '[ "$(focused)" = "$NOTEPAD" ]' || fail "Notepad has no keyboard focus"

wine "$WORK/app/OmbrelConfig.exe" >/dev/null 2>&1 &
MAIN=
poll 150 'MAIN=$(xdotool search --name "^Ombrel\$" 2>/dev/null | head -1); [ -n "$MAIN" ]' ||
    die "the editor showed no window"
EDITOR_PID=$(xdotool getwindowpid "$MAIN")
# The window is placed once it has the focus.
if ! poll 50 '[ "$(focused)" = "$MAIN" ]'; then
    # A click on the caption, as a user would do.
    eval "$(xdotool getwindowgeometry --shell "$MAIN")"
    EX=$X; EY=$Y; EW=$WIDTH; EH=$HEIGHT
    xdotool mousemove --sync $((EX + 100)) $((EY + 8)) click 1
    poll 50 '[ "$(focused)" = "$MAIN" ]' || die "the editor has no keyboard focus"
fi
# Wine maps the window at the screen's corner before it moves it to its place.
poll 50 'eval "$(xdotool getwindowgeometry --shell "$MAIN")"; [ "$X" -ne 0 ] || [ "$Y" -ne 0 ]'
EX=$X; EY=$Y; EW=$WIDTH; EH=$HEIGHT
eval "$(xdotool getwindowgeometry --shell "$NOTEPAD")"
# A point of Notepad's text area outside the editor's window.
DROP_X=$((X + WIDTH - 80)); DROP_Y=$((Y + HEIGHT - 60))
[ "$DROP_X" -gt $((EX + EW)) ] || [ "$DROP_Y" -gt $((EY + EH)) ] ||
    die "Notepad lies under the editor"
# Ctrl+A adds a rule and selects it; Ctrl+S proves the editor took it.
editor_key ctrl+a ctrl+s
poll 50 'ini "<window_rule "' || die "Ctrl+A, Ctrl+S wrote no rule"

drag_finder_to $DROP_X $DROP_Y || die "the editor shows no finder"
click_check "Stay on Top" || die "the editor shows no Stay on Top"
editor_key ctrl+s
poll 50 '[ "$(action_enabled StayOnTop)" = yes ]' || die "ticking Stay on Top and Ctrl+S did not save it"
ini '<param name="window_class_name">Notepad</param>' || fail "the finder did not fill the class Notepad"
ini "<param name=\"window_caption\">$CAPTION</param>" || fail "the finder did not fill the caption \"$CAPTION\""

not_on_top || fail "Notepad was on top before the command center ran"
# Launch and Stop are the first two items of the Actions menu.
menu_item Actions 0 || die "no Actions menu"
poll 100 '[ -n "$(center_pid)" ]' || die "Launch did not start the command center"
CENTER_PID=$(center_pid)
poll 100 on_top || fail "Notepad did not become topmost ($(state))"
rule_has STAYONTOPACTION || fail "the command center's rule for Notepad lacks Stay on Top"

click_check "Stay on Top" || fail "the editor shows no Stay on Top"
editor_key ctrl+s
poll 50 '[ "$(action_enabled StayOnTop)" = no ]' || fail "unticking Stay on Top and Ctrl+S did not save it (enabled: $(action_enabled StayOnTop); focus $(focused), editor $MAIN)"
kill -0 "$CENTER_PID" 2>/dev/null || fail "the command center ended on the save"
# The save made the command center reload: its rule for Notepad has no
# Stay on Top any more.
poll 50 '! rule_has STAYONTOPACTION' || fail "the command center did not reload the saved rule"
poll 100 not_on_top || fail "Notepad stayed topmost after the rule lost Stay on Top ($(state))"

menu_item Actions 1 || fail "no Actions menu"
poll 100 '! kill -0 "$CENTER_PID" 2>/dev/null' || fail "Stop did not end the command center"

editor_key alt+F4
poll 100 '! kill -0 "$EDITOR_PID" 2>/dev/null' && EDITOR_PID=

[ $FAILS -eq 0 ] && echo "journey e2e: all passed"
exit $FAILS
