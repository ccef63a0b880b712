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
# earlier one was handled too. What the windows show (the selected tree
# item, a message box's text, a menu's items, the dialogs' layout) is read
# from outside with ombrelctl.
# With OMB_EDITOR_SHOTS set to a folder, the about dialog, the options
# dialog and two open menus are saved there as pictures.
# Usage: editor_e2e.sh DIST_FOLDER OMBRELCTL_EXE TEST_WINDOW_EXE
set -u
DIST=$1
CTL=$2
TESTWIN=$3
WORK=$(mktemp -d)
EDITOR_PID=
PIDS=
E2E_NAME="editor e2e"
. "$(dirname "$0")/e2e_lib.sh"
# Top-level windows titled like the editor (its main window and its boxes).
windows() { xdotool search --name '^Ombrel$' 2>/dev/null | wc -l; }
# A message box of the editor has the keyboard focus.
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
key_box() {
    before=$(focused); xdotool key "$@"
    poll 100 'box_focused && [ "$(focused)" != "$before" ]' && return 0
    # Shown but left without the display's input focus: under Wine the main
    # window's own activation, still under way from the box before, can
    # take the focus back from a box that follows at once. A user clicks
    # onto it; so does the test, and says so.
    box=$(xdotool search --name '^Ombrel$' 2>/dev/null | grep -vx -e "$MAIN" -e "$before" | head -1)
    if [ -n "$box" ]; then
        echo "  (the box $box showed without the focus; focusing it)"
        xdotool windowfocus "$box" 2>/dev/null
        poll 50 'box_focused' && return 0
    fi
    # What was there instead, for the failure's message.
    echo "  (focus: $(focused) \"$(xdotool getwindowname "$(focused)" 2>/dev/null)\"," \
        "main $MAIN, windows: $(xdotool search --name '^Ombrel$' 2>/dev/null | tr '\n' ' '))"
    return 1
}
# Sends a key to a box and waits until the main window has the focus again.
key_back() { xdotool key "$@"; poll 100 main_focused; }
fresh() {
    # An editor a failed step left open goes first.
    if running; then kill "$EDITOR_PID"; poll 50 '! running'; fi
    EDITOR_PID=
    rm -rf "$WORK/app"; mkdir -p "$WORK/app"
    cp -r "$DIST/OmbrelConfig.exe" "$DIST/Languages" "$WORK/app/"
    sed 's/Notepad stays on top/Window Rule 1/; s/Help opens maximized/Window Rule 3/' \
        "$DIST/Ombrel.ini" >"$WORK/app/Ombrel.ini"
    cp "$WORK/app/Ombrel.ini" "$WORK/original.ini"
}
has_rule() { grep -q "name=\"$1\"" "$WORK/app/Ombrel.ini"; }
rules() { grep -c '<window_rule ' "$WORK/app/Ombrel.ini"; }
BOX="#32770/Ombrel"
# Opens a menu with the keys $@ and reads its items into ITEMS (with their
# places on the screen when PLACES is set); the menu stays open.
open_menu() {
    xdotool key "$@"
    poll 50 'ITEMS=$(ctl menu ${PLACES:-})'
}
close_menu() { xdotool key Escape; poll 50 '! ctl menu >/dev/null'; }
item() { printf '%s\n' "$ITEMS" | grep -qx "$1"; }
# Opens the Actions menu, reads it and closes it again.
actions() { open_menu alt+a && close_menu; }
# Tab ($1: Tab or shift+Tab) from the tree round to the tree again: WALK
# := the controls it stops on, one a line, as class and screen rectangle
# ("Edit shown L T W H"; their texts differ between rules).
tab_walk() {
    WALK=; last=$(ctl focus places)
    case $last in SysTreeView32*) ;; *) echo "  (the walk starts from $last)"; return 1;; esac
    for _ in $(seq 30); do
        xdotool key "$1"
        poll 50 'now=$(ctl focus places) && [ "$now" != "$last" ]' || return 1
        last=$now
        case $now in SysTreeView32*) return 0;; esac
        WALK=${WALK:+$WALK
}$(printf '%s' "$now" | sed 's/ ".*" in "Ombrel" at / /')
    done
    return 1
}
# The stops of $1 in reading order: each one's middle lies lower than the
# one before, or in its row and further right.
reading_order() {
    printf '%s\n' "$1" | awk '{ y = $4 + $6 / 2; x = $3
        if (NR > 1 && (y < py - 3 || (y <= py + 3 && x <= px))) bad = 1
        py = y; px = x } END { exit bad || NR < 2 }'
}
shot() { [ -n "${OMB_EDITOR_SHOTS:-}" ] && import -window root "$OMB_EDITOR_SHOTS/$1.png"; }
# The columns of the screen's rectangle $2..$5 (left top right bottom) in
# the picture $1 that hold anything but the background, "#" for ink and
# "." for none (the background is taken near the right end, past any text).
ink() {
    w=$(($4 - $2)); h=$(($5 - $3))
    bg=$(convert "$1" -crop 1x1+$(($4 - 3))+$(($3 + h / 2)) -format '%[pixel:p{0,0}]' info:)
    convert "$1" -crop "${w}x${h}+$2+$3" +repage -fuzz 8% -fill black +opaque "$bg" -fuzz 0 -fill white \
        +opaque black -colorspace gray -scale "${w}x1!" -depth 8 txt:- |
        awk -F'[(,)]' 'NR > 1 { printf "%s", ($3 < 250) ? "#" : "." } END { print "" }'
}
# An item with an image shows a gap between the image (16 wide) and its
# text: $1 is the item's line of "ombrelctl menu places".
image_apart() {
    [ -n "$1" ] || return 1
    set -- $1
    columns=$(ink "$SHOT" "$1" "$2" "$3" "$4")
    # From the image's first column: ink, then at least two blank columns
    # before the text, all within the image's width and its margins.
    printf '%s\n' "$columns" | sed 's/^\.*//' | grep -Eq '^[#.]{1,18}\.\.+#'
}

