#!/bin/sh
# What the real OmbrelConfig.exe (from a copy of the distribution folder)
# loads keeps what the file holds, driven by real input (xdotool) and read
# from outside (ombrelctl, the saved file): a renamed first rule stays
# first; a caption ending in a blank keeps its blank through the editor's
# load and save, and the real command center rules a window captioned that
# way after the reload; the chosen language comes up when the editor starts
# from another folder; two rules of one name are both kept and saved; a
# file cut short, an empty file and well-formed files of another shape are
# said in a message and left as they are, whatever keys follow.
# Needs DISPLAY and the build's Wine prefix (scripts/test.sh sets both up).
# No fixed pauses: every step waits boundedly for an effect seen from outside.
# Usage: load_e2e.sh DIST_FOLDER OMBRELCTL_EXE TEST_WINDOW_EXE
set -u
DIST=$1
CTL=$2
TESTWIN=$3
WORK=$(mktemp -d)
EDITOR_PID=
PIDS=
E2E_NAME="load e2e"
. "$(dirname "$0")/e2e_lib.sh"

# The language the user chose is this test's to change, and to put back.
LANGUAGE_KEY='HKCU\SOFTWARE\Quennet\Ombrel'
OLD_LANGUAGE=$(wine reg query "$LANGUAGE_KEY" /v Language 2>/dev/null | tr -d '\r' |
    awk '$1 == "Language" { sub(/^[^R]*REG_[A-Z_]*[ \t]*/, ""); print; f=1 } END { if (!f) exit 1 }') ||
    OLD_LANGUAGE=-
restore_language() {
    if [ "$OLD_LANGUAGE" = - ]; then
        wine reg delete "$LANGUAGE_KEY" /v Language /f >/dev/null 2>&1
    else
        wine reg add "$LANGUAGE_KEY" /v Language /t REG_SZ /d "$OLD_LANGUAGE" /f >/dev/null 2>&1
    fi
}
trap 'restore_language; cleanup' EXIT

windows() { xdotool search --onlyvisible --name '^Ombrel$' 2>/dev/null | wc -l; }
# Starts the editor with the working folder $2 (the program's own when not
# given) and waits for its main window and the keyboard focus.
start() {
    ( cd "${2:-$WORK/app}" && exec wine "$WORK/app/OmbrelConfig.exe" ) >/dev/null 2>&1 &
    MAIN=
    poll 150 'MAIN=$(xdotool search --onlyvisible --name "^Ombrel$" 2>/dev/null | head -1); [ -n "$MAIN" ]' ||
        { fail "$1: no main window"; return 1; }
    EDITOR_PID=$(xdotool getwindowpid "$MAIN")
    if ! poll 50 main_focused; then
        # Another program's window kept the focus: a click on the caption,
        # as a user would do.
        eval "$(xdotool getwindowgeometry --shell "$MAIN")"
        xdotool mousemove --sync $((X + 100)) $((Y + 8)) click 1
        poll 50 main_focused || fail "$1: the main window has no keyboard focus"
    fi
}
ended() {
    poll 100 '! running' || return 1
    EDITOR_PID=
}
open_menu() {
    xdotool key "$@"
    poll 50 'ITEMS=$(ctl menu)'
}
close_menu() { xdotool key Escape; poll 50 '! ctl menu >/dev/null'; }
item() { printf '%s\n' "$ITEMS" | grep -qx "$1"; }

