#!/usr/bin/env bash
# run.sh -- bounded libFuzzer runs of every fuzz target, from the committed seed corpora
#
# Usage: run.sh BUILD_DIR SECONDS_PER_TARGET. New inputs go to a scratch
# corpus, so the committed seeds stay as they are; a crashing input is
# printed in hex before the run fails. Longer runs: pass more seconds.
set -u
build=$1
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
passed=0 failed=0
for target in cmdline options render; do
    mkdir -p "$scratch/$target"
    echo "== fuzz_$target for ${seconds}s"
    if "$build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$scratch/$target-" -timeout=30 -rss_limit_mb=4096 \
        "$scratch/$target" "$here/corpus/$target" >"$scratch/$target.log" 2>&1; then
        grep -E '^stat::number_of_executed_units|^Done' "$scratch/$target.log"
        passed=$((passed + 1))
    else
        tail -n 40 "$scratch/$target.log"
        for crash in "$scratch/$target-"*; do
            [ -f "$crash" ] && { echo "crashing input $crash:"; od -A x -t x1z "$crash" | head -n 20; }
        done
        failed=$((failed + 1))
    fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" = 0 ]
