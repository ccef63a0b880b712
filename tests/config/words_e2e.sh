#!/bin/sh
# What the user types in the editor's fields, with the real OmbrelConfig.exe
# from a copy of the distribution folder, real input (xdotool) and the
# effects read from outside (the saved file, ombrelctl): typed text counts
# as a change for Ctrl+S, File > Save and the Save tool button at once;
# a field only looked at changes nothing; Ctrl+A in a text field selects its
# text; a refused rule name says why and shows the stored name again; a
# rename in capitals only is taken; what is typed beside history items is
# saved as typed.
# Needs DISPLAY and the build's Wine prefix (scripts/test.sh sets both up).
# No fixed pauses: every step waits (boundedly) for what it caused.
# Usage: words_e2e.sh DIST_FOLDER OMBRELCTL_EXE
set -u
DIST=$1
CTL=$2
WORK=$(mktemp -d)
EDITOR_PID=
PIDS=
E2E_NAME="words e2e"
. "$(dirname "$0")/e2e_lib.sh"

BOX="#32770/Ombrel"
has_rule() { grep -q "name=\"$1\"" "$WORK/app/Ombrel.ini"; }
rules() { grep -c '<window_rule ' "$WORK/app/Ombrel.ini"; }
# The focused window: class, shown or hidden, its text, its top-level window.
focus_is() { [ "$(ctl focus)" = "$1" ]; }

fresh() {
    if running; then kill "$EDITOR_PID"; poll 50 '! running'; fi
    EDITOR_PID=
    rm -rf "$WORK/app"; mkdir -p "$WORK/app"
    cp -r "$DIST/OmbrelConfig.exe" "$DIST/Languages" "$WORK/app/"
    sed 's/Notepad stays on top/Window Rule 1/; s/Help opens maximized/Window Rule 3/' \
        "$DIST/Ombrel.ini" >"$WORK/app/Ombrel.ini"
    cp "$WORK/app/Ombrel.ini" "$WORK/original.ini"
}
# Starts the editor and selects its first rule ("Window Rule 1").
start() {
    wine "$WORK/app/OmbrelConfig.exe" >/dev/null 2>&1 &
    MAIN=
    poll 150 'MAIN=$(xdotool search --name "^Ombrel$" 2>/dev/null | head -1); [ -n "$MAIN" ]' ||
        die "$1: no main window"
    EDITOR_PID=$(xdotool getwindowpid "$MAIN")
    poll 50 main_focused || fail "$1: the main window has no keyboard focus"
    xdotool key Home Down
    poll 50 'selected_is "Window Rule 1"' || die "$1: Home, Down did not select the first rule"
}
ended() {
    poll 100 '! running' || return 1
    EDITOR_PID=
}
# Closes the editor; it must end without a question.
close_unasked() {
    xdotool key alt+F4
    if ! ended; then
        fail "$1: closing asked ($(ctl texts "$BOX" | tr '\n' ' '))"
        kill "$EDITOR_PID"; poll 50 '! running'; EDITOR_PID=
    fi
}
# Waits until a message box of the editor has the focus. A box shown while
# the main window's own activation is still under way can be left without
# the display's input focus under Wine: a user clicks onto it; so does the
# test, and says so.
box_comes() {
    poll 100 'box_focused && [ "$(focused)" != "$1" ]' && return 0
    box=$(xdotool search --name '^Ombrel$' 2>/dev/null | grep -vx -e "$MAIN" | head -1)
    [ -n "$box" ] || return 1
    echo "  (the box $box showed without the focus; focusing it)"
    xdotool windowfocus "$box" 2>/dev/null
    poll 50 box_focused
}
# Sends a key and waits until a message box of the editor has the focus.
key_box() {
    before=$(focused); xdotool key "$@"
    box_comes "$before"
}
# The editor's text fields: the rule's name, and the edit fields of the
# class and the caption combo boxes (after their labels).
click_name() { click_control Edit '*' after OmbFormsControl ' Window rule '; }
click_class() { click_control Edit '*' after OmbFormsControl 'window class:*'; }
click_caption() { click_control Edit '*' after OmbFormsControl 'window caption:*'; }
click_tree() { click_control SysTreeView32 '*'; }
param_is() { grep -q "<param name=\"$1\">$2</param>" "$WORK/app/Ombrel.ini"; }