# A rule for windows of the class $2 (none when empty) and, when given, of
# the exact caption $3; "on top" as $4 ticks Stay on Top.
rule() {
    class_on=yes; [ -n "$2" ] || class_on=no
    printf '<window_rule name="%s" type="WINDOWRULE"><params><param name="enabled">yes</param></params>' "$1"
    printf '<conditions><content><condition name="DefaultCondition"><criterions><content>'
    printf '<criterion name="WINDOWCLASSNAMECRITERION" type="WINDOWCLASSNAMECRITERION"><params>'
    printf '<param name="enabled">%s</param><param name="window_class_name">%s</param>' "$class_on" "$2"
    printf '</params></criterion>'
    if [ -n "${3:-}" ]; then
        printf '<criterion name="WINDOWCaptionCriterion" type="WINDOWCaptionCriterion"><params>'
        printf '<param name="enabled">yes</param><param name="window_caption">%s</param>' "$3"
        printf '<param name="exact_search">yes</param></params></criterion>'
    fi
    printf '</content></criterions></condition></content></conditions>'
    if [ "${4:-}" = "on top" ]; then
        printf '<actions><content><action name="StayOnTop" type="STAYONTOPACTION"><params>'
        printf '<param name="enabled">yes</param></params></action></content></actions>'
    fi
    printf '</window_rule>\n'
}
# A fresh copy of the programs whose configuration holds the rules $1.
fresh() {
    if running; then kill "$EDITOR_PID"; poll 50 '! running'; fi
    EDITOR_PID=
    rm -rf "$WORK/app"; mkdir -p "$WORK/app"
    cp -r "$DIST/OmbrelConfig.exe" "$DIST/OmbrelCenter.exe" "$DIST/tbhook.dll" "$DIST/Languages" "$WORK/app/"
    printf '<tarvel_windows>\n\t<window_rules>\n\t\t<content>\n%s\t\t</content>\n\t</window_rules>\n</tarvel_windows>\n' \
        "$1" >"$WORK/app/Ombrel.ini"
    cp "$WORK/app/Ombrel.ini" "$WORK/original.ini"
}
has_rule() { grep -q "<window_rule name=\"$1\"" "$WORK/app/Ombrel.ini"; }
# The saved rules' names in file order, joined by "|".
rule_order() {
    grep -o '<window_rule name="[^"]*"' "$WORK/app/Ombrel.ini" | sed 's/.*name="//; s/"$//' | paste -sd'|'
}
# Opens a test window of class $1 at $2,$3 captioned $4.
open_window() {
    wine "$WORK/window.exe" "$1" "$2" "$3" "$4" >/dev/null 2>&1 &
    WIN=; WANT=$4
    poll 150 'WIN=$(xdotool search --name "^$WANT\$" 2>/dev/null | head -1); [ -n "$WIN" ]' || return 1
    PIDS="$PIDS $(xdotool getwindowpid "$WIN" 2>/dev/null)"
}
cp "$TESTWIN" "$WORK/window.exe"

# Renaming the first of three rules keeps it first: in the tree and in the
# saved file, where the order decides which rule answers.
fresh "$(rule One OmbLoadOne)$(rule Two OmbLoadTwo)$(rule Three OmbLoadThree)"
start rename
xdotool key Home Down
poll 50 'selected_is One' || fail "Down did not select the first rule ($(ctl selected "$EDITOR"))"
click_at control Ombrel Edit '*' after OmbFormsControl ' Window rule ' || fail "no name field"
xdotool key End
xdotool type ' renamed'
# Leaving the field stores the name.
xdotool key Tab
poll 50 'selected_is "One renamed"' || fail "the tree does not show the new name ($(ctl selected "$EDITOR"))"
xdotool key ctrl+s
poll 50 'has_rule "One renamed"' || fail "the new name was not saved"
[ "$(rule_order)" = "One renamed|Two|Three" ] || fail "the saved order is $(rule_order)"
xdotool key Up Down
poll 50 'selected_is "One renamed"' || fail "the renamed rule is not first in the tree"
xdotool key alt+F4
ended || fail "the editor did not close after saving the rename"

