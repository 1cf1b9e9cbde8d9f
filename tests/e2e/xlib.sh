# xlib.sh -- shared by the window tests: a private Xvfb server, bounded waits, pictures, clean-up
#
# Source it, then call start_xvfb. Every process started through `spawn` is
# stopped by its id when the test exits, however it exits. Pictures are
# compared with ImageMagick, called by full path: another `convert` may come
# first in PATH.

SKIP=77   # ctest's skip code: used only where Xvfb truly cannot run
pids=()
tmpdir=$(mktemp -d)
compare=/usr/bin/compare
convert=/usr/bin/convert

# The programs first, the server last, so no client sees its server go.
cleanup() {
    local k
    for (( k = ${#pids[@]} - 1; k >= 0; k-- )); do kill "${pids[k]}" 2>/dev/null; done
    for (( k = ${#pids[@]} - 1; k >= 0; k-- )); do wait "${pids[k]}" 2>/dev/null; done
    rm -rf "$tmpdir"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# spawn CMD...: starts CMD in the background; its id is in $spawned.
spawn() {
    "$@" &
    spawned=$!
    pids+=("$spawned")
}

# forget PID: a process that has been waited for is no longer the clean-up's to stop.
forget() {
    local p keep=()
    for p in "${pids[@]}"; do [ "$p" = "$1" ] || keep+=("$p"); done
    pids=("${keep[@]}")
}

now_ms() { date +%s%3N; }

# wait_for SECONDS CMD...: retries CMD every 0.1 s until it succeeds or the time is up.
wait_for() {
    local deadline=$(( $(now_ms) + $1 * 1000 )); shift
    until "$@" >/dev/null 2>&1; do
        (( $(now_ms) < deadline )) || return 1
        sleep 0.1
    done
}

# Starts Xvfb on a display number it picks itself and exports DISPLAY.
start_xvfb() {
    # In CI the window tests must run, so there a missing server is a failure.
    [ "${CI:-}" = true ] && SKIP=1
    command -v Xvfb >/dev/null || { echo "SKIP: Xvfb is not installed"; exit $SKIP; }
    local fdfile="$tmpdir/display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$fdfile" 2>"$tmpdir/xvfb.log" &
    pids+=("$!")
    wait_for 10 test -s "$fdfile" || { cat "$tmpdir/xvfb.log" >&2; echo "SKIP: Xvfb did not start"; exit $SKIP; }
    export DISPLAY=":$(head -n1 "$fdfile")"
    wait_for 10 xdpyinfo || fail "Xvfb on $DISPLAY does not answer"
}

# find_window TITLE: prints the id of the window with exactly this title.
find_window() {
    local id k
    for (( k = 0; k < 100; k++ )); do
        id=$(xdotool search --name "^$1\$" 2>/dev/null | head -n1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}

no_window() { ! xdotool search --name "^$1\$" >/dev/null 2>&1; }
viewable() { xwininfo -id "$1" | grep -q 'Map State: IsViewable'; }

# start_app ARGS...: starts $rootzoom with ARGS, its standard output in
# $tmpdir/stdout; sets $app and $win once the window is on the screen, with
# the pointer in its middle so that buttons and keys reach it.
start_app() {
    wait_for 10 no_window rootzoom || fail "the window of an earlier rootzoom is still there"
    spawn "$rootzoom" "$@" >"$tmpdir/stdout"
    app=$spawned
    win=$(find_window rootzoom) || fail "no window titled rootzoom appeared"
    wait_for 10 viewable "$win" || fail "the rootzoom window was not mapped"
    xdotool mousemove 512 384
}

# proc_state PID: R, S, Z ...; nothing once the process is gone.
proc_state() { awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null; }
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
exited() { local s; s=$(proc_state "$1"); [ -z "$s" ] || [ "$s" = Z ]; }

# reap PID SECONDS: waits for a process to end by itself; its exit status is in $status.
reap() {
    wait_for "$2" exited "$1" || return 1
    wait "$1"
    status=$?
    forget "$1"
}

# stop PID: ends a process this test started, by its id.
stop() {
    kill "$1" 2>/dev/null
    reap "$1" 10 || { kill -KILL "$1" 2>/dev/null; reap "$1" 10; }
}

# quiet PID: the process sleeps and used no processor time for half a
# second: it has finished its frame and waits for input.
quiet() {
    local before
    before=$(cpu_ticks "$1") || return 1
    sleep 0.5
    [ "$(cpu_ticks "$1")" = "$before" ] && [ "$(proc_state "$1")" = S ]
}
wait_quiet() { wait_for "$2" quiet "$1"; }

# snap FILE: the window's contents, as xwd writes them.
snap() { xwd -id "$win" -silent >"$1"; }

# need_imagemagick: the picture checks cannot do without it.
need_imagemagick() {
    [ -x "$compare" ] && [ -x "$convert" ] || fail "ImageMagick is not installed (Debian package imagemagick)"
}

# differing A B [GEOMETRY]: prints how many pixels differ between two pictures
# (PNG or xwd), within GEOMETRY (WxH+X+Y) if given.
differing() {
    local crop=${3:+[$3]}
    "$compare" -metric AE "$1$crop" "$2$crop" null: 2>&1
}

shows() { snap "$tmpdir/shown.xwd" && [ "$(differing "$1" "$tmpdir/shown.xwd" "${2:-}")" = 0 ]; }

# wait_picture SECONDS WANT [GEOMETRY]: waits until the window shows the picture
# WANT (within GEOMETRY); if it never does, says by how much the last one differs.
wait_picture() {
    wait_for "$1" shows "$2" "${3:-}" && return 0
    echo "the window differs from $(basename "$2") in $(differing "$2" "$tmpdir/shown.xwd" "${3:-}") pixels" >&2
    return 1
}

# unblocky FILE: prints how many pixels above the logo's rows differ from the
# sample of their 4x4 block: 0 for a coarse picture.
unblocky() {
    "$convert" "$1" -crop 1024x744+0+0 +repage "$tmpdir/top.png"
    "$convert" "$tmpdir/top.png" -sample '256x186!' -sample '1024x744!' "$tmpdir/blocks.png"
    differing "$tmpdir/top.png" "$tmpdir/blocks.png"
}
