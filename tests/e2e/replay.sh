#!/usr/bin/env bash
# End to end: a game played in a real window under Xvfb, on the real clock with real key
# events (xdotool), is recorded by the game itself; played back headless it gives the same
# race state frame for frame, and it verifies. The recording says whose each key was:
# D player 1's right, the cursor keys player 2's, J (no key of the one-player game)
# player 3's left.
set -euo pipefail
palvex=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
cleanup() {
  [ -n "${game_pid:-}" ] && kill "$game_pid" 2>/dev/null || true
  desktop_stop
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "e2e replay: FAIL: $*" >&2; [ -f "$work/game.log" ] && cat "$work/game.log" >&2; exit 1; }
. "$here/common.sh"

desktop_start
export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
export XDG_STATE_HOME="$work/state" SDL_AUDIODRIVER=dummy HOME="$work"

cd "$work"
cp "$palvex" "$work/palvex"
cp "$(dirname "$palvex")"/*.ase "$(dirname "$palvex")"/*.gif "$(dirname "$palvex")"/*.ogg "$work/"
printf '\x00\x02\x00\x00\x00\x02\x00\x00\x00\x01\x00\x00\x00' > options.bin # three opponents, medium speed
./palvex --scale 2 --trace live.jsonl >game.log 2>&1 &
game_pid=$!
window=$(game_window)
xdotool windowfocus --sync "$window"
sleep 0.3
xdotool key Return          # leave the title
sleep 0.2
xdotool key Return          # start
sleep 0.3
xdotool keydown d; sleep 0.1; xdotool keyup d   # set the bikes going
sleep 0.6
xdotool keydown Left; sleep 0.1; xdotool keyup Left
sleep 0.5
xdotool keydown Right; sleep 0.1; xdotool keyup Right
sleep 0.3
xdotool keydown j; sleep 0.1; xdotool keyup j
sleep 0.5
xdotool key Escape          # back to the menu: the recording ends
sleep 0.3
xdotool key Down Down Down Return   # quit
for _ in $(seq 50); do
  kill -0 "$game_pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$game_pid" 2>/dev/null && fail "the game did not quit"
wait "$game_pid" || fail "the game exited with $?"
game_pid=""

replays=(data/palvex/replays/palvex-*.pvxr)
[ "${#replays[@]}" -eq 1 ] && [ -f "${replays[0]}" ] || fail "expected one recorded game, found: ${replays[*]}"
python3 - "${replays[0]}" <<'PY' || fail "the recording does not say whose the keys were"
import sys
b = open(sys.argv[1], "rb").read()
at = 10
def varint():
    global at
    value = shift = 0
    while True:
        byte = b[at]; at += 1
        value |= (byte & 0x7F) << shift; shift += 7
        if not byte & 0x80: return value
at += 1 + b[at] + 13 + 7
models = b[at]; at += 1
for _ in range(models): at += 1 + b[at] + 8
assert b[8] == 3, "format %d" % b[8]
at += 4 + 1
assert (b[at], b[at + 1]) == (1, 0), "players %d, computer bikes %d" % (b[at], b[at + 1])
at += 2
events = []
while at < len(b):
    tag = b[at]; at += 1
    if tag in (1, 7):
        kind = b[at]; at += 1
        w = varint()
        events.append((kind, w, varint() if tag == 7 else 0))
    elif tag == 2: varint()
    elif tag == 4: varint(); at += 28
    elif tag == 5: break
down, up, left, right, other = 5, 6, 0x25, 0x27, 0xFE
for wanted, who in (((down, right, right << 8 | 1), "D, player 1's right"), ((down, left, left << 8 | 2), "Left, player 2's left"),
                    ((down, other, left << 8 | 3), "J, player 3's left"), ((up, other, left << 8 | 3), "J let go")):
    assert wanted in events, "%s not recorded as such: %s" % (who, events)
assert (up, 0x1B, 0) in events, "Escape is nobody's: %s" % events
PY
./palvex --replay "${replays[0]}" --verify >verify.log 2>&1 || fail "verify exited with $?: $(cat verify.log)"
./palvex --headless --replay "${replays[0]}" --trace played.jsonl >play.log 2>&1 || fail "playback failed"
python3 - live.jsonl played.jsonl <<'PY' || fail "the playback differs from the game"
import json, sys
live, played = ([json.loads(l) for l in open(p)] for p in sys.argv[1:3])
setup = next(i for i, f in enumerate(live) if f["inGame"] == 1)
race = [f for f in live[setup + 1:] if f["inGame"] == 1]
fields = ("inGame", "buttonHeld", "scores", "playerAlive", "raceStarted", "frameTime", "frameStep", "player",
          "opponents", "cameraYaw", "cameraYawTarget", "opponentCount", "scoredOpponents", "killer")
assert len(race) > 30, "a short race: %d frames" % len(race)
assert len(played) == len(race), "%d frames played back, %d in the game" % (len(played), len(race))
for i, (a, b) in enumerate(zip(race, played)):
    for f in fields:
        assert a.get(f) == b.get(f), "race frame %d: %s differs" % (i + 1, f)
turns = sum(1 for a, b in zip(race, race[1:]) if a["player"]["direction"] != b["player"]["direction"])
print("e2e replay: %d race frames recorded live and played back alike (%d changes of direction)" % (len(race), turns))
PY
echo "e2e replay: PASS"
