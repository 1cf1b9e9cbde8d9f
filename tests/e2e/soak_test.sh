#!/usr/bin/env bash
# soak_test.sh -- half a minute of random pointer and key input; the explorer still runs and Esc ends it with 0
set -u
rootzoom=$1
seconds=${2:-30}
seed=${ROOTZOOM_SEED:-$RANDOM}
. "$(dirname "$0")/xlib.sh"
start_xvfb
echo "soak seed $seed (replay with ROOTZOOM_SEED=$seed)"
RANDOM=$seed

spawn "$rootzoom" >/dev/null   # the debug listing may be switched on: its lines go nowhere
app=$spawned
find_window rootzoom >/dev/null || fail "no window titled rootzoom appeared"
xdotool mousemove 512 384

held=()          # buttons 1..3 now down; never all three at once
is_held() { local b; for b in "${held[@]}"; do [ "$b" = "$1" ] && return 0; done; return 1; }
release() { local b keep=(); for b in "${held[@]}"; do [ "$b" = "$1" ] || keep+=("$b"); done; held=("${keep[@]}"); }
keys=(space BackSpace d x D a Return Tab 1)
events=0
end=$((SECONDS + seconds))
while [ $SECONDS -lt $end ]; do
    kill -0 "$app" 2>/dev/null || fail "rootzoom ended during the soak (seed $seed)"
    case $((RANDOM % 6)) in
    0|1) xdotool mousemove $((RANDOM % 1024)) $((RANDOM % 768)) ;;
    2)   b=$((RANDOM % 3 + 1))
         if is_held "$b"; then xdotool mouseup "$b"; release "$b"
         elif [ ${#held[@]} -lt 2 ]; then xdotool mousedown "$b"; held+=("$b"); fi ;;
    3)   xdotool click $((RANDOM % 2 + 4)) ;;   # the wheel
    4)   xdotool key "${keys[RANDOM % ${#keys[@]}]}" ;;
    5)   sleep 0.0$((RANDOM % 10)) ;;
    esac
    events=$((events + 1))
done
for b in "${held[@]}"; do xdotool mouseup "$b"; done
echo "$events events in ${seconds}s"
kill -0 "$app" 2>/dev/null || fail "rootzoom ended during the soak (seed $seed)"

xdotool mousemove 512 384 key Escape
for (( i = 0; i < 600; i++ )); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "rootzoom did not end on Esc within 60 s"
wait "$app"; status=$?
[ "$status" = 0 ] || fail "Esc ended rootzoom with status $status"
echo "still running after the soak; Esc ended it with status 0"
