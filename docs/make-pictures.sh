#!/usr/bin/env bash
# make-pictures.sh -- renders the README's pictures and the desktop icon with rootzoom-render
#
#   docs/make-pictures.sh build/rootzoom-render [FOLDER]
#
# Writes, next to this script or into FOLDER:
#   parameter-plane.png   the parameter plane as the explorer shows it after start-up
#   dynamic-plane.png     a zoom into the dynamic plane of c = -1.38 + 1.35i
#   rootzoom-128.png, rootzoom-256.png   the icon, cut from that dynamic-plane view
#   supersampled.png      a detail of the wave, plain and with --supersample 4, side by side
#   deep-dive.png         the last frame of the wave's aimed dive 550 steps in, by perturbation
#   films.png             two aimed films, a frame every 100 steps: the wave's in the parameter
#                         plane, and one in the dynamic plane of c = -1.38 + 1.35i
#   colourings.png        a detail of the wave coloured by count, smooth and by basin, side by side
#   wide.png              the wave as a 16:9 frame of 1920 x 1080, by basin in the sunset palette
# The README pictures are scaled down to 640 x 480 to keep them small, but
# for the films' frames, 160 x 120 each, and the deep dive, kept whole in a
# palette of its 248 colours. Needs
# ImageMagick's convert (Debian package imagemagick) for scaling and cutting;
# the results are committed, so building rootzoom does not need it.
set -euo pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ] || [ ! -x "$1" ]; then
    echo "usage: $0 PATH-OF-BUILT-rootzoom-render [FOLDER]" >&2
    exit 2
fi
render=$1
docs=$(cd "${2:-$(dirname "$0")}" && pwd)
# Called by full path: another convert earlier on PATH must not be picked up.
convert=/usr/bin/convert
[ -x "$convert" ] || { echo "$0: $convert missing (apt-get install imagemagick)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The dynamic plane of c = -1.38 + 1.35i, half-width 0.25 about -0.03: the
# black patch is a set of start values caught by an attracting cycle instead
# of a root. The limit of 40 steps gives blue boundaries on brown basins.
dynamic_view=(--mode 1 --c '-1.38,1.35' 0.22 -0.28 0.1875 -0.1875 40)

"$render" -o "$work/parameter.png"
"$render" "${dynamic_view[@]}" -o "$work/dynamic.png"
"$render" --no-logo "${dynamic_view[@]}" -o "$work/icon.png"
"$render" -o "$work/wave.png" 1.4 0.6 0.6 0 60
"$render" --supersample 4 -o "$work/wave4.png" 1.4 0.6 0.6 0 60
# The swell under the wave's crest, where the count's bands are wide.
for c in count smooth basin; do
    "$render" --no-logo --colouring "$c" --size 320x240 -o "$work/swell-$c.png" 1.25 1.05 0.40 0.25 60
done
"$render" --size hd --colouring basin --palette sunset -o "$work/wide.png" 1.4 0.6 0.6 0 60

# -strip drops the time stamps ImageMagick adds, so unchanged pictures stay
# unchanged files.
small() { "$convert" "$1" -resize "$2" -strip "$3"; }
small "$work/parameter.png" 640x480 "$docs/parameter-plane.png"
small "$work/dynamic.png" 640x480 "$docs/dynamic-plane.png"
# The icon: the middle 640 x 640 square of the view, around the black patch.
"$convert" "$work/icon.png" -gravity center -crop 640x640+0+0 +repage "$work/square.png"
small "$work/square.png" 256x256 "$docs/rootzoom-256.png"
small "$work/square.png" 128x128 "$docs/rootzoom-128.png"

# The dive's last frame alone (part 2 of its two), 550 steps in, some 280
# steps past where doubles run out. It shows 248 of the palette's colours,
# so PNG8 keeps every pixel, in half the bytes.
"$render" --aim --zoom-in 550 --every 550 --part 2/2 --frames "$work/dive" 1.4 0.6 0.6 0 60
"$convert" "$work/dive/frame-00001.png" -strip PNG8:"$docs/deep-dive.png"

# Two aimed films, a frame every 100 steps down to step 500, each frame's
# 320 x 240 viewport scaled to 160 x 120, one film a row: the wave in the
# parameter plane, whose deep views stretch into stripes, and the dynamic
# plane of c = -1.38 + 1.35i, which stays self-similar. In mode 2 the zoom
# leaves the limit where it is, so --limit-end takes it from 40 to 1000.
"$render" --aim --zoom-in 500 --every 100 --width 320 --frames "$work/parameter-film" 1.4 0.6 0.6 0 60
"$render" --aim --zoom-in 500 --every 100 --width 320 --limit-end 1000 --frames "$work/dynamic-film" \
    --mode 2 --c '-1.38,1.35' 0.22 -0.28 0.1875 -0.1875 40
for film in parameter dynamic; do
    for f in "$work/$film-film"/frame-*.png; do "$convert" "$f" -crop 320x240+352+264 +repage -resize 160x120 "$f"; done
    "$convert" "$work/$film-film"/frame-*.png +append "$work/$film-row.png"
done
"$convert" "$work/parameter-row.png" "$work/dynamic-row.png" -append -strip "$docs/films.png"

# The same 320 x 240 pixels of the crest, at full size, so the staircases show.
for w in wave wave4; do "$convert" "$work/$w.png" -crop 320x240+600+120 +repage "$work/$w-crop.png"; done
"$convert" "$work/wave-crop.png" "$work/wave4-crop.png" +append -strip "$docs/supersampled.png"

"$convert" "$work/swell-count.png" "$work/swell-smooth.png" "$work/swell-basin.png" +append -strip "$docs/colourings.png"
small "$work/wide.png" 640x360 "$docs/wide.png"

for f in parameter-plane dynamic-plane rootzoom-256 rootzoom-128 supersampled deep-dive colourings wide films; do
    chmod 644 "$docs/$f.png"
    echo "wrote $docs/$f.png ($(stat -c %s "$docs/$f.png") bytes)"
done
