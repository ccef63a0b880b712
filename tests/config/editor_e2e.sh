#!/bin/sh
# The real OmbrelConfig.exe from a copy of the distribution folder, driven
# by real key presses (xdotool) on the virtual display, and clicks on
# controls ombrelctl finds. Needs DISPLAY and the build's Wine prefix
# (scripts/test.sh sets both up).
#
# No fixed pauses: every step waits (boundedly) for what it caused to be
# seen from outside: a window that appears or gets the keyboard focus, a
# file's content, the end of the process. Keys sent one after another are
# taken in order by the program, so a later key's effect proves the
# earlier one was handled too.
# Usage: editor_e2e.sh DIST_FOLDER OMBRELCTL_EXE
set -u
DIST=$1
CTL=$2
WORK=$(mktemp -d)
EDITOR_PID=
cleanup() {
    # The Windows process itself (the wine loader is gone by then).
    [ -n "$EDITOR_PID" ] && kill "$EDITOR_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
. "$(dirname "$0")/e2e_lib.sh"
# Top-level windows titled like the editor (its main window and its boxes).
windows() { xdotool search --name '^Ombrel$' 2>/dev/null | wc -l; }
# A message box of the editor has the keyboard focus.
box_focused() { f=$(focused); [ -n "$f" ] && [ "$f" != "$MAIN" ] && [ "$(xdotool getwindowname "$f" 2>/dev/null)" = Ombrel ]; }
main_focused() { [ "$(focused)" = "$MAIN" ]; }
running() { [ -n "$EDITOR_PID" ] && kill -0 "$EDITOR_PID" 2>/dev/null; }
start() {
    wine "$WORK/app/OmbrelConfig.exe" >/dev/null 2>&1 &
    MAIN=
    poll 150 'MAIN=$(xdotool search --name "^Ombrel$" 2>/dev/null | head -1); [ -n "$MAIN" ]' ||
        { fail "$1: no main window"; return 1; }
    EDITOR_PID=$(xdotool getwindowpid "$MAIN")
    poll 50 main_focused || fail "$1: the main window has no keyboard focus"
}
ended() {
    poll 100 '! running' || return 1
    EDITOR_PID=
}
# Sends a key and waits until a message box of the editor has the focus.
# (A box that follows another box is a window of its own.)
key_box() { before=$(focused); xdotool key "$@"; poll 50 'box_focused && [ "$(focused)" != "$before" ]'; }
# Sends a key to a box and waits until the main window has the focus again.
key_back() { xdotool key "$@"; poll 50 main_focused; }
fresh() {
    rm -rf "$WORK/app"; mkdir -p "$WORK/app"
    cp -r "$DIST/OmbrelConfig.exe" "$DIST/Languages" "$WORK/app/"
    sed 's/Notepad stays on top/Window Rule 1/; s/Help opens maximized/Window Rule 3/' \
        "$DIST/Ombrel.ini" >"$WORK/app/Ombrel.ini"
    cp "$WORK/app/Ombrel.ini" "$WORK/original.ini"
}
has_rule() { grep -q "name=\"$1\"" "$WORK/app/Ombrel.ini"; }
rules() { grep -c '<window_rule ' "$WORK/app/Ombrel.ini"; }

# No configuration: no window, exit code 0.
fresh; rm "$WORK/app/Ombrel.ini"
wine "$WORK/app/OmbrelConfig.exe" >/dev/null 2>&1; rc=$?
[ $rc -eq 0 ] || fail "without Ombrel.ini the exit code is $rc"
[ "$(windows)" -eq 0 ] || fail "without Ombrel.ini a window showed"

# Ctrl+A takes the first free number, Ctrl+S writes it; a second editor
# leaves at once with exit code 0; closing unchanged asks nothing.
fresh; start add
xdotool key ctrl+a ctrl+s
poll 50 'has_rule "Window Rule 2"' || fail "Ctrl+A, Ctrl+S did not write Window Rule 2"
wine "$WORK/app/OmbrelConfig.exe" >/dev/null 2>&1; rc=$?
[ $rc -eq 0 ] || fail "the second editor ended with $rc"
[ "$(windows)" -eq 1 ] || fail "the second editor left a window"
poll 50 main_focused || fail "the second editor did not bring the first forward"
xdotool key alt+F4
ended || fail "closing an unchanged editor did not end it"

# Add and save twice; the second rule is added while the first one's name
# is being typed: the panel with the focused field goes away, the keys after
# it reach the editor (Ctrl+S saves every rule) and none lands in a field
# nobody sees.
fresh; start add-while-typing
nrules=$(rules)
xdotool key ctrl+a ctrl+s
poll 50 '[ "$(rules)" -eq $((nrules + 1)) ] && has_rule "Window Rule 2"' || fail "add, save: $(rules) rules saved, not $((nrules + 1))"
click_at control Ombrel Edit '*' after OmbFormsControl ' Window rule ' || fail "no name field"
xdotool key End
xdotool type ' renamed'
xdotool key ctrl+a
xdotool type 'x'
xdotool key ctrl+s
poll 50 '[ "$(rules)" -eq $((nrules + 2)) ]' || fail "add while typing, save: $(rules) rules saved, not $((nrules + 2))"
has_rule "Window Rule 2 renamed" || fail "the typed name was not saved"
wine "$CTL" focus 2>/dev/null | grep -q ' hidden ' && fail "the focus is in a hidden window: $(wine "$CTL" focus)"
has_rule "Window Rule 2" || fail "the rule added while typing was not saved under the free number"
grep -q 'Rule 2 renamedx\|>x<' "$WORK/app/Ombrel.ini" && fail "a key after the add reached a hidden field"
xdotool key alt+F4
if ! ended; then
    fail "the editor asked on closing although everything was saved"
    kill "$EDITOR_PID"; poll 50 '! running'; EDITOR_PID=
fi

# Closing with changes: No leaves the file as it was.
fresh; start close-no
xdotool key ctrl+a
key_box alt+F4 || fail "no question on closing with changes"
xdotool key n
ended || fail "No did not close the editor"
cmp -s "$WORK/app/Ombrel.ini" "$WORK/original.ini" || fail "No changed the file"

# Closing with changes: Cancel keeps the window and the changes, Yes saves.
fresh; start close-yes
xdotool key ctrl+a
key_box alt+F4 || fail "no question (cancel)"
key_back Escape || fail "Cancel left the question open"
running || fail "Cancel closed the editor"
key_box alt+F4 || fail "Cancel lost the changes (no question the second time)"
xdotool key y
ended || fail "Yes did not close the editor"
has_rule "Window Rule 2" || fail "Yes did not save"

# A read-only configuration: a message, the changes kept, the window stays.
fresh; chmod a-w "$WORK/app/Ombrel.ini"; start read-only
xdotool key ctrl+a
key_box ctrl+s || fail "no message when the save failed"
key_back Return || fail "the message of the failed save did not go"
key_box alt+F4 || fail "a failed save lost the changes (no question)"
key_box y || fail "no message for the failed save on closing"
key_back Return || fail "the window closed although the save failed"
running || fail "the editor ended although the save failed"
cmp -s "$WORK/app/Ombrel.ini" "$WORK/original.ini" || fail "a read-only file changed"
chmod u+w "$WORK/app/Ombrel.ini"
key_box alt+F4 || fail "no question after the failed save"
xdotool key n
ended || fail "No did not close the editor after the failed save"

[ $FAILS -eq 0 ] && echo "editor e2e: all passed"
exit $FAILS
