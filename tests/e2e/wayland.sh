#!/usr/bin/env bash
# End to end on Wayland: the game as a native client of a headless sway (no X server, no
# DISPLAY), real key events through a virtual keyboard (wtype), the compositor's own
# pictures (grim). The keys start a race and turn the bike; the window carries the app_id
# of the desktop entry and the picture fills the window the compositor tiled; another
# client taking the focus pauses the race and its end resumes it; a second copy is refused
# and the first comes to the front; on a HiDPI output the picture is drawn at the output's
# pixels, also when the compositor resizes the window; F11 and the pause key work; the recorded race plays back alike headless; a
# killed game's lock is no obstacle; the title at rest draws nothing; a lost focus ends
# the game with --quit-on-focus-loss. (A scale changed while the window
# is open reaches SDL 2.26 only when the window enters an output: the output here has its
# scale from the start.)
# sway refuses to run as root: as root the script runs itself again as nobody. Without
# sway, grim or wtype, or where sway cannot start, it says so and skips (exit 77).
#   tests/e2e/wayland.sh PALVEX SWAPCOUNT.so
set -euo pipefail
palvex=$(readlink -f "$1")
swapcount=$(readlink -f "$2")
here=$(cd "$(dirname "$0")" && pwd)
skip() { echo "e2e wayland: SKIP: $*" >&2; exit 77; }
for tool in sway grim wtype swaymsg python3; do
  command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed (scripts/install-deps --dev)"
done

