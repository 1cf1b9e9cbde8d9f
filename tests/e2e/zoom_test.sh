#!/usr/bin/env bash
# zoom_test.sh -- holding the left button zooms in coarse frames; after the release rootzoom shows a stable picture of the new view
set -u
rootzoom=$1 render=$2
. "$(dirname "$0")/xlib.sh"
need_imagemagick
start_xvfb

"$render" -o "$tmpdir/default.png" || fail "rootzoom-render failed"
start_app
wait_picture 30 "$tmpdir/default.png" || fail "the first picture is not rootzoom-render's default view"
snap "$tmpdir/first.xwd"

xdotool mousedown 1
cp "$tmpdir/first.xwd" "$tmpdir/held.xwd"
captures=0 changes=0 t0=$(now_ms)
while (( $(now_ms) - t0 < 1000 )); do
    snap "$tmpdir/now.xwd"
    captures=$(( captures + 1 ))
    cmp -s "$tmpdir/now.xwd" "$tmpdir/held.xwd" || { changes=$(( changes + 1 )); mv "$tmpdir/now.xwd" "$tmpdir/held.xwd"; }
done
(( changes >= 2 )) || fail "the picture changed $changes times in a second of holding the left button"
blocks=$(unblocky "$tmpdir/held.xwd")
[ "$blocks" = 0 ] || fail "a frame shown while the button was held is not coarse ($blocks pixels off their 4x4 block)"
echo "zoom: $changes new pictures in $captures xwd captures over a second held"

# The frame rate, counted without xwd in the way: with the debug listing on,
# a coarse frame of the parameter plane prints one line per 4x4 block.
xdotool key d
t0=$(now_ms)
sleep 1.5
xdotool key d
listed_ms=$(( $(now_ms) - t0 ))
xdotool mouseup 1

wait_quiet "$app" 30 || fail "rootzoom is still busy 30 s after the release"
exited "$app" && fail "rootzoom ended after the release"
snap "$tmpdir/released.xwd"
wait_quiet "$app" 5
snap "$tmpdir/again.xwd"
cmp -s "$tmpdir/released.xwd" "$tmpdir/again.xwd" || fail "the picture after the release does not stay"
[ "$(differing "$tmpdir/first.xwd" "$tmpdir/released.xwd")" != 0 ] || fail "the picture after the release is the first one"
echo "release: rootzoom still runs and shows a stable picture of the zoomed view"

# Standard output goes to a file, so only the exit writes the last lines.
xdotool key Escape
reap "$app" 10 || fail "rootzoom did not end on Esc"
lines=$(wc -l <"$tmpdir/stdout") per_frame=$(( 1024 / 4 * 768 / 4 ))
(( lines > 0 && lines % per_frame == 0 )) || fail "$lines debug lines while zooming: not whole coarse frames of $per_frame samples"
frames=$(( lines / per_frame ))
echo "zoom frame rate: $frames coarse frames in $listed_ms ms (debug lines / $per_frame):" \
     "$(awk -v n=$frames -v ms=$listed_ms 'BEGIN { printf "%.1f", n / (ms / 1000) }') frames/s with the listing on"
