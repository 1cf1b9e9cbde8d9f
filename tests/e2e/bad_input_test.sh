#!/usr/bin/env bash
# bad_input_test.sh -- every row of the README's table of bad inputs, run against the built programs
set -u
rootzoom=$1
render=$2
# Run from the PATH, as a user runs it: the usage line names the program.
PATH="$(cd "$(dirname "$rootzoom")" && pwd):$PATH"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0

# expect STATUS PATTERN CMD...: CMD exits with STATUS and its output matches PATTERN.
expect() {
    local status=$1 pattern=$2; shift 2
    local out rc
    out=$(timeout 60 "$@" 2>&1 </dev/null); rc=$?
    if [ "$rc" != "$status" ] || ! grep -qE -- "$pattern" <<<"$out"; then
        echo "FAIL: $* -> status $rc (want $status), output: $out"
        failures=$((failures + 1))
    fi
}

# refused PATTERN CMD...: rootzoom-render refuses its command line: status 2
# and two lines, the reason (matching PATTERN) and the pointer to --help.
hint="Try 'rootzoom-render --help' for the options."
refused() {
    local pattern=$1; shift
    local out rc
    out=$(timeout 60 "$@" 2>&1 </dev/null); rc=$?
    if [ "$rc" != 2 ] || [ "$(wc -l <<<"$out")" != 2 ] || ! head -n1 <<<"$out" | grep -qE -- "^rootzoom-render: .*$pattern" ||
        [ "$(tail -n1 <<<"$out")" != "$hint" ]; then
        echo "FAIL: $* -> status $rc (want 2), output: $out"
        failures=$((failures + 1))
    fi
}

# The explorer's command line, refused before any window is opened.
usage='^Usage: rootzoom \[xmax xmin ymax ymin maxiter\]$'
for args in "1" "1 2" "1 2 3" "1 2 3 4" "1 2 3 4 5 6" "--help"; do
    expect 0 "$usage" env -u DISPLAY rootzoom $args
done
for bad in abc 1,5 2x "" " " 0x; do
    expect 2 "rootzoom: not a number: '$bad'" env -u DISPLAY rootzoom 1 2 "$bad" 4 5
done
# Numbers that read but make no ordinary view go on to the window, which
# here is missing: the program gets past the argument check to GLUT.
for args in "nan 1 1 -1 50" "inf -inf 1 -1 50" "1 -1 1 -1 1e12" "1 -1 1 -1 -5" "-1 1 -1 1 50" "1 1 1 1 50"; do
    expect 1 "failed to open display" env -u DISPLAY rootzoom $args
done

# The same views render without trouble.
for args in "nan 1 1 -1 50" "inf -inf 1 -1 50" "0.001 -0.001 1.001 0.999 2147483647" "3 -3 2.25 -2.25 -5" \
            "-3 3 -2.25 2.25 50" "1 1 1 1 50" "1e308 -1e308 1e308 -1e308 50"; do
    expect 0 '^$' "$render" -o "$tmp/view.png" $args
done

# rootzoom-render's own refusals: the reason, a pointer to --help and
# status 2, or status 1 for an output that cannot be written, never a
# partial file. The usage itself comes with --help alone.
expect 0 '^Usage: rootzoom-render' "$render" --help
for args in "--bogus" "--mode 7" "--width -1" "--c 1" "1 2 3" "1 2 x 4 5" "1,5 2 3 4 5" "--threads 0" "--threads 2.5" \
            "--precision quad" "--precision=" "--half-width 0" "--half-width -1e-20" "--half-width nan" "--half-width 1e400" \
            "--mode 7 --mode 1" "--size 15x768" "--size 0x0" "--size 2048" "--size HD" "--colouring fancy" \
            "--size 800x600 --width 800" "--colouring basin --coarse"; do
    refused '' "$render" -o "$tmp/never.png" $args
done
# An iteration limit is taken when it is finite and its whole part fits an
# int; a repeated option takes its last value.
for limit in inf -inf nan 1e12 2147483648 -2147483649; do
    refused "the iteration limit maxiter must be a finite number whose whole part fits an int" \
        "$render" -o "$tmp/never.png" 3 -3 2.25 -2.25 "$limit"
