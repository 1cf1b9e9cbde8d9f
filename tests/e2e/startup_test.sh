#!/usr/bin/env bash
# startup_test.sh -- the first picture is rootzoom-render's, for the default view and for five numbers; then the program sleeps
set -u
rootzoom=$1 render=$2
. "$(dirname "$0")/xlib.sh"
need_imagemagick
start_xvfb

"$render" -o "$tmpdir/default.png" || fail "rootzoom-render failed"
start_app
wait_picture 30 "$tmpdir/default.png" || fail "the first picture is not rootzoom-render's default view"
echo "default view: the window equals rootzoom-render's picture, logo included"

# With the first picture up there is nothing to do: the program must sleep.
wait_quiet "$app" 5
t0=$(now_ms) c0=$(cpu_ticks "$app")
sleep 3
t1=$(now_ms) c1=$(cpu_ticks "$app")
cpu=$(awk -v c=$(( c1 - c0 )) -v hz="$(getconf CLK_TCK)" -v ms=$(( t1 - t0 )) \
    'BEGIN { printf "%.1f", 100 * c / hz / (ms / 1000) }')
echo "idle: $cpu % of one core over $(( t1 - t0 )) ms"
awk -v p="$cpu" 'BEGIN { exit !(p < 5) }' || fail "the idle program uses $cpu % of one core"
stop "$app"

view=(-0.5 -1.5 0.375 -0.375 60)
"$render" -o "$tmpdir/view.png" "${view[@]}" || fail "rootzoom-render ${view[*]} failed"
start_app "${view[@]}"
wait_picture 30 "$tmpdir/view.png" || fail "rootzoom ${view[*]} does not show rootzoom-render's picture"
echo "rootzoom ${view[*]}: the window equals rootzoom-render's picture"