if [ "$(id -u)" -eq 0 ]; then
  command -v setpriv >/dev/null 2>&1 || skip "running as root and no setpriv to become an ordinary user"
  user=$(id -u nobody 2>/dev/null) && group=$(id -g nobody) || skip "running as root and no user nobody"
  work=$(mktemp -d)
  # The checkout may be where that user cannot go (under /root): the game, its data, the
  # swap counter and these scripts are copied to where it can.
  mkdir -p "$work/game" "$work/scripts"
  cp "$palvex" "$swapcount" "$work/game/"
  cp "$(dirname "$palvex")"/*.ase "$(dirname "$palvex")"/*.gif "$(dirname "$palvex")"/*.ogg "$work/game/"
  cp "$0" "$here/pictures.py" "$work/scripts/"
  chown -R "$user:$group" "$work"
  set +e
  setpriv --reuid="$user" --regid="$group" --clear-groups \
    env -i PATH="$PATH" PALVEX_E2E_WORK="$work" E2E_DEBUG="${E2E_DEBUG:-}" E2E_KEEP="${E2E_KEEP:-}" \
    bash "$work/scripts/$(basename "$0")" "$work/game/$(basename "$palvex")" "$work/game/$(basename "$swapcount")"
  code=$?
  rm -rf "$work"
  exit $code
fi

work=${PALVEX_E2E_WORK:-$(mktemp -d)}
cleanup() {
  for pid in ${game_pid:-} ${other_pid:-} ${keyboard_pid:-} ${sway_pid:-} ${xvfb_pid:-}; do kill -KILL "$pid" 2>/dev/null || true; done
  [ -z "${PALVEX_E2E_WORK:-}" ] && rm -rf "$work"
  return 0
}
trap cleanup EXIT
[ -n "${E2E_DEBUG:-}" ] && trap 'cat "$work"/*.log >&2; cleanup' EXIT
fail() { echo "e2e wayland: FAIL: $*" >&2; exit 1; }
trap 'echo "e2e wayland: FAIL: line $LINENO: $BASH_COMMAND" >&2' ERR

unset DISPLAY
export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/home/config"
export XDG_DATA_HOME="$work/home/data" XDG_STATE_HOME="$work/home/state" XDG_PICTURES_DIR="$work/pictures"
export SDL_AUDIODRIVER=dummy WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1
mkdir -p "$HOME" "$XDG_PICTURES_DIR" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
cd "$work"

cat > sway.conf <<'EOF'
output HEADLESS-1 resolution 1024x768 scale 2
output HEADLESS-1 bg #ff00ff solid_color
focus_on_window_activation focus
xwayland disable
default_border none
EOF
sway -c sway.conf >sway.log 2>&1 &
sway_pid=$!
socket="" SWAYSOCK=""
for _ in $(seq 100); do
  socket=$(cd "$XDG_RUNTIME_DIR" && ls wayland-? 2>/dev/null | head -n1 || true)
  SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock 2>/dev/null | head -n1 || true)
  [ -n "$socket" ] && [ -n "$SWAYSOCK" ] && break
  kill -0 "$sway_pid" 2>/dev/null || break
  sleep 0.1
done
[ -n "$socket" ] && [ -n "$SWAYSOCK" ] || skip "sway did not start: $(tail -n 3 sway.log)"
export WAYLAND_DISPLAY=$socket SWAYSOCK
swaymsg -t get_version >/dev/null 2>&1 || skip "sway does not answer: $(tail -n 3 sway.log)"
# A headless seat has a keyboard only while a virtual one exists: every wtype that came
# and went would take the focus with it. One waits for the whole test.
wtype -k Shift_L -s 3600000 &
keyboard_pid=$!
# Once a wtype is gone the seat has no keyboard that typed last, and a client that starts
# then is told there is no keymap; SDL 2.26 crashes on the next modifiers it is sent
# (its xkb state is null). A client started here gets the keymap of a keyboard that has
# just typed Shift and lives on for a few seconds.
keyboard_for_a_new_client() {
  wtype -k Shift_L -s 4000 &
  sleep 0.3
}

lines() { wc -l < trace.jsonl; }
frames_move() { local before; before=$(lines); sleep 0.4; [ "$(lines)" -gt "$before" ]; }
# The sway node of a client by pid, as JSON: its app_id, rectangle and focus.
node() {
  swaymsg -t get_tree | python3 -c '
import json, sys
pid = int(sys.argv[1])
def walk(n):
    if n.get("pid") == pid:
        return n
    for c in n.get("nodes", []) + n.get("floating_nodes", []):
        found = walk(c)
        if found:
            return found
found = walk(json.load(sys.stdin))
print(json.dumps(found) if found else "")' "$1"
}
field() { [ -n "$1" ] && python3 -c 'import json, sys; n = json.loads(sys.argv[1]); print(eval(sys.argv[2], {}, {"n": n}))' "$1" "$2" || true; }
wait_focus() {
  for _ in $(seq 50); do
    [ "$(field "$(node "$1")" 'n["focused"]')" = True ] && return 0
    sleep 0.1
  done
  return 1
}

# Into a race on the script, where the bikes wait for the first turn; the turns are real keys.
printf '1 down enter\n1 up enter\n2 down enter\n2 up enter\n' > race.txt
"$palvex" --scale 2 --keys race.txt --trace trace.jsonl >game.log 2>&1 &
game_pid=$!
for _ in $(seq 100); do
  [ -f trace.jsonl ] && [ "$(lines)" -ge 20 ] && break
  kill -0 "$game_pid" 2>/dev/null || fail "the game ended: $(cat game.log)"
  sleep 0.1
done
[ "$(lines)" -ge 20 ] || fail "the race did not start: $(cat game.log)"
game=$(node "$game_pid")
[ -n "$game" ] || fail "no window of the game in sway's tree: $(cat game.log)"
[ "$(field "$game" 'n["app_id"]')" = org.palvex.Palvex ] || fail "app_id $(field "$game" 'n.get("app_id")')"
[ "$(field "$game" 'n["name"]')" = Palvex ] || fail "title $(field "$game" 'n["name"]')"
[ "$(field "$game" 'n.get("shell")')" = xdg_shell ] || fail "not a Wayland client: $(field "$game" 'n.get("shell")')"
rect=$(field "$game" '"%dx%d" % (n["rect"]["width"], n["rect"]["height"])')
wait_focus "$game_pid" || fail "the game's window never had the focus"

taps_from=$(lines)
wtype -s 300 -k d -s 300 -k d -s 300 -k a
sleep 0.6
taps_to=$(lines)
grim -t ppm race.ppm
wtype -k F12
sleep 0.5

# F11: fullscreen and back, the race going on; P holds it and lets it go.
wtype -k F11
sleep 0.5
[ "$(field "$(node "$game_pid")" 'n["fullscreen_mode"]')" = 1 ] || fail "F11 did not make the window fullscreen"
frames_move || fail "the race stopped in fullscreen"
wtype -k F11
sleep 0.5
[ "$(field "$(node "$game_pid")" 'n["fullscreen_mode"]')" = 0 ] || fail "F11 did not leave fullscreen"
wtype -k p
sleep 0.3
frames_move && fail "frames went on after P"
wtype -k p
sleep 0.3
frames_move || fail "P did not resume the race"

# Another client takes the focus (another copy of the game, in a session of its own, on
# the same compositor): the race waits, and goes on when that client is gone.
mkdir -p other
chmod 700 other
keyboard_for_a_new_client
XDG_RUNTIME_DIR="$work/other" WAYLAND_DISPLAY="$work/run/$socket" "$palvex" --scale 1 >other.log 2>&1 &
other_pid=$!
for _ in $(seq 50); do [ -n "$(node "$other_pid")" ] && break; sleep 0.1; done
wait_focus "$other_pid" || fail "the other client did not take the focus: $(cat other.log)"
sleep 0.5
frames_move && fail "frames went on without the focus"
unfocused_at=$(lines)
# The compositor halved the game's window: the paused picture, redrawn to the new size.
grim -t ppm resized.ppm
resized=$(field "$(node "$game_pid")" '"%d,%d,%d,%d" % (n["rect"]["x"], n["rect"]["y"], n["rect"]["width"], n["rect"]["height"])')
kill -0 "$game_pid" || fail "the game ended when it lost the focus"
kill "$other_pid"; wait "$other_pid" 2>/dev/null || true; other_pid=""
wait_focus "$game_pid" || fail "the focus did not come back to the game"
resumed=""
for _ in $(seq 5); do frames_move && { resumed=1; break; }; done
[ -n "$resumed" ] || fail "the race did not go on with the focus back"


# A second copy, while another window has the focus: refused, and the first comes to the
# front (xdg-activation; the launcher's token, stale here, goes along).
keyboard_for_a_new_client
XDG_RUNTIME_DIR="$work/other" WAYLAND_DISPLAY="$work/run/$socket" "$palvex" --scale 1 >other.log 2>&1 &
other_pid=$!
wait_focus "$other_pid" || fail "the other client did not take the focus again"
second=0
XDG_ACTIVATION_TOKEN=stale-token "$palvex" --scale 1 >second.log 2>&1 || second=$?
[ "$second" -eq 1 ] || fail "the second copy exited with $second, expected 1: $(cat second.log)"
grep -qx "palvex: already running; its window was brought to the front" second.log ||
  fail "the second copy did not say why it ended: $(cat second.log)"
[ "$(wc -l < second.log)" -eq 1 ] || fail "the second copy said more than the player needs: $(cat second.log)"
wait_focus "$game_pid" || fail "the first copy did not come to the front"
kill "$other_pid"; wait "$other_pid" 2>/dev/null || true; other_pid=""

# Back to the menu (the recording ends) and out through its quit item.
wtype -k Escape
sleep 0.5
wtype -s 200 -k Down -s 200 -k Down -s 200 -k Down -s 200 -k Return
for _ in $(seq 50); do kill -0 "$game_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$game_pid" 2>/dev/null && fail "the game did not quit from the menu"
wait "$game_pid" || fail "the game exited with $?: $(cat game.log)"
game_pid=""

# With an X server there too, Wayland wins; SDL_VIDEODRIVER still chooses.
if command -v Xvfb >/dev/null 2>&1; then
  exec 3<> "$work/displayfd"
  Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp >xvfb.log 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do x11=$(head -n1 "$work/displayfd" 2>/dev/null || true); [ -n "$x11" ] && break; sleep 0.1; done
  [ -n "$x11" ] || fail "Xvfb did not start: $(cat xvfb.log)"
  keyboard_for_a_new_client
  DISPLAY=":$x11" "$palvex" --scale 1 >both.log 2>&1 &
  game_pid=$!
  for _ in $(seq 50); do [ -n "$(node "$game_pid")" ] && break; sleep 0.1; done
  [ -n "$(node "$game_pid")" ] || fail "with both, the game is not a client of the compositor: $(cat both.log)"
  # Killed: the lock it held is no obstacle to the next start.
  kill -KILL "$game_pid"; wait "$game_pid" 2>/dev/null || true; game_pid=""
  DISPLAY=":$x11" SDL_VIDEODRIVER=x11 "$palvex" --scale 1 --frames 30 --screenshot x11.png >x11.log 2>&1 ||
    fail "SDL_VIDEODRIVER=x11 did not run on the X server: $(cat x11.log)"
  [ -s x11.png ] || fail "no picture from the X11 run"
  kill "$xvfb_pid"; xvfb_pid=""
fi

# The title at rest draws nothing (swapcount.so counts the swaps); with
# --quit-on-focus-loss another client taking the focus ends the game, status 0.
swaps() { od -An -t u8 -N8 swaps 2>/dev/null | tr -d ' ' || echo 0; }
keyboard_for_a_new_client
SWAPCOUNT_FILE="$work/swaps" LD_PRELOAD="$swapcount" "$palvex" --quit-on-focus-loss >quit.log 2>&1 &
game_pid=$!
wait_focus "$game_pid" || fail "the game's window never had the focus: $(cat quit.log)"
rest=""
for _ in $(seq 20); do
  before=$(swaps); sleep 0.5; after=$(swaps)
  [ -n "$before" ] && [ "$before" -gt 0 ] && [ "$before" = "$after" ] && { rest=$after; break; }
done
[ -n "$rest" ] || fail "the title screen renders frames for ever ($(swaps) so far)"
sleep 1
[ "$(swaps)" = "$rest" ] || fail "the title at rest drew $(( $(swaps) - rest )) frames"
keyboard_for_a_new_client
XDG_RUNTIME_DIR="$work/other" WAYLAND_DISPLAY="$work/run/$socket" "$palvex" --scale 1 >other.log 2>&1 &
other_pid=$!
for _ in $(seq 50); do kill -0 "$game_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$game_pid" 2>/dev/null && fail "the game did not end when it lost the focus"
quit=0
wait "$game_pid" || quit=$?
game_pid=""
[ "$quit" -eq 0 ] || fail "exit status $quit after losing the focus: $(cat quit.log)"
kill "$other_pid"; wait "$other_pid" 2>/dev/null || true; other_pid=""

shots=(pictures/palvex-*.png)
[ -f "${shots[0]}" ] || fail "F12 wrote no screenshot: $(cat game.log)"
replays=(home/data/palvex/replays/palvex-*.pvxr)
[ "${#replays[@]}" -eq 1 ] && [ -f "${replays[0]}" ] || fail "expected one recorded race, found: ${replays[*]}"
"$palvex" --headless --replay "${replays[0]}" --trace played.jsonl >play.log 2>&1 || fail "playback failed: $(cat play.log)"

# E2E_KEEP=DIR: the pictures stay there for a look.
[ -n "${E2E_KEEP:-}" ] && cp race.ppm resized.ppm trace.jsonl "${shots[0]}" "$E2E_KEEP"/ 2>/dev/null
PYTHONPATH="$here" python3 - trace.jsonl played.jsonl race.ppm "${shots[0]}" "$rect" resized.ppm "$resized" \
  "$taps_from" "$taps_to" "$unfocused_at" <<'PY' || fail "check of the trace and the pictures"
import json, sys
from pictures import read_png

def read_ppm(path):
    data = open(path, "rb").read()
    magic, width, height, depth, rest = data.split(maxsplit=4)
    assert magic == b"P6" and depth == b"255", path
    width, height = int(width), int(height)
    return width, height, lambda x, y: tuple(rest[3 * (y * width + x):3 * (y * width + x) + 3])

frames = [json.loads(l) for l in open(sys.argv[1])]
played = [json.loads(l) for l in open(sys.argv[2])]
rect = sys.argv[5]
resized_picture, resized = sys.argv[6], [2 * int(v) for v in sys.argv[7].split(",")]
taps_from, taps_to, unfocused_at = map(int, sys.argv[8:11])

# d, d, a: each a press and a release the game saw, in frames of their own; the first
# starts the race, the second turns the bike right. (The bike may crash into a wall after
# a turn; a crashed bike turns no more.)
taps = frames[taps_from - 1:taps_to]
releases = [("d" if f["buttonReleased"][3] else "a") for f in taps if f["buttonReleased"][3] or f["buttonReleased"][2]]
assert releases == ["d", "d", "a"], "releases after d, d, a: %s" % releases
presses = [i for i, f in enumerate(taps) if f["buttonHeld"][3] and not taps[i - 1]["buttonHeld"][3]]
assert taps[presses[0] - 1]["player"]["direction"] == 4 and taps[presses[0]]["player"]["direction"] != 4, \
    "the first d did not start the race"
before, at = taps[presses[1] - 1], taps[presses[1]]
assert before["playerAlive"] == 1, "the bike crashed right after the start"
turn = (at["player"]["direction"] - before["player"]["direction"]) % 4
assert turn == 1, "the second d turned the bike from %d to %d" % (before["player"]["direction"], at["player"]["direction"])
dirs = [f["player"]["direction"] for f in taps]
turns = [(a, b) for a, b in zip(dirs, dirs[1:]) if a != b]

# The pause: a gap in the tick count, then frames of the usual length.
before, after = frames[unfocused_at - 1], frames[unfocused_at]
assert after["tick"] - before["tick"] >= 400, "no pause: %d ms" % (after["tick"] - before["tick"])

# The compositor's picture of a HiDPI output (scale 2: 1024 x 768 pixels, 512 x 384
# points): the window tiled over the whole output and the race drawn over all of it in the
# output's pixels (the race fills the drawable at its own aspect); not a corner, not a
# quarter of the pixels magnified, no bars.
width, height, pixel = read_ppm(sys.argv[3])
assert rect == "%dx%d" % (width // 2, height // 2), "window %s on an output of %dx%d pixels" % (rect, width, height)
def lit(p):
    return sum(p) > 60
sky = pixel(width // 2, 5)
assert all(abs(c - 128) <= 8 for c in sky), "the top of the picture is %s, not the race's grey sky" % (sky,)
columns = [x for x in range(width) if lit(pixel(x, 5))]
assert columns and columns[0] <= 2 and columns[-1] >= width - 3, \
    "the sky spans columns %s..%s of %d: bars beside the race" % (columns[:1], columns[-1:], width)
floor = [x for x in range(width) if lit(pixel(x, height - 3))]
assert len(floor) >= 8, "only %d lit pixels in the bottom row: the floor does not reach it" % len(floor)
colours = len({pixel(x, y) for y in range(0, height, 7) for x in range(0, width, 7)})
assert colours >= 8, "only %d colours: no arena" % colours

# Resized to half the output's width while paused: the paused race picture fills the new
# window (in pixels), as the race does, with its PAUSED box.
rw, rh, rpixel = read_ppm(resized_picture)
x0, y0, ww, wh = resized
assert ww < width, "the window was not resized: %s" % resized
lit_rows = [y for y in range(y0, y0 + wh) if any(lit(rpixel(x, y)) for x in range(x0, x0 + ww, 4))]
lit_columns = [x for x in range(x0, x0 + ww) if any(lit(rpixel(x, y)) for y in range(y0, y0 + wh, 4))]
span = lambda lit: lit[-1] - lit[0] + 1 if lit else 0
assert span(lit_rows) >= wh - 4, "resized picture %d of %d rows" % (span(lit_rows), wh)
assert span(lit_columns) >= ww - 4, "resized picture %d of %d columns" % (span(lit_columns), ww)
yellow = sum(1 for x in range(x0, x0 + ww) for y in range(y0 + wh // 2 - 30, y0 + wh // 2 + 30, 3)
             if rpixel(x, y)[0] > 200 and rpixel(x, y)[1] > 180 and rpixel(x, y)[2] < 80)
assert yellow > 50, "no PAUSED box in the resized picture (%d yellow pixels)" % yellow

# The game's own screenshot of the race (the whole drawable) has the output's pixels, not
# the window's points.
shot = read_png(sys.argv[4])
assert abs(shot.height - height) <= 2 and abs(shot.width - width) <= 2, \
    "screenshot %dx%d of a drawable of %dx%d pixels" % (shot.width, shot.height, width, height)
# Drawn at that resolution, not magnified: neighbouring pixels differ along edges as often
# as they would in a picture of its own size (a 2x magnification pairs every row).
pairs = sum(1 for y in range(0, shot.height - 1, 2) for x in range(0, shot.width, 3)
            if shot.pixel(x, y) != shot.pixel(x, y + 1))
assert pairs > 50, "rows come in equal pairs: a magnified picture (%d differing)" % pairs

# The race recorded on Wayland plays back alike headless.
setup = next(i for i, f in enumerate(frames) if f["inGame"] == 1)
race = [f for f in frames[setup + 1:] if f["inGame"] == 1]
fields = ("buttonHeld", "scores", "playerAlive", "raceStarted", "frameTime", "frameStep", "player", "opponents",
          "cameraYaw")
assert len(played) == len(race), "%d frames played back, %d in the game" % (len(played), len(race))
for i, (a, b) in enumerate(zip(race, played)):
    for f in fields:
        assert a.get(f) == b.get(f), "race frame %d: %s differs" % (i + 1, f)
print("e2e wayland: window %s points on %dx%d pixels, turns %s, pause of %d ms, picture %d colours, "
      "screenshot %dx%d, %d race frames played back alike" %
      (rect, width, height, turns, after["tick"] - before["tick"], colours, shot.width, shot.height, len(race)))
PY
echo "e2e wayland: PASS"