done
expect 0 '^$' "$render" -o "$tmp/never.png" -o "$tmp/view.png" --width 1000 --width 8 --mode 2 --mode 0 -- 3 -3 2.25 -2.25 -2147483648.5
# A palette that cannot be used: what is wrong with it and its line, on one
# line (as for a file given to take a view from), status 2, nothing written.
printf '1 2 3\n12 34\n' >"$tmp/bad.map"
expect 2 "^rootzoom-render: the palette $tmp/bad.map, line 2, is not three whole numbers from 0 to 255 .*: '12 34'" \
    "$render" --palette "$tmp/bad.map" -o "$tmp/never.png"
expect 2 "^rootzoom-render: there is no palette 'nosuch': the palettes are explorer" "$render" --palette nosuch -o "$tmp/never.png"
expect 2 "^rootzoom-render: cannot read the palette $tmp/missing.map" "$render" --palette "$tmp/missing.map" -o "$tmp/never.png"
[ -e "$tmp/never.png" ] && { echo "FAIL: $tmp/never.png written"; failures=$((failures + 1)); }
# The picture is PNG, so its name must end in .png, in any case; any other
# name is refused before anything is written.
for name in out.jpg out picture.png.gz; do
    refused "output file '$tmp/$name' must end in \\.png" "$render" -o "$tmp/$name"
done
expect 0 '^$' "$render" -o "$tmp/UPPER.PNG"
[ -f "$tmp/UPPER.PNG" ] || { echo "FAIL: no $tmp/UPPER.PNG written"; failures=$((failures + 1)); }
expect 1 'cannot write .*No such file or directory' "$render" -o "$tmp/missing/x.png"
mkdir "$tmp/folder.png"
expect 1 "^rootzoom-render: cannot write $tmp/folder.png: Is a directory" "$render" -o "$tmp/folder.png"
ln -s loop.png "$tmp/loop.png"
expect 1 'cannot write .*Too many levels of symbolic links' "$render" -o "$tmp/loop.png"
rm "$tmp/loop.png"
expect 1 '^rootzoom-render: cannot write standard output: No space left on device' sh -c "\"\$0\" --help >/dev/full" "$render"
# A stream is written into: "-" is standard output, a FIFO (or a link to
# one, or to a character device) keeps its node and its reader gets the
# picture; a full device is said in the tool's one line.
"$render" --width 8 -o "$tmp/view.png"
expect 0 '^$' sh -c "\"\$0\" --width 8 -o - >\"\$1/stdout.png\"" "$render" "$tmp"
cmp -s "$tmp/view.png" "$tmp/stdout.png" || { echo "FAIL: -o - wrote another picture"; failures=$((failures + 1)); }
mkfifo "$tmp/fifo.png"
timeout 60 cat "$tmp/fifo.png" >"$tmp/read.png" &
reader=$!
expect 0 '^$' "$render" --width 8 -o "$tmp/fifo.png"
wait "$reader"
cmp -s "$tmp/view.png" "$tmp/read.png" && [ -p "$tmp/fifo.png" ] ||
    { echo "FAIL: the FIFO's reader got $(wc -c <"$tmp/read.png") bytes, the FIFO is now $(stat -c %F "$tmp/fifo.png")"; failures=$((failures + 1)); }
ln -s /dev/full "$tmp/full.png"
expect 1 "^rootzoom-render: cannot write $tmp/full.png: No space left on device\$" "$render" --width 8 -o "$tmp/full.png"
[ -c /dev/full ] || { echo "FAIL: /dev/full is no longer a device"; failures=$((failures + 1)); }
rm "$tmp/fifo.png" "$tmp/read.png" "$tmp/stdout.png" "$tmp/full.png"

# Pictures to take a view from: a file that is missing, no PNG, a PNG that
# holds no view (the README's picture, stripped of its text), and one whose
# view lost a byte. Each is refused by --from and --args-of alike, status 2.
"$render" -o "$tmp/wave.png" 1.4 0.6 0.6 0 60
printf 'not a picture\n' >"$tmp/text.png"
at=$(grep -abo 'parameter-plane' "$tmp/wave.png" | head -n1 | cut -d: -f1)
cp "$tmp/wave.png" "$tmp/damaged.png"
printf 'X' | dd of="$tmp/damaged.png" bs=1 seek="$at" conv=notrunc status=none
for how in --from --args-of; do
    expect 2 "^rootzoom-render: cannot read $tmp/missing.png: No such file or directory" "$render" $how "$tmp/missing.png"
    expect 2 "^rootzoom-render: $tmp/text.png is not a PNG file" "$render" $how "$tmp/text.png"
    expect 2 "^rootzoom-render: .*parameter-plane.png holds no view" "$render" $how \
        "$(dirname "$0")/../../docs/parameter-plane.png"
    expect 2 "^rootzoom-render: $tmp/damaged.png is a damaged PNG file" "$render" $how "$tmp/damaged.png"
