#!/usr/bin/env bash
# dives.sh -- how many aimed 300-step dives from seeded random views keep detail in their last frame
#
#   bench/dives.sh build/rootzoom-render [SEED [COUNT]]
#
# Draws COUNT starting views (default 10) from SEED (default 1) with
# bench/dives.cpp: both planes, half-widths 1e-5 to 1e-1, limits 100 to
# 1000, only views whose samples end in two ways or more. For each, and for
# the eye view 1.4032 1.3932 0.63535 0.62785 1000, it renders the last frame
# of `--aim --zoom-in 300 --every 300` alone (--part 2/2) and counts its
# colours above the logo: a dive keeps detail when that frame shows at
# least 16 colours and none on more than 90 % of those pixels. Prints a line
# a dive and the share; the status is 0 whatever the share.
set -euo pipefail

if [ $# -lt 1 ] || [ $# -gt 3 ] || [ ! -x "$1" ]; then
    echo "usage: $0 PATH-OF-BUILT-rootzoom-render [SEED [COUNT]]" >&2
    exit 2
fi
render=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
seed=${2:-1} count=${3:-10}
src=$(cd "$(dirname "$0")/.." && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
g++ -std=c++20 -O2 -ffp-contract=off -I"$src" "$src/bench/dives.cpp" -o "$work/dives" -lpng -lquadmath

kept=0 dives=0
# One dive: its arguments, then a line with what its last frame shows.
dive() {
    local name=$1
    shift
    local start=$SECONDS
    "$render" --aim --stats --zoom-in 300 --every 300 --part 2/2 --frames "$work/$name" "$@" 2>"$work/$name.err" >/dev/null
    read -r colours share < <("$work/dives" colours "$work/$name/frame-00001.png")
    local verdict=flat
    if [ "$colours" -ge 16 ] && awk -v s="$share" 'BEGIN { exit !(s <= 0.9) }'; then
        verdict=detail kept=$((kept + 1))
    fi
    dives=$((dives + 1))
    printf '%-6s %-6s %4d colours, commonest %5.1f %%, %3d s: %s\n' "$name" "$verdict" "$colours" \
        "$(awk -v s="$share" 'BEGIN { print 100 * s }')" $((SECONDS - start)) "$*"
    grep -h "aimed\|warning" "$work/$name.err" | sed 's/^/        /' || true
}

n=0
while read -r mode cx cy xmax xmin ymax ymin limit; do
    n=$((n + 1))
    if [ "$mode" = 0 ]; then
        dive "view$n" "$xmax" "$xmin" "$ymax" "$ymin" "$limit"
    else
        dive "view$n" --mode 2 --c "$cx,$cy" "$xmax" "$xmin" "$ymax" "$ymin" "$limit"
    fi
done < <("$work/dives" views "$seed" "$count")
random_kept=$kept
echo "seed $seed: $random_kept of $count random dives keep detail in their last frame"
kept=0
dive eye 1.4032 1.3932 0.63535 0.62785 1000
echo "the eye view's dive: $([ "$kept" = 1 ] && echo keeps detail || echo flat)"
