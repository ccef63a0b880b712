#!/usr/bin/env bash
# Installs what is missing, builds, and runs the command center and the
# editor under Wine with the sample configuration, on the current display or
# a virtual one. Opens Notepad so that the sample rule "Notepad stays on top"
# is seen at work, says what happened, and keeps running until interrupted
# (Ctrl+C).
set -euo pipefail
. "$(dirname "$0")/common.sh"

install_packages
build_windows

RUN_DIR=$OMB_BUILD/run
export WINEPREFIX=$OMB_BUILD/run-prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    log "creating the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
fi
start_display
wineserver -p
wine cmd /c exit </dev/null >/dev/null 2>&1 || true

rm -rf "$RUN_DIR"
cp -r "$OMB_DIST" "$RUN_DIR"
ctl() { wine "$OMB_WIN_BUILD/tools/ombrelctl.exe" "$@" 2>/dev/null | tr -d '\r'; }

finish() {
    log "stopping the command center"
    ctl stop >/dev/null || true
    sleep 1
    wineserver -k >/dev/null 2>&1 || true
    stop_all
}
trap finish EXIT
trap 'exit 0' INT TERM

log "starting OmbrelCenter.exe from $RUN_DIR (display $DISPLAY)"
(cd "$RUN_DIR" && wine OmbrelCenter.exe </dev/null >/dev/null 2>&1 &)
sleep 3
log "opening Notepad"
(wine notepad </dev/null >/dev/null 2>&1 &)
if ctl wait Notepad 30 >/dev/null; then
    sleep 2
    echo "Notepad: $(ctl state Notepad)"
    echo "rule the command center answers for it: $(ctl rule Notepad)"
else
    echo "Notepad did not open"
fi
log "starting the editor OmbrelConfig.exe"
(cd "$RUN_DIR" && wine OmbrelConfig.exe </dev/null >/dev/null 2>&1 &)
# The editor's windows are of the form library's own class.
if ctl wait OmbFormsControl 30 >/dev/null 2>&1; then
    echo "editor: open on $RUN_DIR/Ombrel.ini"
else
    echo "editor: started (its window was not seen yet)"
fi
log "the command center and the editor run; press Ctrl+C to stop them"
while true; do sleep 3600; done
