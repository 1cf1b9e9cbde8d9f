#!/usr/bin/env bash
# debug_test.sh -- 'd' prints one line per parameter-plane sample of the next frame
set -u
rootzoom=$1 render=$2
. "$(dirname "$0")/xlib.sh"
need_imagemagick
start_xvfb

# The frame after 'd' renders the same view over an identical frame, as the
# tool's second render does.
"$render" --stats -o "$tmpdir/default.png" 2>"$tmpdir/stats" || fail "rootzoom-render failed"
want=$(sed -n 's/^second render: \([0-9]*\) samples.*/\1/p' "$tmpdir/stats")
[ -n "$want" ] || fail "no second-render count in rootzoom-render --stats: $(cat "$tmpdir/stats")"
start_app
wait_picture 30 "$tmpdir/default.png" || fail "the first picture is not rootzoom-render's default view"

xdotool key d
wait_for 30 test -s "$tmpdir/stdout" || fail "no debug line after 'd'"
wait_quiet "$app" 30 || fail "the frame after 'd' did not end"
# Standard output goes to a file; each frame's listing is there when the frame is.
lines=$(wc -l <"$tmpdir/stdout")
[ "$lines" = "$want" ] || fail "after the frame, its listing holds $lines lines of $want"
xdotool key Escape
reap "$app" 10 || fail "rootzoom did not end on Esc"
[ "$status" = 0 ] || fail "Esc ended rootzoom with status $status"
lines=$(wc -l <"$tmpdir/stdout")
[ "$lines" = "$want" ] || fail "'d' printed $lines lines; the frame has $want parameter-plane samples"
bad=$(grep -cvE '^[^ ]+ [^ ]+$' "$tmpdir/stdout")
[ "$bad" = 0 ] || fail "$bad debug lines are not two numbers: $(grep -vE '^[^ ]+ [^ ]+$' "$tmpdir/stdout" | head -n3)"
echo "'d': $lines lines, one per sample of the next frame"
