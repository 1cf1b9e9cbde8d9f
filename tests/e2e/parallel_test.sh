#!/usr/bin/env bash
# parallel_test.sh -- a film rendered in parts at once by GNU parallel is the film of one run, also when a part is stopped and run again
#
#   tests/e2e/parallel_test.sh RENDER
#
# Three parts into one folder, started by GNU parallel as the README shows,
# give the bytes of a single run. Then one part of a film of larger frames
# is stopped by SIGTERM once it has written a frame, and parallel's
# --resume-failed runs it again: the film is the single run's to the byte,
# and the frames the stopped part had written are kept, the same files.
# Without GNU parallel the test is skipped (status 77), except under
# CI=true, where it fails.
set -u
render=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
tmp=$(mktemp -d)
started=()
cleanup() {
    local p
    for p in "${started[@]}"; do kill "$p" 2>/dev/null; done
    for p in "${started[@]}"; do wait "$p" 2>/dev/null; done
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
now_ms() { date +%s%3N; }

if ! command -v parallel >/dev/null; then
    [ "${CI:-}" = true ] && fail "GNU parallel is not installed (Debian package parallel)"
    echo "SKIP: GNU parallel is not installed (Debian package parallel)"
    exit 77
fi

# same_film A B: the same frame files, byte for byte.
same_film() {
    [ "$(ls "$1")" = "$(ls "$2")" ] || fail "$2 holds $(ls "$2" | tr '\n' ' '), not $(ls "$1" | tr '\n' ' ')"
    local f
    for f in "$1"/frame-*.png; do cmp -s "$f" "$2/$(basename "$f")" || fail "$2/$(basename "$f") differs from $f"; done
}

began=$(now_ms)
small=(--aim --zoom-in 40 --every 2 --width 64 1.4 0.6 0.6 0 60)
"$render" --frames "$tmp/single" "${small[@]}" || fail "the single run failed"
parallel "$render" --threads 1 --part {}/3 --frames "$tmp/parts" "${small[@]}" ::: 1 2 3 ||
    fail "parallel: status $?"
same_film "$tmp/single" "$tmp/parts"
echo "ok: three parts at once give the single run's $(ls "$tmp/single" | wc -l) frames"

# Full-size frames, so that part 2 has frames still to render when the
# signal comes: frames 1, 4, ..., 19 of 21 are its seven.
large=(--aim --zoom-in 60 --every 3 1.4 0.6 0.6 0 60)
"$render" --frames "$tmp/single-large" "${large[@]}" || fail "the single run failed"
film=$tmp/stopped
log=$tmp/parts.log
parallel --joblog "$log" "$render" --threads 1 --part {}/3 --frames "$film" "${large[@]}" ::: 1 2 3 &
started+=($!)
jobs_pid=$!
deadline=$(( $(now_ms) + 120000 ))
until [ -e "$film/frame-00001.png" ]; do
    (( $(now_ms) < deadline )) || fail "part 2 wrote no frame in two minutes"
    sleep 0.02
done
part=$(pgrep -f -- "^$render --threads 1 --part 2/3 --frames $film ") || fail "part 2 is not running"
kill -TERM $part
wait "$jobs_pid"
status=$?
[ "$status" = 1 ] || fail "parallel: status $status after part 2 was stopped, not 1 (one job failed)"
ls "$film" | grep -q tmp && fail "the stopped part left a temporary file: $(ls "$film")"
written=$(cd "$film" && ls frame-*.png | awk -F'[-.]' '$2 % 3 == 1')
count=$(echo "$written" | wc -l)
[ "$count" -lt 7 ] || fail "part 2 had written all its frames before it could be stopped"
inodes_before=$(cd "$film" && ls -i $written)
parallel --joblog "$log" --resume-failed "$render" --stats --threads 1 --part {}/3 --frames "$film" "${large[@]}" \
    ::: 1 2 3 >"$tmp/resumed.out" 2>&1 || fail "parallel --resume-failed: status $?: $(cat "$tmp/resumed.out")"
grep -q "^frames $((7 - count)) rendered, $count kept, part 2 of 3\$" "$tmp/resumed.out" ||
    fail "part 2 run again did not keep its $count frames: $(cat "$tmp/resumed.out")"
grep -q "part [13] of 3" "$tmp/resumed.out" && fail "parallel ran parts that had not failed: $(cat "$tmp/resumed.out")"
[ "$(cd "$film" && ls -i $written)" = "$inodes_before" ] || fail "the frames part 2 had written were written again"
same_film "$tmp/single-large" "$film"
echo "ok: part 2 stopped after $count of its 7 frames and run again: the single run's frames, $count of them kept"
echo "all done in $(( $(now_ms) - began )) ms"
