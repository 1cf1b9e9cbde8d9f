#!/usr/bin/env bash
# from_window_test.sh -- rootzoom-render --from-window makes the picture a zoomed and dragged explorer shows, in both planes
set -u
rootzoom=$1 render=$2
. "$(dirname "$0")/xlib.sh"
need_imagemagick
start_xvfb

# run_render ARGS...: rootzoom-render's status in $status, its standard error in $tmpdir/err.
run_render() {
    "$render" "$@" >"$tmpdir/out" 2>"$tmpdir/err"
    status=$?
}

run_render --from-window -o "$tmpdir/never.png"
[ "$status" = 2 ] && grep -q "no window is titled 'rootzoom'" "$tmpdir/err" ||
    fail "--from-window with no explorer running: status $status, $(cat "$tmpdir/err")"

# view_line NAME [RECORD]: the words after NAME on that line of the
# window's record, or of RECORD, as xprop prints it.
view_line() {
    local record=${2:-$(xprop -id "$win" ROOTZOOM_VIEW)}
    sed 's/^[^"]*"//; s/"$//; s/\\n/\n/g' <<<"$record" | awk -v name="$1" '$1 == name { $1 = ""; print substr($0, 2) }'
}
# steps [RECORD]: zoom steps taken, the half-width being -0.39999999999999997 times 0.9 per step.
steps() { view_line parameter-plane "${1:-}" | awk '{ printf "%d", log($3 / -0.39999999999999997) / log(0.9) + 0.5 }'; }
numbers_named() { [ "$(view_line numbers)" = "1.4 0.6 0.6 0 60" ]; }

start_app 1.4 0.6 0.6 0 60
wait_for 30 numbers_named ||
    fail "the record does not name the five numbers: $(xprop -id "$win" ROOTZOOM_VIEW)"

# Twelve zoom steps, counted off the record (one per frame), so the depth
# does not depend on how fast frames come; the deadline only ends a hang.
xdotool mousedown 1
coarse=0 deadline=$(( $(now_ms) + 60000 ))
while record=$(xprop -id "$win" ROOTZOOM_VIEW) && (( $(steps "$record") < 12 )); do
    [ "$(view_line coarse "$record")" = yes ] && coarse=1
    (( $(now_ms) < deadline )) || fail "60 s of the left button held took $(steps) zoom steps"
done
xdotool mouseup 1
(( coarse )) || fail "no record said coarse while the left button was held"

# A drag with the middle button, held until the record shows the view panned.
before=$(view_line parameter-plane | cut -d' ' -f1,2)
xdotool mousedown 2
for k in 1 2 3 4; do xdotool mousemove_relative -- 10 -5; done
panned() { [ "$(view_line parameter-plane | cut -d' ' -f1,2)" != "$before" ]; }
wait_for 30 panned || fail "the drag did not move the view's centre ($before)"
xdotool mouseup 2
wait_quiet "$app" 30 || fail "rootzoom is still busy 30 s after the drag"
[ "$(view_line coarse)" = no ] && [ "$(view_line numbers)" = none ] ||
    fail "after the release: $(xprop -id "$win" ROOTZOOM_VIEW)"
echo "zoom of $(steps) steps and a drag: the record follows, refined once released"

# The last block column (1020-1023) depends on the frame before.
left=1020x768+0+0
# expect_made_again WHAT ARGS...: rootzoom-render ARGS makes the window's picture.
expect_made_again() {
    local what=$1; shift
    run_render "$@" -o "$tmpdir/again.png"
    [ "$status" = 0 ] || fail "$what: rootzoom-render $* failed: $(cat "$tmpdir/err")"
    snap "$tmpdir/shown.xwd"
    local n
    n=$(differing "$tmpdir/again.png" "$tmpdir/shown.xwd" $left)
    [ "$n" = 0 ] || fail "$what: rootzoom-render $* differs from the window in $n pixels left of column 1020"
    echo "$what: rootzoom-render $* makes the picture on the window"
}
expect_made_again "parameter plane" --from-window