# Typed into the name and the caption field, Ctrl+S at once: saved, the
# focus still in the field.
fresh; start ctrl-s
click_name || die "no name field"
xdotool key End
xdotool type ' X'
xdotool key ctrl+s
poll 50 'has_rule "Window Rule 1 X"' || fail "Ctrl+S right after typing did not save the name"
click_caption || die "no caption field"
xdotool type 'Untitled - Notepad'
xdotool key ctrl+s
poll 50 'param_is window_caption "Untitled - Notepad"' || fail "Ctrl+S right after typing did not save the caption"
focus_is 'Edit shown "Untitled - Notepad" in "Ombrel"' || fail "the focus left the caption field: $(ctl focus)"
close_unasked "after Ctrl+S"

# File > Save shows Save enabled for what was just typed and saves it; so
# does the Save tool button.
fresh; start file-save
click_class || die "no class field"
xdotool key End
xdotool type 'Typed'
xdotool key alt+f
poll 50 'ITEMS=$(ctl menu)' || fail "Alt+F opened no menu"
printf '%s\n' "${ITEMS:-}" | grep -qx 'enabled Save	Ctrl+S' || fail "File > Save is not enabled after typing: ${ITEMS:-}"
# Opened from the keyboard, the menu highlights its first item: Save.
xdotool key Return
poll 50 'param_is window_class_name NotepadTyped' || fail "File > Save did not save the typed class"
close_unasked "after File > Save"
fresh; start tool-button
click_name || die "no name field"
xdotool key End
xdotool type ' Y'
click_at button Ombrel 1 0 || fail "no Save tool button"
poll 50 'has_rule "Window Rule 1 Y"' || fail "the Save tool button did not save the typed name"
close_unasked "after the tool button"

# Fields only looked at change nothing: no question on closing, the file
# as it was.
fresh; start look
for field in click_name click_class click_caption; do
    $field || die "no field ($field)"
    click_tree || die "no tree"
done
poll 50 'selected_is "Window Rule 1"' || fail "clicking the tree changed the selection"
close_unasked "fields only looked at"
cmp -s "$WORK/app/Ombrel.ini" "$WORK/original.ini" || fail "looking at fields changed the file"

# Ctrl+A in the name field selects its text (what is typed replaces it) and
# adds no rule; in the tree it still adds one.
fresh; start ctrl-a
n=$(rules)
click_name || die "no name field"
xdotool key End ctrl+a
xdotool type 'Renamed'
xdotool key Return ctrl+s
poll 50 'has_rule Renamed' || fail "Ctrl+A, typing, Enter, Ctrl+S did not save the name Renamed"
[ "$(rules)" -eq "$n" ] || fail "Ctrl+A in the name field added a rule ($(rules) rules, not $n)"
has_rule "Window Rule 1" && fail "Ctrl+A in the name field added a rule (Window Rule 1)"
click_tree || die "no tree"
xdotool key ctrl+a ctrl+s
poll 50 '[ "$(rules)" -eq $((n + 1)) ]' || fail "Ctrl+A in the tree did not add a rule"
has_rule "Window Rule 1" || fail "Ctrl+A in the tree did not add Window Rule 1"
close_unasked "after Ctrl+A"

# A refused name says why, then the field shows the stored name again:
# on Enter (a taken name), and on leaving the field (blanks only).
fresh; start refused
click_name || die "no name field"
xdotool key ctrl+a
xdotool type 'window rule 3'
key_box Return || fail "a taken name showed no message"
ctl texts "$BOX" | grep -qxF 'Another window rule already has the name "window rule 3".' ||
    fail "the message for a taken name: $(ctl texts "$BOX" | tr '\n' '|')"