# (No configuration: load_e2e.sh, with the other files that do not load.)

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

# Add and save twice; the second rule is added (with the Add tool button)
# while the first one's name is being typed: the panel with the focused
# field goes away, the keys after it reach the editor (Ctrl+S saves every
# rule) and none lands in a field nobody sees.
fresh; start add-while-typing
nrules=$(rules)
xdotool key ctrl+a ctrl+s
poll 50 '[ "$(rules)" -eq $((nrules + 1)) ] && has_rule "Window Rule 2"' || fail "add, save: $(rules) rules saved, not $((nrules + 1))"
click_at control Ombrel Edit '*' after OmbFormsControl ' Window rule ' || fail "no name field"
xdotool key End
xdotool type ' renamed'
click_at button Ombrel 1 2 || fail "no Add tool button"
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
poll 100 'selected_is "Window Rule 2"' || fail "Ctrl+A did not add and select Window Rule 2"
key_box alt+F4 || fail "no question on closing with changes"
xdotool key n
ended || fail "No did not close the editor"
cmp -s "$WORK/app/Ombrel.ini" "$WORK/original.ini" || fail "No changed the file"

# Closing with changes: Cancel keeps the window and the changes, Yes saves.
fresh; start close-yes
xdotool key ctrl+a
poll 100 'selected_is "Window Rule 2"' || fail "Ctrl+A did not add and select Window Rule 2"
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
poll 100 'selected_is "Window Rule 2"' || fail "Ctrl+A did not add and select Window Rule 2"
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

# Ctrl+D on the root does nothing: no question, the tree and the file as
# they were (Down then reaches the first rule, Save stays disabled).
fresh; start delete
xdotool key Home
poll 50 'selected_is "Window Rules"' || fail "Home did not select the root"
xdotool key ctrl+d Down
poll 50 'selected_is "Window Rule 1"' || fail "after Ctrl+D on the root Down did not reach the first rule"
[ "$(windows)" -eq 1 ] || fail "Ctrl+D on the root showed a window"
# On a rule it asks; No keeps the rule (it is still there below and above).
xdotool key Down
poll 50 'selected_is "Ask before closing Notepad"' || fail "Down did not select the second rule"
key_box ctrl+d || fail "Ctrl+D on a rule asked nothing"
question=$(ctl texts "$BOX" | grep -F 'Are you sure')
[ "$question" = 'Are you sure you want to delete the Window Rule "Ask before closing Notepad"?' ] ||
    fail "the delete question is \"$question\""
