#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the Windows
# binaries under Wine (with a virtual display when there is none), and the
# pure code natively under the address and undefined-behaviour sanitizers.
set -euo pipefail
. "$(dirname "$0")/common.sh"

install_packages
build_windows
build_native

setup_wine
trap stop_all EXIT
start_display
start_wineserver

status=0
log "Windows tests (under Wine)"
(cd "$OMB_WIN_BUILD" && ctest --output-on-failure -j "${OMB_TEST_JOBS:-4}") || status=$?
log "native tests (sanitizers)"
(cd "$OMB_NATIVE_BUILD" && ctest --output-on-failure -j "$(nproc)") || status=$?
if [ -x "$OMB_ROOT/scripts/fuzz.sh" ]; then
    log "bounded fuzz runs"
    "$OMB_ROOT/scripts/fuzz.sh" || status=$?
fi
exit $status
