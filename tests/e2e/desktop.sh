#!/usr/bin/env bash
# End to end on a desktop: the game's window under Xvfb with a window manager (openbox),
# real key events through XTEST (xdotool), checked in the trace. Three quick taps turn the
# bike three times; Alt+Enter, in either order of releases, neither leaves a race nor
# selects in the menu; P pauses a race (the paused picture is the race, with its box) and
# goes on; another window taking the focus pauses the game, the focus back resumes it
# with a frame that measures one frame, not the pause; a missing data file's box comes
# with its full path on stderr; a display that goes away ends the game at once.
set -euo pipefail
palvex=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
cleanup() {
  [ -n "${other_pid:-}" ] && kill "$other_pid" 2>/dev/null || true
  [ -n "${game_pid:-}" ] && kill -KILL "$game_pid" 2>/dev/null || true
  desktop_stop
  rm -rf "$work"
}
trap cleanup EXIT
[ -n "${E2E_KEEP:-}" ] && trap "cp $work/trace.jsonl /tmp/e2e-trace.jsonl; cleanup" EXIT
[ -n "${E2E_DEBUG:-}" ] && trap "cat $work/game.log; cleanup" EXIT
fail() { echo "e2e desktop: FAIL: $*" >&2; exit 1; }
. "$here/common.sh"
trap 'echo "e2e desktop: FAIL: line $LINENO: $BASH_COMMAND" >&2' ERR

desktop_start --wm
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_PICTURES_DIR="$work/pictures"
mkdir -p "$HOME" "$XDG_PICTURES_DIR"

cd "$work"
lines() { wc -l < trace.jsonl; }
# Until the trace stops growing: the game renders no frames.
settled() {
  local before after
  before=$(lines); sleep 0.4; after=$(lines)
  [ "$before" -eq "$after" ]
}

# Into a race on the script, the bike started by a tap; the rest is real keys.
printf '1 down enter\n1 up enter\n2 down enter\n2 up enter\n5 down d\n6 up d\n' > race.txt
"$palvex" --scale 2 --keys race.txt --trace trace.jsonl >game.log 2>&1 &
game_pid=$!
window=$(game_window)
activate "$window"
for _ in $(seq 150); do
  [ "$(lines)" -ge 20 ] && break # the race runs, the bike drives
  sleep 0.1
done
[ "$(lines)" -ge 20 ] || fail "the race did not start: $(cat game.log)"

# Three taps with no delay at all: every press and release between two frames.
taps_from=$(lines)
xdotool key --delay 0 d d d
sleep 0.5
alt_from=$(lines)
sleep 0.5 # past the start, when the window manager may still move the focus

# Alt+Enter, Alt let go first and then Return let go first, in the race.
xdotool keydown alt keydown Return keyup alt keyup Return
sleep 1.2
xdotool keydown alt keydown Return keyup Return keyup alt
sleep 1.2
alt_to=$(lines)
in_race=$(tail -n1 trace.jsonl | python3 -c 'import json, sys; print(json.load(sys.stdin)["inGame"])')
[ "$in_race" = 1 ] || fail "Alt+Enter left the race"

# The pause key: no frames while paused, the paused picture on F12, then on again.
xdotool key p
sleep 0.3
settled || fail "frames went on after P"
paused_at=$(lines)
xdotool key F12
sleep 0.5
[ "$(lines)" -eq "$paused_at" ] || fail "the screenshot key rendered frames while paused"
kill -0 "$game_pid" || fail "the game ended while paused"
xdotool key p
sleep 0.5
[ "$(lines)" -gt "$paused_at" ] || fail "P did not resume the race"

# Another window takes the focus: the game waits; the focus back, it goes on.
xmessage -geometry 200x60+0+0 "another window" &
other_pid=$!
other_window=$(game_window xmessage)
sleep 0.5
settled || fail "frames went on without the focus"
unfocused_at=$(lines)
sleep 1
[ "$(lines)" -eq "$unfocused_at" ] || fail "frames went on without the focus"
kill -0 "$game_pid" || fail "the game ended when it lost the focus"
activate "$window"
sleep 0.5
[ "$(lines)" -gt "$unfocused_at" ] || fail "the game did not go on with the focus back"

