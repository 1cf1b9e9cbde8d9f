#!/usr/bin/env bash
# pictures.sh -- the README's pictures and the icon in docs/ are what docs/make-pictures.sh makes from the built rootzoom-render
#
#   tests/package/pictures.sh SOURCE_DIR RENDER
#
# Compared pixel by pixel, not byte by byte, so another PNG encoder does not
# count as a change. When one differs: docs/make-pictures.sh RENDER, and
# commit the pictures.
set -u
src=$1 render=$2
compare=/usr/bin/compare   # ImageMagick's, by full path
[ -x "$compare" ] || { echo "SKIP: $compare missing (Debian package imagemagick)" >&2; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bash "$src/docs/make-pictures.sh" "$render" "$work" >/dev/null || { echo "FAIL: make-pictures.sh failed" >&2; exit 1; }

failures=0
for f in parameter-plane dynamic-plane rootzoom-128 rootzoom-256 supersampled deep-dive colourings wide films; do
    committed=$src/docs/$f.png
    if [ ! -f "$committed" ]; then
        echo "FAIL: docs/$f.png is missing" >&2; failures=$((failures + 1)); continue
    fi
    size=$(stat -c %s "$committed")
    [ "$size" -lt 409600 ] || { echo "FAIL: docs/$f.png is $size bytes, over 400 KB" >&2; failures=$((failures + 1)); }
    # AE: the number of pixels that differ (a size mismatch is an error).
    differing=$("$compare" -metric AE "$committed" "$work/$f.png" null: 2>&1)
    if [ "$differing" = 0 ]; then
        echo "ok: docs/$f.png is current ($size bytes)"
    else
        echo "FAIL: docs/$f.png differs from what the built rootzoom-render draws ($differing);" \
             "run docs/make-pictures.sh $render" >&2
        failures=$((failures + 1))
    fi
done
[ "$failures" = 0 ]
