#!/usr/bin/env bash
# window_test.sh -- the explorer opens its 1024x768 window titled "rootzoom" at (0, 0)
set -u
rootzoom=$1
. "$(dirname "$0")/xlib.sh"
start_xvfb

spawn "$rootzoom"
app=$spawned
win=$(find_window rootzoom) || fail "no window titled rootzoom appeared"
geometry=$(xwininfo -id "$win")
echo "$geometry" | grep -q 'Width: 1024' || fail "window width: $geometry"
echo "$geometry" | grep -q 'Height: 768' || fail "window height: $geometry"
echo "$geometry" | grep -q 'Absolute upper-left X:  0' || fail "window x: $geometry"
echo "$geometry" | grep -q 'Absolute upper-left Y:  0' || fail "window y: $geometry"
kill -0 "$app" 2>/dev/null || fail "rootzoom ended on its own"
echo "window 1024x768 at (0, 0), titled rootzoom"
