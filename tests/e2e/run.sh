#!/usr/bin/env bash
# End to end: the real window under Xvfb, real key events through XTEST (xdotool), the
# trace checked, a second copy refused, the program ended by losing the focus with
# --quit-on-focus-loss, a key script on the virtual clock in a window, and no X server.
# The pause, focus, fullscreen and tap checks with a window manager are in desktop.sh.
set -euo pipefail
palvex=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
cleanup() {
  [ -n "${game_pid:-}" ] && kill -KILL "$game_pid" 2>/dev/null || true
  [ -n "${holder_pid:-}" ] && kill "$holder_pid" 2>/dev/null || true
  desktop_stop
  rm -rf "$work"
}
trap cleanup EXIT
[ -n "${E2E_DEBUG:-}" ] && trap "cat $work/game.log $work/xvfb.log; cleanup" EXIT
fail() { echo "e2e: FAIL: $*" >&2; exit 1; }
. "$here/common.sh"

desktop_start
# The settings file the game writes on its first start goes here, not to the user's.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config"
mkdir -p "$HOME"

cd "$work"
"$palvex" --scale 2 --quit-on-focus-loss --trace trace.jsonl --screenshot window.png >game.log 2>&1 &
game_pid=$!

window=$(game_window)
geometry=$(xdotool getwindowgeometry "$window" | awk '/Geometry/{print $2}')
[ "$geometry" = "480x588" ] || fail "window is $geometry, expected 480x588 at --scale 2"

xdotool windowfocus --sync "$window"
sleep 0.5
xdotool key d
sleep 0.3
xdotool keydown Left
sleep 0.3
xdotool keyup Left
sleep 0.3

# A second copy ends at once with exit code 1 and leaves the first running.
set +e
"$palvex" --scale 1 >second.log 2>&1
second=$?
set -e
[ "$second" -eq 1 ] || fail "second instance exited with $second, expected 1"
grep -qx "palvex: already running; its window was brought to the front" second.log ||
  fail "the second copy did not say why it ended: $(cat second.log)"
kill -0 "$game_pid" 2>/dev/null || fail "the first instance died"
# The lock and the socket live in a private directory of XDG_RUNTIME_DIR, one pair per display.
lockdir="$XDG_RUNTIME_DIR/palvex"
[ "$(stat -c %a "$lockdir")" = 700 ] || fail "the lock's directory has mode $(stat -c %a "$lockdir")"
[ -f "$lockdir/x11-$DISPLAY.lock" ] && [ -S "$lockdir/x11-$DISPLAY.sock" ] ||
  fail "no lock and socket for $DISPLAY: $(ls -l "$lockdir")"

# With --quit-on-focus-loss, losing the activation ends the program, as on the handheld.
root=$(xwininfo -root | awk '/Window id/{print $4}')
xdotool windowfocus "$root"
for _ in $(seq 50); do
  kill -0 "$game_pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$game_pid" 2>/dev/null; then fail "the game did not end when it lost the focus"; fi
set +e
wait "$game_pid"
code=$?
set -e
game_pid=""
[ "$code" -eq 0 ] || fail "exit code $code after losing the focus"

# Something that holds this display's lock and does not answer: a copy says so instead of
# claiming a raise. The lock of another display is no obstacle (the scripted run below
# starts while one is held).
flock -o "$lockdir/x11-$DISPLAY.lock" sleep 30 &
holder_pid=$!
sleep 0.3
code=0
"$palvex" --scale 1 >mute.log 2>&1 || code=$?
kill "$holder_pid" 2>/dev/null || true
[ "$code" -eq 1 ] || fail "a copy whose first copy does not answer exited with $code"
grep -qx "palvex: already running, but it did not answer the call to bring its window to the front" mute.log ||
  fail "a copy whose first copy does not answer said: $(cat mute.log)"
flock -o "$lockdir/x11-:4242.lock" sleep 30 &
holder_pid=$!

python3 - "$work/trace.jsonl" <<'PY' || fail "trace check"
import json, sys
frames = [json.loads(l) for l in open(sys.argv[1])]
assert len(frames) > 10, "too few frames: %d" % len(frames)
assert frames[0]["screenWidth"] == 240 and frames[0]["screenHeight"] == 294
released_right = [f["frame"] for f in frames if f["buttonReleased"][3] == 1]
released_left = [f["frame"] for f in frames if f["buttonReleased"][2] == 1]
held_left = [f["frame"] for f in frames if f["buttonHeld"][2] == 1]
assert len(released_right) == 1, "D release seen by %d frames" % len(released_right)
assert len(released_left) == 1, "Left release seen by %d frames" % len(released_left)
assert held_left and max(held_left) < released_left[0], "Left held before its release"
assert any(f["anyKeySeen"] == 1 for f in frames)
for a, b in zip(frames, frames[1:]):
    assert b["frame"] == a["frame"] + 1
