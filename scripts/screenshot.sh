#!/usr/bin/env bash
# Makes docs/editor.png: the real OmbrelConfig.exe of build/dist with the
# sample configuration, under Xvfb, one rule selected. Run after a build.
set -euo pipefail
. "$(dirname "$0")/common.sh"
install_packages
setup_wine
trap stop_all EXIT
start_display
start_wineserver || true  # (one may run already)
WORK=$(mktemp -d)
cp -r "$OMB_DIST/." "$WORK/"
# The designed placement, not what a test run left in the prefix.
wine reg delete 'HKCU\SOFTWARE\Quennet\Ombrel\Tarvel Windows' /f >/dev/null 2>&1 || true
wine "$WORK/OmbrelConfig.exe" >/dev/null 2>&1 &
W=
for _ in $(seq 150); do
    W=$(xdotool search --name '^Ombrel$' 2>/dev/null | head -1) && [ -n "$W" ] && break
    sleep 0.1
done
[ -n "$W" ] || { echo "no editor window" >&2; exit 1; }
PID=$(xdotool getwindowpid "$W")
for _ in $(seq 50); do [ "$(xdotool getwindowfocus 2>/dev/null || true)" = "$W" ] && break; sleep 0.1; done
# The first rule selected, its panel shown; wait until two pictures agree.
xdotool key Down
prev=
for _ in $(seq 50); do
    import -window "$W" "$WORK/shot.png"
    sum=$(md5sum <"$WORK/shot.png")
    [ "$sum" = "$prev" ] && break
    prev=$sum; sleep 0.1
done
mkdir -p "$OMB_ROOT/docs"
convert "$WORK/shot.png" -colors 64 "PNG8:$OMB_ROOT/docs/editor.png"
kill "$PID" 2>/dev/null || true
rm -rf "$WORK"
log "wrote docs/editor.png"