key_back n || fail "No left the question open"
xdotool key Down Up
poll 50 'selected_is "Ask before closing Notepad"' || fail "No did not keep the rule"
open_menu alt+f || fail "the File menu did not open"
item 'grayed Save	Ctrl+S' || fail "Ctrl+D on the root or No changed the configuration: $ITEMS"
close_menu || fail "Escape did not close the File menu"
# Yes removes it and selects the rule above it; on the first rule, the root.
key_box ctrl+d || fail "Ctrl+D asked nothing the second time"
key_back y || fail "Yes left the question open"
poll 50 'selected_is "Window Rule 1"' || fail "after Yes the rule above is not selected ($(ctl selected "$EDITOR"))"
xdotool key Down
poll 50 'selected_is "Paint reopens where it was"' || fail "Yes left the rule in the tree"
xdotool key Up
poll 50 'selected_is "Window Rule 1"' || fail "Up did not go back to the first rule"
key_box ctrl+d || fail "Ctrl+D asked nothing on the first rule"
key_back y || fail "Yes left the question open (first rule)"
poll 50 'selected_is "Window Rules"' || fail "deleting the first rule did not select the root"
xdotool key ctrl+s
poll 50 '! has_rule "Ask before closing Notepad" && ! has_rule "Window Rule 1"' || fail "the deleted rules were saved"
has_rule "Paint reopens where it was" && has_rule "Window Rule 3" || fail "the other rules were not saved"
xdotool key alt+F4
ended || fail "the editor did not end after saving"

# Tab from the tree walks the rule's panel in reading order, its name row
# first (the enabled check box, then the name), and back to the tree;
# Shift+Tab the other way. The same again after the rule was shown anew:
# after another rule (the panel shows the next one in place), after the
# root (the panel is set aside and taken up again), on an added rule and
# after it.
fresh; start tab
xdotool key Home Down
poll 50 'selected_is "Window Rule 1"' || fail "Home, Down did not select the first rule"
tab_walk Tab || fail "Tab did not come round to the tree: $WALK"
FIRST=$WALK
find_rect control Ombrel Edit '*' after OmbFormsControl ' Window rule ' || fail "no name field"
printf '%s\n' "$FIRST" | head -1 | grep -q '^Button ' && [ "$(printf '%s\n' "$FIRST" | sed -n 2p)" = "Edit shown $R" ] &&
    reading_order "$FIRST" || fail "Tab after the first selection:
$FIRST"
for way in "Down Up/Window Rule 1" "Home Down/Window Rule 1" "ctrl+a/Window Rule 2" "Home Down/Window Rule 1"; do
    xdotool key ${way%/*}
    poll 50 'selected_is "${way#*/}"' || fail "${way%/*} did not select ${way#*/}"
    tab_walk Tab && [ "$WALK" = "$FIRST" ] || fail "Tab after ${way%/*}:
$WALK"
done
tab_walk shift+Tab && [ "$WALK" = "$(printf '%s\n' "$FIRST" | tac)" ] || fail "Shift+Tab:
$WALK"
key_box alt+F4 || fail "no question on closing after the added rule"
xdotool key n
ended || fail "No did not close the editor"

# A second editor started while the first is minimized behind another
# program's window brings the first forward, restored, and ends with 0.
fresh; start minimized
open_menu alt+space || fail "Alt+Space opened no window menu"
xdotool key n
poll 50 'ctl state "$EDITOR" | grep -q minimized' || fail "Minimize did not minimize the editor"
wine "$TESTWIN" OmbEditorFront 300 300 >/dev/null 2>&1 &
FRONT=
poll 150 'FRONT=$(xdotool search --name "^OmbEditorFront\$" 2>/dev/null | head -1); [ -n "$FRONT" ]' ||
    fail "the test window did not open"