# A caption ending in a blank: the command center rules its window from the
# file, and again after the editor loaded and saved the file (and the
# center reloaded it); a window whose caption lacks the blank stays alone.
fresh "$(rule Other OmbLoadOther)$(rule Blank '' 'OmbLoad caption ')"
open_window OmbLoadBlank 1000 600 'OmbLoad caption ' || fail "the window with the blank did not open"
open_window OmbLoadTrim 1000 800 'OmbLoad caption' || fail "the window without the blank did not open"
wine "$WORK/app/OmbrelCenter.exe" >/dev/null 2>&1 &
poll 100 '[ -n "$(center_pid)" ]' || fail "the command center did not start"
poll 50 'ctl rule OmbLoadBlank | grep -q "^\\\\WINDOWRULENAME=Blank\\\\"' ||
    fail "the center does not rule the captioned window: $(ctl rule OmbLoadBlank)"
[ "$(ctl rule OmbLoadTrim)" = "(no rule)" ] || fail "the center rules the caption without the blank: $(ctl rule OmbLoadTrim)"
start caption
xdotool key Home Down Down
poll 50 'selected_is Blank' || fail "Down did not select the rule Blank ($(ctl selected "$EDITOR"))"
click_check "Stay on Top" || fail "the editor shows no Stay on Top"
xdotool key ctrl+s
poll 50 'grep -q "<action name=\"StayOnTop\"" "$WORK/app/Ombrel.ini" && ! cmp -s "$WORK/app/Ombrel.ini" "$WORK/original.ini"' ||
    fail "Ctrl+S did not save"
grep -q '<param name="window_caption">OmbLoad caption </param>' "$WORK/app/Ombrel.ini" ||
    fail "the saved caption lost its blank: $(grep -o '<param name="window_caption">[^<]*<' "$WORK/app/Ombrel.ini")"
# The center reloads after the save: the rule now keeps the window on top.
poll 100 'ctl rule OmbLoadBlank | grep -q "^\\\\WINDOWRULENAME=Blank\\\\.*ACTION=STAYONTOPACTION"' ||
    fail "after the reload the center answers: $(ctl rule OmbLoadBlank)"
poll 50 'ctl state OmbLoadBlank | grep -q "^on top"' || fail "the captioned window is not on top: $(ctl state OmbLoadBlank)"
[ "$(ctl rule OmbLoadTrim)" = "(no rule)" ] || fail "after the reload the caption without the blank is ruled"
# (Under Wine the window the rule puts on top comes to the foreground
# too; a user clicks back into the editor, and so does the test.)
if ! main_focused; then
    echo "  (the window put on top took the focus: $(ctl state OmbLoadBlank); clicking back into the editor)"
    eval "$(xdotool getwindowgeometry --shell "$MAIN")"
    xdotool mousemove --sync $((X + 100)) $((Y + 8)) click 1
    poll 50 main_focused || fail "the editor did not get the focus back"
fi
xdotool key alt+F4
ended || fail "the editor did not close after saving the caption rule"
ctl stop >/dev/null
poll 100 '[ -z "$(center_pid)" ]' || fail "the command center did not stop"

# German chosen, the editor started from another folder: it comes up in
# German, and its options list the languages of its own folder.
fresh "$(rule One OmbLoadOne)"
wine reg add "$LANGUAGE_KEY" /v Language /t REG_SZ /d de /f >/dev/null 2>&1 || fail "the language was not set"
mkdir -p "$WORK/elsewhere"
start german "$WORK/elsewhere"
if ! poll 50 'ctl button Ombrel Aktionen >/dev/null'; then
    die "the editor did not come up in German: $(ctl controls Ombrel | grep -i toolbar | head -3)"
fi
click_at button Ombrel Aktionen || fail "no menu Aktionen"
poll 50 'ctl popup >/dev/null' || fail "the menu Aktionen did not open"
# Up from the top reaches the last item: Optionen...
xdotool key Up Return
poll 50 'ctl state "OmbFormsControl/Optionen" >/dev/null' || fail "Optionen... opened no dialog"
ctl texts "OmbFormsControl/Optionen" | grep -qx 'German - Deutsch' ||
    fail "the options do not show the chosen language: $(ctl texts "OmbFormsControl/Optionen" | tr '\n' '|')"
