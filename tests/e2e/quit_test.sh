#!/usr/bin/env bash
# quit_test.sh -- Esc and the three-button press end rootzoom at once with status 0 and no output
set -u
rootzoom=$1
. "$(dirname "$0")/xlib.sh"
start_xvfb

start_app
xdotool key Escape
reap "$app" 10 || fail "rootzoom still runs 10 s after Esc"
[ "$status" = 0 ] || fail "Esc ended rootzoom with status $status"
[ -s "$tmpdir/stdout" ] && fail "Esc printed: $(head -c 200 "$tmpdir/stdout")"
echo "Esc: status 0"

start_app
xdotool mousedown 1 mousedown 2
sleep 0.5
exited "$app" && fail "rootzoom ended with two buttons held"
xdotool mousedown 3
reap "$app" 10 || fail "rootzoom still runs 10 s after the third button went down"
[ "$status" = 0 ] || fail "the three buttons ended rootzoom with status $status"
[ -s "$tmpdir/stdout" ] && fail "the three buttons printed: $(head -c 200 "$tmpdir/stdout")"
echo "three buttons: status 0"
