# xlib.sh -- shared by the window tests: a private Xvfb server, bounded waits, clean-up
#
# Source it, then call start_xvfb. Every process started through `spawn` is
# stopped by its id when the test exits, however it exits.

SKIP=77   # ctest's skip code: used only where Xvfb truly cannot run
pids=()
tmpdir=$(mktemp -d)

cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
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

# wait_for SECONDS CMD...: retries CMD every 0.1 s until it succeeds or the time is up.
wait_for() {
    local limit=$(( $1 * 10 )); shift
    for (( i = 0; i < limit; i++ )); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
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
    local id
    for (( i = 0; i < 100; i++ )); do
        id=$(xdotool search --name "^$1\$" 2>/dev/null | head -n1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}