xdotool key Escape
poll 50 '! ctl state "OmbFormsControl/Optionen" >/dev/null' || fail "Escape did not close the options"
xdotool key alt+F4
ended || fail "the German editor did not close"
restore_language

# Two rules of one name: both are kept (the second under the first free
# name), the configuration shows as changed, and a save writes both.
fresh "$(rule Twin OmbTwinA)$(rule Twin OmbTwinB)"
start twins
xdotool key Home Down Down
poll 50 'selected_is "Twin (2)"' || fail "the second rule of the name is not in the tree ($(ctl selected "$EDITOR"))"
open_menu alt+f || fail "the File menu did not open"
item 'enabled Save	Ctrl+S' || fail "the renamed rule does not show the configuration as changed: $ITEMS"
close_menu || fail "Escape did not close the File menu"
xdotool key ctrl+s
poll 50 'has_rule "Twin (2)"' || fail "the second rule was not saved under its new name"
[ "$(rule_order)" = "Twin|Twin (2)" ] || fail "the saved rules are $(rule_order)"
grep -q '>OmbTwinB<' "$WORK/app/Ombrel.ini" || fail "the second rule's class was not saved"
xdotool key alt+F4
ended || fail "the editor asked on closing although everything was saved"

# What the editor does not read stays through its save: a comment before
# the root, an element beside the rules' container, an element with an
# attribute of its own and a comment beside the rules. A document type
# declaration cannot be written again: the save asks first, and No leaves
# the file as it is.
fresh "$(rule One OmbKeepOne)$(printf '\t\t\t<future_thing level="2">kept</future_thing>\n\t\t\t<!-- beside the rules -->')
"
sed -i '1i <!-- written by hand -->' "$WORK/app/Ombrel.ini"
sed -i 's|^\t</window_rules>|&\n\t<future_settings/>|' "$WORK/app/Ombrel.ini"
start keep
editor_key ctrl+a ctrl+s
poll 50 'has_rule "Window Rule 1"' || fail "Ctrl+A, Ctrl+S did not save beside what the editor does not read"
for kept in '<!-- written by hand -->' '<future_settings/>' '<future_thing level="2">kept</future_thing>' \
    '<!-- beside the rules -->'; do
    grep -qF "$kept" "$WORK/app/Ombrel.ini" || fail "the save dropped $kept"
done
[ "$(rule_order)" = "One|Window Rule 1" ] || fail "the saved rules are $(rule_order)"
editor_key alt+F4
ended || fail "the editor did not close after saving beside what it does not read"
fresh "$(rule One OmbKeepOne)"
sed -i '1i <!DOCTYPE tarvel_windows>' "$WORK/app/Ombrel.ini"
cp "$WORK/app/Ombrel.ini" "$WORK/original.ini"
start doctype
editor_key ctrl+a ctrl+s
poll 50 box_focused || fail "no question before a save that drops the document type"
message=$(ctl texts "#32770/Ombrel" | tr '\n' '|')
case $message in
*"cannot write back"*"outside the root element"*"No leaves the file as it is."*) ;;
*) fail "the question does not name what a save drops: $message" ;;
esac
xdotool key n
poll 50 main_focused || fail "No did not go back to the editor"
cmp -s "$WORK/app/Ombrel.ini" "$WORK/original.ini" || fail "No did not leave the file as it is"
editor_key alt+F4
poll 50 box_focused || fail "closing with the changes kept did not ask"
xdotool key n
ended || fail "the editor did not close when its changes were dropped"
cmp -s "$WORK/app/Ombrel.ini" "$WORK/original.ini" || fail "closing without saving changed the file"