xdotool key space
wait_quiet "$app" 30 || fail "the dynamic plane did not settle"
[ "$(view_line mode)" = 1 ] || fail "after space the record gives mode $(view_line mode)"
expect_made_again "dynamic plane" --from-window "$win"
run_render --args-of-window "$(printf '0x%x' "$win")"
[ "$status" = 0 ] && [ "$(wc -w <"$tmpdir/out")" = 5 ] && grep -q 'mode 1' "$tmpdir/err" ||
    fail "--args-of-window: status $status, '$(cat "$tmpdir/out")', $(cat "$tmpdir/err")"

# A damaged record is refused, and what the message quotes of it is escaped.
xprop -id "$win" -f ROOTZOOM_VIEW 8u -set ROOTZOOM_VIEW "$(printf 'version 2\033]0;owned\007')"
run_render --from-window -o "$tmpdir/never.png"
[ "$status" = 2 ] && grep -q 'its view is damaged' "$tmpdir/err" ||
    fail "a damaged record: status $status, $(cat "$tmpdir/err")"
LC_ALL=C grep -q '[[:cntrl:]]' <(tr -d '\n' <"$tmpdir/err") && fail "control bytes quoted raw: $(od -c "$tmpdir/err")"
echo "a damaged record: refused, its bytes escaped: $(cat "$tmpdir/err")"

# A deep view, whose pixels are a twentieth of its centre's last bit: the
# explorer computes it by perturbation by itself, a drag pans it by less
# than that bit, and the record's low parts let rootzoom-render make the
# same picture.
stop "$app"
start_app 1.0023251137689363 1.0023251137689263 0.31264189656382699 0.31264189656381949 300
wait_quiet "$app" 60 || fail "the deep view did not settle"
xdotool mousedown 2
for k in 1 2 3; do xdotool mousemove_relative -- 3 1; done
low_parts() { [ -n "$(view_line low-parts)" ]; }
wait_for 30 low_parts || fail "the deep drag left no low parts in the record: $(xprop -id "$win" ROOTZOOM_VIEW)"
xdotool mouseup 2
wait_quiet "$app" 60 || fail "rootzoom is still busy 60 s after the deep drag"
expect_made_again "deep view, dragged" --from-window
run_render --args-of-window
again=$(sed -n 's/.*cannot carry the view.*rootzoom-render \(--from-window 0x[0-9a-f]*\) makes it again.*/\1/p' "$tmpdir/err")
[ "$again" = "--from-window $(printf '0x%x' "$win")" ] || fail "--args-of-window on the deep view says: $(cat "$tmpdir/err")"

# Two explorers: which one is meant must be said.
spawn "$rootzoom"
two_windows() { [ "$(xdotool search --name '^rootzoom$' | wc -l)" = 2 ]; }
wait_for 30 two_windows || fail "no second window appeared"
run_render --from-window -o "$tmpdir/never.png"
[ "$status" = 2 ] && grep -q '2 windows are titled' "$tmpdir/err" && grep -q "$(printf '0x%x' "$win")" "$tmpdir/err" ||
    fail "two windows: status $status, $(cat "$tmpdir/err")"
[ -e "$tmpdir/never.png" ] && fail "a refused --from-window wrote a picture"
echo "two windows titled rootzoom: refused, listing both"
# A huge record is listed cut short, with what was left out of it counted
# in full, though only its start was read.
xprop -id "$win" -f ROOTZOOM_VIEW 8u -set ROOTZOOM_VIEW "$(head -c 100000 /dev/zero | tr '\0' x)"
run_render --from-window -o "$tmpdir/never.png"
grep -q "^  window $(printf '0x%x' "$win"): x\{400\}\.\.\. (99600 more bytes)\$" "$tmpdir/err" ||
    fail "a record of 100000 bytes is listed as: $(cut -c 1-80,400- "$tmpdir/err")"
echo "a huge record in the list: cut, the rest counted"
