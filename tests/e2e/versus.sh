#!/usr/bin/env bash
# End to end: two players on one keyboard, in a real window under Xvfb with a window manager
# (openbox) and real keys (xdotool). The picture is split into two views side by side on a
# 16:9 screen, each labelled in its player's colour; player 2's cursor keys turn player 2's
# bike only and player 1's A and D player 1's only, also when both press at once; a round
# restarts when one bike is left, with the scores the rules give.
#   tests/e2e/versus.sh PALVEX
set -euo pipefail
palvex=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
fail() { echo "e2e versus: FAIL: $*" >&2; exit 1; }
. "$here/common.sh"
e2e_setup "e2e versus"

desktop_start --wm 1280x720
"$palvex" --fullscreen --players 2 --opponents 0 --trace vs.jsonl >vs.log 2>&1 &
game_pid=$!
window=$(game_window)
activate "$window"
into_race
trace_wait vs.jsonl 'j["inGame"] == 1 and len(j.get("players", [])) == 2'

# Player 2's right: the first press sets both bikes going, and turns nobody; player 1's
# left alone a moment later turns player 1. The bikes face each other: the keys go in one
# go, with no waiting on the trace between them, so that a loaded machine cannot let the
# bikes meet first. Player 2 then drives into the wall player 1 left behind: a kill for
# player 1 and two for surviving, and the round restarts at once, one bike being left.
xdotool key Right
sleep 0.1
xwd -silent -id "$window" -out split.xwd
xdotool key a
trace_wait vs.jsonl 'j["scores"] == [0, 0, 0, 3] and [p["direction"] for p in j["players"]] == [4, 4]'
first_round=$(wc -l < vs.jsonl)

# Both at once, on one keyboard: the start, then a left turn each in the same moment.
xdotool keydown d Right
sleep 0.15
xdotool keyup d Right
sleep 0.1
xdotool keydown a Left
sleep 0.15
xdotool keyup a Left
trace_wait vs.jsonl '[p["direction"] for p in j["players"]] == [0, 2]'
kill "$game_pid"; wait "$game_pid" 2>/dev/null || true; game_pid=""

# The directions as they changed: each bike turned on its own player's keys only.
FIRST_ROUND=$first_round python3 - <<'PY' || fail "the bikes turned on the wrong keys"
import json, os
lines = [json.loads(line) for line in open("vs.jsonl")]
def changes(part):
    seen = []
    for j in part:
        d = [p["direction"] for p in j.get("players", [])]
        if d and (not seen or d != seen[-1]):
            seen.append(d)
    return seen
cut = int(os.environ["FIRST_ROUND"])
first, second = changes(lines[:cut]), changes(lines[cut:])
assert first[:3] == [[4, 4], [1, 3], [0, 3]], "first round: %s" % first
assert second[0] == [4, 4] and second[1] == [1, 3], "second round: %s" % second
assert second[-1] == [0, 2] and all(d in ([1, 3], [0, 3], [1, 2], [0, 2]) for d in second[1:]), "second round: %s" % second
PY

PYTHONPATH="$here" python3 - <<'PY' || fail "picture check"
from pictures import read_xwd
shot = read_xwd("split.xwd")
w, h = shot.width, shot.height
assert (w, h) == (1280, 720), "the window is %dx%d, not the screen" % (w, h)

def count(colour, x0, x1, y0, y1):
    return sum(1 for y in range(y0, y1) for x in range(x0, x1)
               if all(abs(a - b) <= 8 for a, b in zip(shot.pixel(x, y), colour)))

yellow, orange = (255, 223, 0), (255, 114, 0)
# Each view's label box at its own top-left corner, in its player's colour.
assert count(yellow, 0, 60, 0, 40) > 100, "no player 1 label at the left view's corner"
assert count(orange, 640, 700, 0, 40) > 100, "no player 2 label at the right view's corner"
assert count(orange, 0, 60, 0, 40) == 0 and count(yellow, 640, 700, 0, 40) == 0, "labels in the wrong views"
# Two pictures side by side, to the screen's edges: no letterbox bars, and each half its own.
for x in (0, w - 1):
    column = [shot.pixel(x, y) for y in range(60, h - 100)]
    assert sum(1 for p in column if p == (0, 0, 0)) < len(column) // 2, "a black bar at x = %d" % x
left = [shot.pixel(x, y) for y in range(120, h - 120, 7) for x in range(100, 540, 7)]
right = [shot.pixel(x + 640, y) for y in range(120, h - 120, 7) for x in range(100, 540, 7)]
assert sum(1 for a, b in zip(left, right) if a != b) > len(left) // 10, "the halves show one picture"

print("e2e versus: two views side by side, each player's keys turn their own bike, a round restarts when one bike is left")
PY
