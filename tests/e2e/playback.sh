#!/usr/bin/env bash
# End to end: a replay played back in a real window under Xvfb and openbox, with real key
# events (xdotool). P holds the playback and lets it go on; a recorded gap (ticks an hour
# ahead, or back across a wrap) costs a moment, not a frozen window; Escape, SIGTERM and
# SIGHUP end a playback at once and cleanly; a window destroyed by another program ends
# the game cleanly.
set -euo pipefail
palvex=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
cleanup() {
  [ -n "${game_pid:-}" ] && kill -9 "$game_pid" 2>/dev/null || true
  desktop_stop
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "e2e playback: FAIL: $*" >&2; [ -f "$work/game.log" ] && cat "$work/game.log" >&2; exit 1; }
. "$here/common.sh"

desktop_start --wm
export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
export XDG_STATE_HOME="$work/state" SDL_AUDIODRIVER=dummy HOME="$work"
cd "$work"
cp "$palvex" "$work/palvex"
cp "$(dirname "$palvex")"/*.ase "$(dirname "$palvex")"/*.gif "$(dirname "$palvex")"/*.ogg "$work/"
printf '\x00\x02\x00\x00\x00\x02\x00\x00\x00\x01\x00\x00\x00' > options.bin # three opponents, medium speed
# A game of 400 frames on a 20 ms clock: eight seconds played back.
printf '1 down enter\n1 up enter\n2 down enter\n2 up enter\n5 down d\n7 up d\n200 down left\n203 up left\n' > keys.txt
./palvex --headless --tick-ms 20 --frames 400 --keys keys.txt --record game.pvxr >record.log 2>&1 ||
  fail "recording: $(cat record.log)"

lines() { [ -f play.jsonl ] && wc -l < play.jsonl || echo 0; }
# play FILE: a windowed playback with a trace, started and given the focus.
play() {
  rm -f play.jsonl
  ./palvex --scale 1 --replay "$1" --trace play.jsonl >game.log 2>&1 &
  game_pid=$!
  window=$(game_window)
  activate "$window"
}
# wait_frames N: until the playback has shown N frames (10 s at most: a window mapped late).
wait_frames() {
  for _ in $(seq 100); do
    [ "$(lines)" -ge "$1" ] && return 0
    sleep 0.1
  done
  fail "the playback had not begun: $(lines) frames"
}
# ends_within SECONDS: the game has ended by then; its exit code goes to $code.
ends_within() {
  local tenths=$(( $1 * 10 ))
  for _ in $(seq "$tenths"); do
    kill -0 "$game_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$game_pid" 2>/dev/null && return 1
  code=0
  wait "$game_pid" || code=$?
  game_pid=""
}

# P holds the playback: no frame while held, and it goes on after.
play game.pvxr
wait_frames 30
xdotool key p
sleep 0.3
held=$(lines)
sleep 1.5
[ "$(lines)" -le $(( held + 1 )) ] || fail "P did not hold the playback: $held frames, then $(lines)"
xdotool key p
sleep 1
[ "$(lines)" -gt $(( held + 20 )) ] || fail "a second P did not let the playback go on: $held, then $(lines)"
echo "e2e playback: P held the playback at frame $held for 1.5 s, and let it go on"
ends_within 20 || fail "the playback did not end"
[ "$code" -eq 0 ] || fail "the playback ended with $code"
grep -q "the replay agrees" game.log || fail "no verdict: $(cat game.log)"

# Gaps: the ticks jump an hour ahead before frame 150 (a pause, a machine asleep), or
# 600 ms back (a clock wrapped); the frames after carry on from there.
python3 - game.pvxr <<'PY'
import sys
b = bytearray(open(sys.argv[1], 'rb').read())
at = 10; at += 1 + b[at]; at += 20; n = b[at]; at += 1
for _ in range(n): at += 1 + b[at] + 8
at += 4
def varint():
    global at
    while b[at] & 0x80: at += 1
    at += 1
frames = []; ticks = []
while at < len(b):
    tag = b[at]; at += 1
    if tag == 1: at += 1; varint()
    elif tag == 2: ticks.append(at); varint()
    elif tag == 3: frames.append(at - 1)
    elif tag == 4: varint(); at += 28
    elif tag == 5: break
def enc(v):
    z = (v << 1) ^ (v >> 63)
    out = bytearray()
    while z >= 0x80: out.append((z & 0x7F) | 0x80); z >>= 7
    out.append(z); return out
tick = next(t for t in ticks if t > frames[148])   # the first tick of frame 150
for name, step in (("ahead.pvxr", 3600 * 1000), ("back.pvxr", -600)):
    c = bytearray(b); c[tick:tick + 1] = enc(step); open(name, 'wb').write(c)
PY
for gap in ahead back; do
  play $gap.pvxr
  started=$SECONDS
  ends_within 25 || fail "the $gap gap froze the playback at frame $(lines)"
  [ "$code" -eq 3 ] || fail "the $gap gap: exit $code, not a difference: $(cat game.log)"
  grep -q "differs from frame" game.log || fail "the $gap gap: no verdict: $(cat game.log)"
  echo "e2e playback: a gap $gap played through to its difference in $(( SECONDS - started )) s ($(lines) frames)"
done

# Escape, SIGTERM and SIGHUP end a playback within a frame or two, with exit code 0 and
# no verdict on what was not played.
for how in escape TERM HUP; do
  play game.pvxr
  wait_frames 30
  if [ $how = escape ]; then xdotool key Escape; else kill -$how "$game_pid"; fi
  ends_within 3 || fail "$how did not end the playback"
  [ "$code" -eq 0 ] || fail "$how: exit $code"
  grep -q "was stopped after frame" game.log || fail "$how: $(cat game.log)"
  ! grep -q "agrees" game.log || fail "$how: a verdict on a playback not played to its end"
done
echo "e2e playback: Escape, SIGTERM and SIGHUP end a playback at once"

# A window another program destroys (XDestroyWindow from another client) ends the game
# cleanly: exit 0, its game recorded in full.
./palvex --scale 1 >game.log 2>&1 &
game_pid=$!
window=$(game_window)
activate "$window"
sleep 0.5
xdotool key Return; sleep 0.3; xdotool key Return; sleep 1
python3 - "$window" <<'PY'
import ctypes, sys
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XDestroyWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
x.XCloseDisplay.argtypes = [ctypes.c_void_p]
d = x.XOpenDisplay(None)
x.XDestroyWindow(d, int(sys.argv[1]))
x.XSync(d, 0)
x.XCloseDisplay(d)
PY
ends_within 5 || fail "the game runs on without its window"
[ "$code" -eq 0 ] || fail "the lost window: exit $code"
grep -q "destroyed by another program" game.log || fail "the lost window: $(cat game.log)"
recorded=(data/palvex/replays/palvex-*.pvxr)
./palvex --replay "${recorded[0]}" --verify >verify.log 2>&1 || fail "the lost window's game: $(cat verify.log)"
grep -q "the replay agrees" verify.log || fail "the lost window's game: $(cat verify.log)"
echo "e2e playback: a window destroyed by another program ends the game, recorded in full"
echo "e2e playback: PASS"
