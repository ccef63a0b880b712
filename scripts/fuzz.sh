#!/usr/bin/env bash
# Runs every libFuzzer target of the native build for a bounded time (about
# OMB_FUZZ_SECONDS, 60 by default, shared among the targets), each seeded with
# its corpus in fuzz/corpus/<name>. Fails when a target is missing or finds a
# fault; the failing input is kept in build/native/fuzz-work/<name>/.
set -euo pipefail
. "$(dirname "$0")/common.sh"

targets=(item_reader str_utils)
total=${OMB_FUZZ_SECONDS:-60}
each=$(( total / ${#targets[@]} ))
[ "$each" -gt 0 ] || each=1

status=0
for name in "${targets[@]}"; do
    bin=$OMB_NATIVE_BUILD/fuzz/fuzz_$name
    work=$OMB_NATIVE_BUILD/fuzz-work/$name
    if [ ! -x "$bin" ]; then
        log "fuzz target $bin is missing (scripts/test.sh builds it)"
        status=1
        continue
    fi
    mkdir -p "$work/corpus" "$work/artifacts"
    log "fuzzing $name for ${each} s"
    # New inputs go to the work corpus; the seeds in the tree stay untouched.
    if "$bin" -max_total_time="$each" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
        "$work/corpus" "$OMB_ROOT/fuzz/corpus/$name" >"$work/log.txt" 2>&1; then
        grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)' "$work/log.txt" >&2 || true
    else
        log "fuzz target $name failed:"
        tail -n 60 "$work/log.txt" >&2
        status=1
    fi
done
exit $status