[ -n "$FRONT" ] && PIDS="$PIDS $(xdotool getwindowpid "$FRONT")"
poll 50 '[ "$(focused)" = "$FRONT" ]' || fail "the test window has no keyboard focus"
wine "$WORK/app/OmbrelConfig.exe" >/dev/null 2>&1; rc=$?
[ $rc -eq 0 ] || fail "the second editor ended with $rc"
poll 50 '[ "$(ctl state "$EDITOR")" = "not on top, foreground" ]' ||
    fail "the first editor was not restored to the foreground ($(ctl state "$EDITOR"))"
poll 50 main_focused || fail "the restored editor has no keyboard focus"
xdotool key alt+F4
ended || fail "the restored editor did not close"

# Launch without OmbrelCenter.exe in the program folder says so.
fresh; start launch-missing
open_menu alt+a || fail "the Actions menu did not open"
key_box Return || fail "Launch without OmbrelCenter.exe said nothing"
ctl texts "$BOX" | grep -q 'Could not open ".*OmbrelCenter.exe"' || fail "the message: $(ctl texts "$BOX")"
key_back Return || fail "the message did not go"

# Launch and Stop follow a command center started and ended from outside.
fresh; cp "$DIST/OmbrelCenter.exe" "$DIST/tbhook.dll" "$WORK/app/"; start launch-stop
actions || fail "the Actions menu did not open"
item 'enabled Launch Ombrel' && item 'grayed Stop Ombrel' || fail "without a command center: $ITEMS"
wine "$WORK/app/OmbrelCenter.exe" >/dev/null 2>&1 &
poll 100 '[ -n "$(center_pid)" ]' || fail "the command center did not start"
CENTER=$(center_pid)
poll 30 'actions && item "grayed Launch Ombrel" && item "enabled Stop Ombrel"' ||
    fail "with a command center running: $ITEMS"
ctl stop >/dev/null
poll 100 '! kill -0 "$CENTER" 2>/dev/null' || fail "the command center did not stop"
poll 30 'actions && item "enabled Launch Ombrel" && item "grayed Stop Ombrel"' ||
    fail "after the command center ended: $ITEMS"

# The look: the items' images keep apart from their texts, every control of
# the about and the options dialog lies inside its parent.
SHOT=$WORK/menu.png
PLACES=places open_menu alt+w || fail "the Window Rule menu did not open"
import -window root "$SHOT"; shot window-rule-menu
for name in "Add rule" "Delete rule"; do
    line=$(printf '%s\n' "$ITEMS" | grep -F " $name	")
    image_apart "$line" || fail "the image of \"$name\" touches its text: $( [ -n "$line" ] && set -- $line && ink "$SHOT" $1 $2 $3 $4)"
done
close_menu
PLACES=places open_menu alt+a || fail "the Actions menu did not open for its picture"
import -window root "$SHOT"; shot actions-menu
line=$(printf '%s\n' "$ITEMS" | grep -F ' Launch Ombrel')
image_apart "$line" || fail "the image of Launch touches its text"
# Up from the top reaches the last item: Options...
xdotool key Up Return
poll 50 'ctl state "OmbFormsControl/Options" >/dev/null' || fail "Options... opened no dialog"
layout=$(ctl layout "OmbFormsControl/Options") || fail "the options dialog: $layout"
shot options
xdotool key Escape
poll 50 '! ctl state "OmbFormsControl/Options" >/dev/null' || fail "Escape did not close the options dialog"
open_menu alt+h || fail "the Help menu did not open"
xdotool key Up Return
poll 50 'ctl state "OmbFormsControl/About Ombrel" >/dev/null' || fail "About... opened no dialog"
layout=$(ctl layout "OmbFormsControl/About Ombrel") || fail "the about dialog: $layout"
shot about
xdotool key Escape
poll 50 '! ctl state "OmbFormsControl/About Ombrel" >/dev/null' || fail "Escape did not close the about dialog"
xdotool key alt+F4
ended || fail "the editor did not close at the end"

[ $FAILS -eq 0 ] && echo "editor e2e: all passed"
exit $FAILS
