#!/usr/bin/env bash
# End to end: an online race between two windows on one X server (Xvfb, openbox, real keys
# from xdotool), through palvex-relay's latency and loss on 127.0.0.1. Each window shows its
# own player's view; a key pressed in one window turns that machine's bike on both; the
# host leaving ends the race for both; both recordings verify.
#   tests/e2e/online.sh PALVEX RELAY
set -euo pipefail
palvex=$(readlink -f "$1")
relay=$(readlink -f "$2")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
fail() { echo "e2e online: FAIL: $*" >&2; [ -n "${E2E_KEEP:-}" ] && cp -f "$work"/*.jsonl "$work"/*.log "$work"/*.xwd "$E2E_KEEP"/ 2>/dev/null; exit 1; }
. "$here/common.sh"
e2e_setup "e2e online"
trap 'kill -KILL ${host_pid:-} ${join_pid:-} ${relay_pid:-} 2>/dev/null || true; e2e_cleanup' EXIT

# seen TRACE TUPLE: until some line's players' directions were TUPLE (15 s at most).
seen() {
  for _ in $(seq 300); do
    [ -s "$1" ] && python3 - "$1" "$2" <<'PY' && return 0
import json, sys
want = json.loads(sys.argv[2])
for line in open(sys.argv[1]):
    try:
        j = json.loads(line)
    except ValueError:
        continue
    if [p["direction"] for p in j.get("players", [])] == want:
        sys.exit(0)
sys.exit(1)
PY
    sleep 0.05
  done
  fail "$1 never showed the directions $2"
}
window_of() { # PID: the window of that process (30 s at most)
  for _ in $(seq 300); do
    local id
    id=$(xdotool search --all --pid "$1" --name '^Palvex$' 2>/dev/null | head -n1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  fail "no window of process $1"
}

# focus WINDOW: made the active window and given the keyboard (two windows of one name: the
# window manager's choice alone left the keys with the other now and then); the game hears
# its focus a moment later.
focus() {
  activate "$1"
  xdotool windowfocus --sync "$1" 2>/dev/null || true
  sleep 0.3
  [ "$(xdotool getwindowfocus)" = "$1" ] || fail "window $1 did not get the keyboard"
}

desktop_start --wm 1280x720
# Each copy has a runtime folder of its own: one copy per desktop session is the rule.
mkdir -p "$work/run-host" "$work/run-join"
XDG_RUNTIME_DIR="$work/run-host" "$palvex" --host 0 --players 2 --scale 1 --trace host.jsonl --record host.pvxr \
  2>host.log &
host_pid=$!
port=$(number_in host.log "hosting on port")
"$relay" --listen 0 --target "$port" --rtt 60 --jitter 5 --loss 2 --seed 3 --timeout 120 >relay.log 2>&1 &
relay_pid=$!
through=$(number_in relay.log "listening on")
XDG_RUNTIME_DIR="$work/run-join" "$palvex" --join "127.0.0.1:$through" --scale 1 --trace join.jsonl \
  --record join.pvxr 2>join.log &
join_pid=$!
host_window=$(window_of "$host_pid")
join_window=$(window_of "$join_pid")
# Side by side, so that each window's picture can be captured whole.
xdotool windowmove --sync "$host_window" 0 0 || true
xdotool windowmove --sync "$join_window" 600 0 || true
trace_wait host.jsonl 'j["inGame"] == 1 and len(j.get("players", [])) == 2'
trace_wait join.jsonl 'j["inGame"] == 1 and len(j.get("players", [])) == 2'

# The host's D sets every bike going and its A turns the host's bike off the head-on line
# (MinusZ to MinusX); then the joining player's cursor Left turns their own bike (facing
# PlusZ, to PlusX), on both machines, across the relay.
focus "$host_window"
xdotool key d
sleep 0.1
xdotool key a
focus "$join_window"
xdotool key Left
seen join.jsonl '[0, 2]'
seen host.jsonl '[0, 2]'
for trace in host join; do
  python3 - "$trace.jsonl" <<'PY' || fail "$trace: the bikes turned on the wrong keys"
import json, sys
seen = []
for line in open(sys.argv[1]):
    d = [p["direction"] for p in json.loads(line).get("players", [])]
    if d and (not seen or d != seen[-1]):
        seen.append(d)
assert seen[:4] == [[4, 4], [1, 3], [0, 3], [0, 2]], seen
PY
done
xwd -silent -id "$host_window" -out host.xwd
xwd -silent -id "$join_window" -out join.xwd

# The host leaves: the race ends for both.
focus "$host_window"
xdotool key Escape
for _ in $(seq 200); do
  kill -0 "$join_pid" 2>/dev/null || break
  [ -n "$(grep -i 'host' join.log | grep -i 'left\|ended' || true)" ] && break
  sleep 0.05
done
grep -qi 'host' join.log || fail "the joining machine was not told the host left: $(cat join.log)"
kill -TERM "$host_pid" "$join_pid" 2>/dev/null || true
wait "$host_pid" 2>/dev/null || true
wait "$join_pid" 2>/dev/null || true
host_pid="" join_pid=""

for side in host join; do
  "$palvex" --verify --replay "$side.pvxr" >"$side-verify.log" 2>&1 ||
    fail "the $side's recording does not verify: $(cat "$side-verify.log")"
done

PYTHONPATH="$here" python3 - <<'PY' || fail "picture check"
from pictures import read_xwd
def count(shot, colour, x0, x1, y0, y1):
    return sum(1 for y in range(y0, y1) for x in range(x0, x1)
               if all(abs(a - b) <= 8 for a, b in zip(shot.pixel(x, y), colour)))
yellow, orange = (255, 223, 0), (255, 114, 0)
host, join = read_xwd("host.xwd"), read_xwd("join.xwd")
# Each window one view, labelled with its own player at the top-left corner.
assert count(host, yellow, 0, 60, 0, 24) > 30 and count(host, orange, 0, 60, 0, 24) == 0, "the host's view is not player 1's"
assert count(join, orange, 0, 60, 0, 24) > 30 and count(join, yellow, 0, 60, 0, 24) == 0, "the joining view is not player 2's"
assert host.differing(join) > host.width * host.height // 10, "both windows show one picture"
print("e2e online: two windows race through the relay, each its own player's view; both recordings verify")
PY