xdotool key Return
poll 50 main_focused || fail "the message did not go"
poll 50 'focus_is "Edit shown \"Window Rule 1\" in \"Ombrel\""' || fail "the field does not show the stored name: $(ctl focus)"
xdotool key ctrl+a
xdotool type '   '
before=$(focused)
click_tree || die "no tree"
box_comes "$before" || fail "a name of blanks showed no message"
ctl texts "$BOX" | grep -qxF 'A window rule needs a name.' ||
    fail "the message for a name of blanks: $(ctl texts "$BOX" | tr '\n' '|')"
xdotool key Return
poll 50 main_focused || fail "the message did not go (blanks)"
poll 50 'selected_is "Window Rule 1"' || fail "a name of blanks renamed the rule ($(ctl selected "$EDITOR"))"
click_name || die "no name field after the blanks"
poll 50 'focus_is "Edit shown \"Window Rule 1\" in \"Ombrel\""' || fail "the field does not show the stored name: $(ctl focus)"
xdotool key ctrl+a
xdotool type 'a{b}'
key_box Return || fail "a name with braces showed no message (focus: $(ctl focus))"
ctl texts "$BOX" | grep -qxF 'The name of a window rule cannot hold \ { or }.' ||
    fail "the message for braces: $(ctl texts "$BOX" | tr '\n' '|')"
xdotool key Return
poll 50 main_focused || fail "the message did not go (braces)"
close_unasked "after refused names"
cmp -s "$WORK/app/Ombrel.ini" "$WORK/original.ini" || fail "refused names changed the file"

# What is typed is saved as typed. A rename that changes only capitals is
# taken, and the rule keeps its place. The completion offers only the rest
# of a history item that starts with exactly the typed text: never an item
# in other capitals, never a rest of blanks alone.
fresh
sed -i 's/>Tip of the Day</>Tip of the Day </' "$WORK/app/Ombrel.ini"
start typed
click_name || die "no name field"
xdotool key ctrl+a
xdotool type 'WINDOW RULE 1'
xdotool key Return ctrl+s
poll 50 'has_rule "WINDOW RULE 1"' || fail "a rename in capitals only was not saved"
[ "$(grep -o '<window_rule name="[^"]*"' "$WORK/app/Ombrel.ini" | head -1)" = '<window_rule name="WINDOW RULE 1"' ] ||
    fail "the rule renamed in capitals is not first: $(grep -o '<window_rule name="[^"]*"' "$WORK/app/Ombrel.ini" | head -1)"
# The last rule's caption, then the one before it: both histories now hold
# what the rules shown so far hold (the first rule's class Notepad, the
# last rule's caption with its blank).
click_tree || die "no tree"
xdotool key End
poll 50 'selected_is "Close the tip of the day"' || die "End did not select the last rule ($(ctl selected "$EDITOR"))"
xdotool key Up
poll 50 'selected_is "Window Rule 3"' || die "Up did not select Window Rule 3 ($(ctl selected "$EDITOR"))"
click_class || die "no class field"
xdotool key ctrl+a
xdotool type 'notepad'
click_caption || die "no caption field"
xdotool type 'Tip'
poll 50 'focus_is "Edit shown \"Tip of the Day \" in \"Ombrel\""' ||
    fail "the completion does not offer the rest of the caption: $(ctl focus)"
xdotool type ' of the Day'
click_tree || die "no tree"
xdotool key ctrl+s
poll 50 'param_is window_class_name notepad' ||
    fail "the class typed in small letters was not saved as typed: $(grep -o 'window_class_name">[^<]*' "$WORK/app/Ombrel.ini" | tr '\n' '|')"
param_is window_caption 'Tip of the Day' ||
    fail "the caption was not saved as typed: $(grep -o 'window_caption">[^<]*' "$WORK/app/Ombrel.ini" | tr '\n' '|')"
close_unasked "after typing"

[ $FAILS -eq 0 ] && echo "words e2e: all passed"
exit $FAILS
