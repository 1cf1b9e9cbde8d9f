#!/usr/bin/env bash
# args_of_test.sh -- rootzoom started with the numbers of rootzoom-render --args-of shows the very picture they came from
set -u
rootzoom=$1 render=$2
. "$(dirname "$0")/xlib.sh"
need_imagemagick
start_xvfb

# A picture made from five numbers, and one five zoom steps further in,
# whose view the explorer's own zoom made and no five numbers were given for.
"$render" -o "$tmpdir/a.png" 1.4 0.6 0.6 0 60 || fail "rootzoom-render failed"
"$render" --zoom-in 5 --every 5 --frames "$tmpdir/z" -0.5 -1.5 0.375 -0.375 60 || fail "rootzoom-render --zoom-in failed"

for picture in "$tmpdir/a.png" "$tmpdir/z/frame-00001.png"; do
    name=$(basename "$picture")
    args=$("$render" --args-of "$picture" 2>"$tmpdir/notes") || fail "rootzoom-render --args-of $name failed"
    [ -s "$tmpdir/notes" ] && fail "rootzoom-render --args-of $name: $(cat "$tmpdir/notes")"
    # Unquoted: the five numbers, one word each.
    start_app $args
    wait_picture 30 "$picture" || fail "rootzoom $args does not show $name"
    echo "rootzoom \$(rootzoom-render --args-of $name), that is rootzoom $args: the window equals $name"
    stop "$app"
done