done
expect 0 '^1.4 0.6 0.6 0 60$' "$render" --args-of "$tmp/wave.png"
# Options that do not go together, or a bad count of steps: refused, status 2.
for args in "--args-of $tmp/wave.png -o $tmp/never.png" "--zoom-in 5" "--frames $tmp/z" "--every 2" \
            "--zoom-in 5 --every 2 --frames $tmp/z" "--zoom-in 0 --frames $tmp/z" "--zoom-in 100000 --frames $tmp/z" \
            "--zoom-out 3 --zoom-in 5 --every 2 --frames $tmp/z" "--zoom-in 3 --frames $tmp/z -o $tmp/never.png"; do
    refused '' "$render" $args
done
# --limit is the fifth number given apart, taken as it is; --limit-end, the
# last frame's limit, is a whole number from 1 to 2147483647 and needs a
# zoom.
for value in inf -inf nan 1e12 2147483648 -2147483649 x; do
    refused "--limit must be a finite number whose whole part fits an int" \
        "$render" -o "$tmp/never.png" --limit "$value"
done
for value in 0 -5 2.5 nan inf 1e10 2147483648 x; do
    refused "--limit-end needs a whole number from 1 to 2147483647" \
        "$render" --zoom-in 3 --frames "$tmp/z" --limit-end "$value"
done
refused "--limit-end needs --zoom-in K or --zoom-out K" "$render" --limit-end 100
# A view five numbers cannot carry: the command that makes it again, no
# numbers, status 1.
"$render" -o "$tmp/deep.png" --width 8 --half-width 1e-20 \
    --c 1.00232511376894264184880683542231667,0.312641896563815993395878893379726922 3 -3 2.25 -2.25 3000
expect 1 "^rootzoom-render: five numbers cannot carry the view of $tmp/deep.png: .*rootzoom-render --from $tmp/deep.png makes it again" \
    "$render" --args-of "$tmp/deep.png"
[ -z "$("$render" --args-of "$tmp/deep.png" 2>/dev/null)" ] || { echo "FAIL: numbers printed for $tmp/deep.png"; failures=$((failures + 1)); }
# A window to take a view from: without a display it cannot be read, and
# options that do not go with it are refused before any display is opened.
for how in "--from-window" "--args-of-window" "--from-window 0x1a00007" "--args-of-window 27262983"; do
    expect 2 "^rootzoom-render: cannot open the X display ''" env -u DISPLAY "$render" $how
done
for args in "--from $tmp/wave.png --from-window" "--args-of-window -o $tmp/never.png" "--args-of-window 0x1a00007 5" \
            "--from-window 12 1 2 3 4"; do
    refused '' env -u DISPLAY "$render" $args
done
expect 2 "in '--from-window 3' the number was read as a window id" "$render" --from-window 3 -3 2.25 -2.25 50
# A sequence's folder that cannot be made: status 1, nothing written.
expect 1 "^rootzoom-render: cannot make the folder $tmp/missing/z: No such file or directory" \
    "$render" --zoom-in 1 --frames "$tmp/missing/z"
expect 1 "^rootzoom-render: cannot make the folder $tmp/wave.png: Not a directory" \
    "$render" --zoom-in 1 --frames "$tmp/wave.png"
[ -e "$tmp/z" ] && { echo "FAIL: $tmp/z made"; failures=$((failures + 1)); }
# A part that is no I/N with 1 <= I <= N, and the options of a sequence
# without one: usage, status 2.
for args in "--part 0/3" "--part 4/3" "--part 2" "--part 1/0" "--part 1/100000" "--part 1/2/3"; do
    expect 2 "^rootzoom-render: --part needs I/N" "$render" --zoom-in 3 --frames "$tmp/z" $args
