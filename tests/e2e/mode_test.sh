#!/usr/bin/env bash
# mode_test.sh -- space shows the dynamic plane, backspace brings the parameter plane back
set -u
rootzoom=$1 render=$2
. "$(dirname "$0")/xlib.sh"
need_imagemagick
start_xvfb

"$render" -o "$tmpdir/parameter.png" && "$render" --mode 1 -o "$tmpdir/dynamic.png" || fail "rootzoom-render failed"
start_app
wait_picture 30 "$tmpdir/parameter.png" || fail "the first picture is not the parameter plane"

# The refinement of the last block column (1020-1023) reads pixels past
# column 1023, which the frame before left: that column depends on history.
left=1020x768+0+0
xdotool key space
wait_picture 30 "$tmpdir/dynamic.png" $left || fail "space does not show the dynamic plane"
echo "space: the dynamic plane, equal to rootzoom-render --mode 1 left of column 1020"
xdotool key BackSpace
wait_picture 30 "$tmpdir/parameter.png" $left || fail "backspace does not bring the parameter plane back"
echo "backspace: the parameter plane again"