# A second copy while another window has the focus, and again while the game's window is
# minimised: refused with one line, and the game's window comes to the front, mapped and
# active, without an X error in either copy.
second_copy() {
  local code=0
  "$palvex" --scale 1 >second.log 2>&1 || code=$?
  [ "$code" -eq 1 ] || fail "the second copy exited with $code, expected 1: $(cat second.log)"
  [ "$(cat second.log)" = "palvex: already running; its window was brought to the front" ] ||
    fail "the second copy said: $(cat second.log)"
  for _ in $(seq 50); do
    [ "$(xdotool getactivewindow 2>/dev/null)" = "$window" ] && return 0
    sleep 0.1
  done
  fail "the first copy's window did not come to the front ($1)"
}
activate "$other_window"
second_copy "behind another window"
xdotool windowminimize --sync "$window"
second_copy "minimised"
xwininfo -id "$window" | grep -q "Map State: IsViewable" || fail "the minimised window was not restored"
grep -i "X server\|BadMatch" game.log && fail "an X error in the first copy: $(cat game.log)"
kill "$other_pid"; other_pid=""

# Back in the menu (Escape), Alt+Enter both ways again.
xdotool key Escape
sleep 0.5
menu_from=$(lines)
xdotool keydown alt keydown Return keyup alt keyup Return
sleep 1.2
xdotool keydown alt keydown Return keyup Return keyup alt
sleep 1.2
menu_to=$(lines)
kill "$game_pid"; wait "$game_pid" 2>/dev/null || true; game_pid=""

