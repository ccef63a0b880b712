# Helpers shared by the end-to-end scripts of the editor. Sourced, not run,
# after the script set WORK (its temporary folder), EDITOR_PID and PIDS (the
# other Windows processes it started), and E2E_NAME (for its last line).
FAILS=0
fail() { echo "FAIL: $*"; FAILS=$((FAILS + 1)); }
# Bounded poll: up to $1 tenths of a second for the condition in $2.
poll() {
    _poll_n=$1; shift
    while [ "$_poll_n" -gt 0 ]; do
        if eval "$@"; then return 0; fi
        sleep 0.1; _poll_n=$((_poll_n - 1))
    done
    return 1
}
focused() { xdotool getwindowfocus 2>/dev/null; }
main_focused() { [ "$(focused)" = "$MAIN" ]; }
# A message box of the editor (titled "Ombrel") has the keyboard.
box_focused() { f=$(focused); [ -n "$f" ] && [ "$f" != "$MAIN" ] && [ "$(xdotool getwindowname "$f" 2>/dev/null)" = Ombrel ]; }
running() { [ -n "$EDITOR_PID" ] && kill -0 "$EDITOR_PID" 2>/dev/null; }
# ombrelctl's answer without carriage returns, and its exit status.
ctl() {
    out=$(wine "$CTL" "$@" 2>/dev/null); rc=$?
    printf '%s\n' "$out" | tr -d '\r'
    return $rc
}
# The editor's main window, as ombrelctl names windows.
EDITOR="OmbFormsControl/Ombrel"
selected_is() { [ "$(ctl selected "$EDITOR")" = "$1" ]; }
# The command center of this copy (Wine shows its path in Windows form).
center_pid() {
    ps -eo pid=,args= | grep -F "$(basename "$WORK")" | grep -F 'OmbrelCenter.exe' |
        grep -v grep | awk '{print $1; exit}'
}
cleanup() {
    # The Windows processes themselves (the wine loaders are gone by then),
    # gone before the next test starts its programs.
    c=$(center_pid)
    for p in "$EDITOR_PID" $PIDS $c; do
        [ -n "$p" ] && kill "$p" 2>/dev/null
    done
    for p in "$EDITOR_PID" $PIDS $c; do
        [ -n "$p" ] && poll 50 '! kill -0 "$p" 2>/dev/null'
    done
    rm -rf "$WORK"
}
trap cleanup EXIT
die() {
    fail "$*"
    [ -n "${SHOT:-}" ] && import -window root "$SHOT"
    echo "$E2E_NAME: stopped after $FAILS failure(s)"
    exit 1
}
# A copy of the distribution folder in $WORK/app whose configuration is the
# sample's root element without its rules.
journey_copy() {
    mkdir -p "$WORK/app"
    cp -r "$DIST/OmbrelConfig.exe" "$DIST/OmbrelCenter.exe" "$DIST/tbhook.dll" "$DIST/Languages" "$WORK/app/"
    awk '/<window_rule /{skip=1} !skip{print} /<\/window_rule>/{skip=0}' "$DIST/Ombrel.ini" >"$WORK/app/Ombrel.ini"
    grep -q '<window_rule ' "$WORK/app/Ombrel.ini" && die "the configuration still holds a rule"
    return 0
}
ini() { grep -q "$1" "$WORK/app/Ombrel.ini"; }

# Controls are found from outside by ombrelctl ($CTL), not at offsets from
# the window's corner: R := the screen rectangle "left top width height" of
# what `ombrelctl "$@"` finds, waiting up to 5 s for it to be shown.
find_rect() {
    i=50
    while :; do
        # ombrelctl's own status decides (a pipeline's would be tr's).
        R=$(wine "$CTL" "$@" 2>/dev/null) && { R=$(printf '%s' "$R" | tr -d '\r'); return 0; }
        i=$((i - 1)); [ $i -gt 0 ] || return 1
        sleep 0.1
    done
}
# CX, CY := the centre of what `ombrelctl "$@"` finds.
find_centre() {
    find_rect "$@" || return 1
    set -- $R
    CX=$(($1 + $3 / 2)); CY=$(($2 + $4 / 2))
}
point_at() { find_centre "$@" || return 1; move_to $CX $CY; }
# The pointer to $1,$2; --sync would wait for a motion that never comes
# when it is there already.
move_to() {
    eval "$(xdotool getmouselocation --shell 2>/dev/null | grep -E '^[XY]=' | sed 's/^/MOUSE_/')"
    [ "${MOUSE_X:-}" = "$1" ] && [ "${MOUSE_Y:-}" = "$2" ] && return 0
    xdotool mousemove --sync "$1" "$2"
}
click_at() { point_at "$@" && xdotool click 1; }
# A control of the editor's window: class and text (see ombrelctl).
click_control() { click_at control Ombrel "$@"; }
# A check box of the editor's window with the text $1, clicked on its box:
# a wide check box's middle may lie under another program's window.
click_check() {
    find_rect control Ombrel Button "$1" || return 1
    set -- $R
    move_to $(($1 + $4 / 2)) $(($2 + $4 / 2)) && xdotool click 1
}
# Opens the editor's menu $1 from its bar and chooses its item $2 (from 0,
# separators not counted) with the arrow keys: the items of a pop-up menu
# are no windows that could be found.
# The keys go to the window with the X focus: after another program's window
# came and went, the editor may not have it yet, and the keys would reach
# that program instead of the menu. A menu left open is closed first.
menu_item() {
    close_menus
    main_focused || xdotool windowfocus --sync "$MAIN" 2>/dev/null
    poll 50 main_focused || return 1
    click_at button Ombrel "$1" || return 1
    poll 50 popup_shown || return 1
    poll 50 main_focused || return 1
    k=0
    while [ $k -le "$2" ]; do xdotool key Down; k=$((k + 1)); done
    xdotool key Return
}
# Keys for the editor's main window, sent once it has the X focus: a click
# on the window gives it the focus a moment later, and keys sent before
# would reach another program.
editor_key() {
    poll 50 main_focused || echo "$E2E_NAME: the editor has no keyboard focus (focus $(focused), editor $MAIN)"
    xdotool key "$@"
}
popup_shown() { wine "$CTL" popup >/dev/null 2>&1; }
close_menus() {
    n=0
    while popup_shown && [ $n -lt 5 ]; do
        xdotool key Escape
        poll 20 '! popup_shown'
        n=$((n + 1))
    done
}
# Drags the editor's finder onto the screen point $1,$2 in steps.
drag_finder_to() {
    find_centre control Ombrel OmbFormsControl 'Drag the cross-hair*' || return 1
    sx=$CX; sy=$CY
    move_to $sx $sy && xdotool mousedown 1
    for s in 1 2 3 4 5 6 7 8 9 10; do
        move_to $((sx + ($1 - sx) * s / 10)) $((sy + ($2 - sy) * s / 10))
    done
    xdotool mouseup 1
}