done
for option in "--part 1/2" --aim --overwrite; do
    expect 2 "^rootzoom-render: ${option% *} needs --zoom-in K or --zoom-out K" "$render" $option
done
expect 2 "^rootzoom-render: --aim needs mode 0 or 2" "$render" --aim --mode 1 --zoom-in 3 --frames "$tmp/z"
[ -e "$tmp/z" ] && { echo "FAIL: $tmp/z made"; failures=$((failures + 1)); }
# A folder holding another sequence's frames: refused, status 2, nothing
# written or removed; with --overwrite they are replaced, and those past
# the end go. Other files stay. Warnings leave the status 0.
film="$tmp/film"
"$render" --zoom-in 2 --width 8 --frames "$film"
touch "$film/notes.txt"
before=$(cd "$film" && ls -l --time-style=+%s.%N)
expect 2 "^rootzoom-render: the folder $film holds 3 frames of another sequence; nothing was rendered:" \
    "$render" --zoom-in 2 --width 8 --frames "$film" 1 -1 0.75 -0.75 50
expect 2 "frame-00002.png lies past this sequence's last frame" "$render" --zoom-in 1 --width 8 --frames "$film"
[ "$(cd "$film" && ls -l --time-style=+%s.%N)" = "$before" ] || { echo "FAIL: $film changed"; failures=$((failures + 1)); }
expect 0 '^$' "$render" --overwrite --zoom-in 1 --width 8 --frames "$film"
[ "$(ls "$film" | tr '\n' ' ')" = "frame-00000.png frame-00001.png notes.txt " ] ||
    { echo "FAIL: --overwrite left $(ls "$film")"; failures=$((failures + 1)); }
expect 0 'warning: from frame 2 \(step 300\) on, the frames are deeper than double precision' \
    "$render" --precision double --zoom-in 300 --every 150 --width 8 --frames "$tmp/deep"
# The folder's entries are the tool's own and never followed: a link in a
# frame's place is refused as one, and --overwrite replaces the link, not
# the file it points to; a FIFO or a folder there is refused whatever the
# options, before anything is rendered, and nothing waits on the FIFO. A
# whole PNG without a view is another program's; a frame cut short before
# its view, or empty, is rendered again.
printf 'mine\n' >"$tmp/victim.txt"
ln -sf "$tmp/victim.txt" "$film/frame-00001.png"
expect 2 "^  $film/frame-00001.png is a symbolic link" "$render" --zoom-in 1 --width 8 --frames "$film"
expect 0 '^$' "$render" --overwrite --zoom-in 1 --width 8 --frames "$film"
[ "$(cat "$tmp/victim.txt")" = mine ] && [ ! -L "$film/frame-00001.png" ] ||
    { echo "FAIL: --overwrite wrote through a link in the folder"; failures=$((failures + 1)); }
rm "$film/frame-00001.png"
mkfifo "$film/frame-00002.png"
for how in "" --overwrite; do
    expect 2 "^  $film/frame-00002.png is a FIFO, not a picture" "$render" $how --zoom-in 2 --width 8 --frames "$film"
done
rm "$film/frame-00002.png"
mkdir "$film/frame-00002.png"
expect 2 "^  $film/frame-00002.png is a folder, not a picture" "$render" --overwrite --zoom-in 2 --width 8 --frames "$film"
[ -e "$film/frame-00001.png" ] && { echo "FAIL: a frame rendered before the refusal"; failures=$((failures + 1)); }
rmdir "$film/frame-00002.png"
cp "$(dirname "$0")/../../docs/parameter-plane.png" "$film/frame-00001.png"
expect 2 "^  $film/frame-00001.png holds no view" "$render" --zoom-in 1 --width 8 --frames "$film"
head -c 100 "$film/frame-00000.png" >"$film/frame-00001.png"
: >"$film/frame-00002.png"
expect 0 '^frames 2 rendered, 1 kept$' "$render" --stats --zoom-in 2 --width 8 --frames "$film"

leftovers=$(find "$tmp" -name '*.tmp*' -o -name never.png -o -name 'out*' -o -name 'picture*' | wc -l)
[ "$leftovers" = 0 ] || { echo "FAIL: partial files left: $(ls -A "$tmp")"; failures=$((failures + 1)); }

[ "$failures" = 0 ] && echo "all bad inputs handled"
exit $((failures > 0))