# A missing data file: the message box of the game, and beside it on stderr the full path
# the game tried. The box waits for the player; Return closes it and the game goes on.
mkdir -p broken
cp "$palvex" broken/palvex
cp "$(dirname "$palvex")"/*.gif "$(dirname "$palvex")"/*.ase "$(dirname "$palvex")"/*.ogg broken/
rm broken/mainmenu.gif
broken/palvex --scale 1 --frames 20 >broken.log 2>&1 &
game_pid=$!
box=""
for _ in $(seq 100); do
  # xdotool does not see the name SDL gives its message boxes; xwininfo does.
  box=$(xwininfo -root -tree | awk '/"Error at / && !found {print $1; found = 1}')
  [ -n "$box" ] && break
  sleep 0.1
done
[ -n "$box" ] || fail "no message box for a missing picture: $(cat broken.log)"
activate "$box"
xdotool key Return
for _ in $(seq 100); do
  kill -0 "$game_pid" 2>/dev/null || break
  sleep 0.1
done
wait "$game_pid" || fail "the game did not go on after the box: $(cat broken.log)"
game_pid=""
grep -qx "palvex: data file $work/broken/mainmenu.gif: missing" broken.log ||
  fail "the path tried is not named: $(cat broken.log)"

shots=(pictures/palvex-*.png)
[ ${#shots[@]} -eq 1 ] && [ -f "${shots[0]}" ] || fail "F12 wrote no screenshot: $(cat game.log)"
grep -q "palvex: screenshot $work/${shots[0]}" game.log || fail "the screenshot's path was not named: $(cat game.log)"
PYTHONPATH="$here" python3 - trace.jsonl "${shots[0]}" "$taps_from" "$alt_from" "$alt_to" "$paused_at" "$unfocused_at" \
  "$menu_from" "$menu_to" <<'PY' || fail "trace check"
import json, sys
from pictures import read_png
frames = [json.loads(l) for l in open(sys.argv[1])]
taps_from, alt_from, alt_to, paused_at, unfocused_at, menu_from, menu_to = map(int, sys.argv[3:])

def at(frame):  # trace lines count from frame 1
    return frames[frame - 1]

# Three taps, three right turns.
# Three taps, three right turns, each in a frame of its own (three quarter turns in a few
# frames take the bike back into its own wall, so it crashes right after).
bikes = [(at(n)["player"]["direction"], at(n)["playerAlive"]) for n in range(taps_from, alt_from + 1)]
turns = [(a[0], b[0]) for a, b in zip(bikes, bikes[1:]) if a[0] != b[0] and b[1]]
assert len(turns) == 3 and all(b == (a + 1) % 4 for a, b in turns), "turns after three taps: %s" % turns

# Alt+Enter: still in the race; in the menu, no select and the same screen.
assert all(at(n)["inGame"] == 1 for n in range(alt_from, alt_to + 1)), "Alt+Enter left the race"
menu = [at(n) for n in range(menu_from, menu_to + 1)]
assert all(f["inGame"] == 0 for f in menu), "not in the menu"
assert all(f["buttonReleased"][6] == 0 for f in menu), "Alt+Enter selected in the menu"
assert len({(f["screen"], f["item"]) for f in menu}) == 1, "Alt+Enter moved the menu"

# After each pause: the tick count jumped by the pause, the frame time is one frame's
# (ten times as fast while the player is out), and the sound was held and went on.
for last in (paused_at, unfocused_at):
    before, after = at(last), at(last + 1)
    gap = after["tick"] - before["tick"]
    measured = after["frameTime"] * 1000 / 65536 / (1 if after["playerAlive"] else 10)
    assert gap >= 400, "frame %d: no pause between the frames (%d ms)" % (last, gap)
    assert measured < 50, "frame %d measured %.0f ms after a pause of %d ms" % (last + 1, measured, gap)
    assert after["sound"][-2:] == ["pause", "resume"], "frame %d sound %s" % (last + 1, after["sound"])

# The paused picture is the race under a black box with yellow letters, not a blank.
shot = read_png(sys.argv[2])
width, height, pixel = shot.width, shot.height, shot.pixel
assert (width, height) == (480, 588), "screenshot %dx%d" % (width, height)
box = [pixel(x, y) for y in range(height // 2 - 20, height // 2 + 20) for x in range(width)]
yellow = sum(1 for p in box if p[0] > 200 and p[1] > 180 and p[2] < 80)
assert yellow > 100 and (0, 0, 0) in box, "no PAUSED box (%d yellow pixels)" % yellow
# Away from the box: the sky in the frame's clear colour, and the arena's many shades.
assert all(abs(c - 128) <= 8 for c in pixel(10, 10)), "the sky is %s, not the race's grey" % (pixel(10, 10),)
race = {pixel(x, y) for y in list(range(0, height // 2 - 40)) + list(range(height // 2 + 40, height)) for x in range(0, width, 2)}
colours = len(race)
assert colours >= 8, "the paused picture has %d colours away from its box: no race under it" % colours
print("e2e desktop: 3 taps, 3 turns; Alt+Enter kept the race and the menu; two pauses of %d and %d ms; "
      "paused picture of %d colours" % (at(paused_at + 1)["tick"] - at(paused_at)["tick"],
                                        at(unfocused_at + 1)["tick"] - at(unfocused_at)["tick"], colours))
PY
# Last, the display goes away under the menu (the X server ends, as with the session):
# the game ends at once with a line. It used to wait in Xlib for ever on the dead
# connection, spinning, deaf to SIGTERM.
"$palvex" --scale 1 >lost.log 2>&1 &
game_pid=$!
game_window >/dev/null
desktop_stop
for _ in $(seq 50); do
  kill -0 "$game_pid" 2>/dev/null || break
  sleep 0.1
done
! kill -0 "$game_pid" 2>/dev/null || fail "the game lives on without its display: $(cat lost.log)"
wait "$game_pid" 2>/dev/null || true
game_pid=""
grep -qx "palvex: the connection to the display was lost" lost.log || fail "no word of the lost display: $(cat lost.log)"

echo "e2e desktop: PASS"