print("e2e: %d frames, D released in frame %d, Left held %d frames" % (len(frames), released_right[0], len(held_left)))
PY
[ -s window.png ] || fail "no screenshot of the window"

# The journal works in a window as it does headless: the same key script on the same
# virtual clock gives the same race, frame for frame.
printf '1 down enter\n1 up enter\n2 down enter\n2 up enter\n5 down d\n8 up d\n40 down a\n42 up a\n' > script.txt
"$palvex" --scale 1 --keys script.txt --tick-ms 20 --frames 90 --trace window.jsonl >scripted.log 2>&1 ||
  fail "scripted window run exited with $?: $(cat scripted.log)"
"$palvex" --headless --keys script.txt --tick-ms 20 --frames 90 --trace headless.jsonl >>scripted.log 2>&1 ||
  fail "scripted headless run failed"
python3 - window.jsonl headless.jsonl <<'PY' || fail "scripted window and headless runs differ"
import json, sys
fields = ("frame", "tick", "inGame", "buttonHeld", "player", "opponents", "scores", "cameraYaw")
window, headless = ([json.loads(l) for l in open(p)] for p in sys.argv[1:3])
assert len(window) == len(headless) == 90, (len(window), len(headless))
for a, b in zip(window, headless):
    for f in fields:
        assert a.get(f) == b.get(f), "frame %d: %s differs" % (a["frame"], f)
assert window[-1]["player"]["direction"] != 4, "the script started the race"
print("e2e: scripted window run equals the headless run over %d frames" % len(window))
PY
kill "$holder_pid" 2>/dev/null || true
printf '3 jump w\n' > bad.txt
set +e
"$palvex" --scale 1 --keys bad.txt >bad.log 2>&1
bad=$?
set -e
[ "$bad" -eq 2 ] || fail "a malformed key script in a window exited with $bad, expected 2"
grep -q "key script line 1" bad.log || fail "the malformed line is not named: $(cat bad.log)"
# Neither a Wayland compositor nor an X server behind DISPLAY: one message that names both
# and says what to do, exit code 1, and never SDL's offscreen driver.
set +e
DISPLAY=:999 "$palvex" --scale 1 >nodisplay.log 2>&1
nodisplay=$?
DISPLAY=:999 WAYLAND_DISPLAY=wayland-none "$palvex" --scale 1 >nowayland.log 2>&1
nowayland=$?
set -e
[ "$nodisplay" -eq 1 ] || fail "a bad DISPLAY exited with $nodisplay, expected 1"
[ "$nowayland" -eq 1 ] || fail "a bad WAYLAND_DISPLAY and DISPLAY exited with $nowayland, expected 1"
grep -qx "palvex: cannot open a window (no Wayland compositor: WAYLAND_DISPLAY is not set; no X server accepts a connection at DISPLAY ':999'); use --headless for a run without a window" nodisplay.log ||
  fail "no message for a bad DISPLAY: $(cat nodisplay.log)"
grep -qx "palvex: cannot open a window (no Wayland compositor answers at WAYLAND_DISPLAY 'wayland-none'; no X server accepts a connection at DISPLAY ':999'); use --headless for a run without a window" nowayland.log ||
  fail "no message for a bad WAYLAND_DISPLAY: $(cat nowayland.log)"
[ -f "$XDG_CONFIG_HOME/palvex/palvex.ini" ] || fail "no settings file written on the first start"
# A scale larger than the screen: the largest that fits (2 on 1024 x 768), with a note.
"$palvex" --scale 8 --frames 3 --screenshot big.png >big.log 2>&1 || fail "--scale 8 failed: $(cat big.log)"
grep -q "palvex: scale 8 does not fit the usable screen area of 1024 x 768; the window takes scale 2" big.log ||
  fail "no note for --scale 8: $(cat big.log)"
size=$(python3 -c 'import struct,sys; print("%dx%d" % struct.unpack(">II", open(sys.argv[1],"rb").read()[16:24]))' big.png)
[ "$size" = "480x588" ] || fail "--scale 8 gave a picture of $size"
echo "e2e: PASS"