# A file that does not load: a message names the file, the reason (matched
# by the extended expression $2) and, when $3 is "where", its place. Ctrl+A
# and Ctrl+S in whatever the editor shows change nothing; the file stays
# byte for byte as it was (a missing one, $3 "missing", stays missing), and
# the program ends with a non-zero exit code. $1 names the file in failures.
refused() {
    if [ "${3:-}" = missing ]; then rm -f "$WORK/original.ini"; else cp "$WORK/app/Ombrel.ini" "$WORK/original.ini"; fi
    wine "$WORK/app/OmbrelConfig.exe" >/dev/null 2>&1 &
    LOADER=$!
    BOX=
    poll 150 'BOX=$(xdotool search --onlyvisible --name "^Ombrel$" 2>/dev/null | head -1); [ -n "$BOX" ]' ||
        fail "$1: no message"
    if [ -n "$BOX" ]; then
        EDITOR_PID=$(xdotool getwindowpid "$BOX")
        message=$(ctl texts "#32770/Ombrel" | tr '\n' '|')
        case $message in
        *"The configuration could not be loaded:|"*'\Ombrel.ini|'*) ;;
        *) fail "$1: the message does not name the file: $message" ;;
        esac
        printf '%s' "$message" | grep -Eq "$2" || fail "$1: the message does not say why: $message"
        if [ "${3:-}" = where ]; then
            printf '%s' "$message" | grep -Eq '\|Line [1-9][0-9]*, position [1-9][0-9]*\.\|' ||
                fail "$1: the message does not say where: $message"
        fi
        if [ "${3:-}" != missing ]; then
            printf '%s' "$message" | grep -q 'The file was left as it is.' || fail "$1: the message: $message"
        fi
        [ "$(windows)" -eq 1 ] || fail "$1: a main window showed beside the message"
        [ "$(focused)" = "$BOX" ] || xdotool windowfocus "$BOX" 2>/dev/null
        poll 50 '[ "$(focused)" = "$BOX" ]' || fail "$1: the message has no keyboard focus"
        xdotool key ctrl+a ctrl+s
        poll 10 'unchanged; [ $? -ne 0 ]' && fail "$1: Ctrl+A, Ctrl+S changed the file"
        xdotool key Return
    fi
    poll 100 '! kill -0 $LOADER 2>/dev/null' || fail "$1: the editor did not end after the message"
    if running; then kill "$EDITOR_PID"; poll 50 '! running'; fi
    wait $LOADER; rc=$?
    EDITOR_PID=
    [ $rc -ne 0 ] || fail "$1: after the message the exit code is 0, as if the editor had run"
    [ "$(windows)" -eq 0 ] || fail "$1: a window stayed after the message"
    unchanged || fail "$1: the file was changed"
}
# The file as it was before the editor started: the same bytes, or still
# missing.
unchanged() {
    if [ -f "$WORK/original.ini" ]; then cmp -s "$WORK/app/Ombrel.ini" "$WORK/original.ini"; else [ ! -e "$WORK/app/Ombrel.ini" ]; fi
}

fresh "$(rule One OmbLoadOne)$(rule Two OmbLoadTwo)"
head -c 300 "$WORK/original.ini" >"$WORK/app/Ombrel.ini"
refused "a file cut short" . where
printf '' >"$WORK/app/Ombrel.ini"
refused "an empty file" '\|The file is empty'
# Well-formed files of another shape: the root element misspelled; the
# rules under a misnamed container.
RULES=
for i in $(seq 1 20); do RULES="$RULES$(rule "Rule $i" "OmbShape$i")"; done
fresh "$RULES"
sed -i 's/tarvel_windows>/tarvel_window>/' "$WORK/app/Ombrel.ini"
refused "another root element" '\|The file holds no configuration: its root element is <tarvel_window>'
fresh "$RULES"
sed -i 's/window_rules>/window_rulez>/' "$WORK/app/Ombrel.ini"
refused "a misnamed container" '\|The element <tarvel_windows> holds no <window_rules>: an unknown element <window_rulez>'
# No configuration at all: said, with the file looked for.
rm -f "$WORK/app/Ombrel.ini"
refused "a missing file" '\|The file is not there: [^|]*[A-Za-z][^|]* \(code 2\)' missing

[ $FAILS -eq 0 ] && echo "load e2e: all passed"
exit $FAILS
