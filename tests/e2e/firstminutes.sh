#!/usr/bin/env bash
# End to end: what a new player meets in the first minutes, in a real window under Xvfb with
# a window manager (openbox) and real keys (xdotool). Escape from a running race shows the
# menu at once, not the race's last picture; a menu that loses the focus shows no "PAUSED"
# box; a focus lost half a second after the start is seen (the race waits, or with
# --quit-on-focus-loss the game ends); the fullscreen race on a 1920 x 1080 screen fills it
# to the edges while the menu, and a race with view = design, stay letterboxed.
#   tests/e2e/firstminutes.sh PALVEX
set -euo pipefail
palvex=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
fail() { echo "e2e first minutes: FAIL: $*" >&2; exit 1; }
. "$here/common.sh"
e2e_setup "e2e first minutes"
capture() { xwd -silent -id "$window" -out "$1" || fail "xwd could not capture the window"; }
lines() { wc -l < "$1"; }
in_race() { [ -s "$1" ] && [ "$(tail -n1 "$1" | python3 -c 'import json, sys; print(json.load(sys.stdin)["inGame"])')" = 1 ]; }
# race_runs TRACE: until the race has run 30 frames (10 s at most).
race_runs() {
  local first=""
  for _ in $(seq 200); do
    if in_race "$1"; then
      [ -z "$first" ] && first=$(lines "$1")
      [ "$(lines "$1")" -ge $(( first + 30 )) ] && return 0
    fi
    sleep 0.05
  done
  fail "no race in $1: $(cat "${1%.jsonl}.log")"
}
stop_game() { kill "$game_pid" 2>/dev/null || true; wait "$game_pid" 2>/dev/null || true; game_pid=""; }

# What the window must show: the main menu with the pointer on "start", and the title.
printf '1 down enter\n1 up enter\n' > menu.txt
"$palvex" --headless --keys menu.txt --frames 3 --screenshot menu.png >headless.log 2>&1 ||
  fail "the headless menu failed: $(cat headless.log)"

desktop_start --wm

# Into a race with real keys, the bike started; Escape; a moment later the window must show
# the menu. The race's last picture used to stay until the next key. No trace: a run that
# counts its frames never lets the menu rest.
"$palvex" --scale 1 >race.log 2>&1 &
game_pid=$!
window=$(game_window)
activate "$window"
into_race
sleep 0.5
xdotool key d
sleep 1
capture race.xwd
xdotool key Escape
sleep 0.2
capture left.xwd
sleep 1
capture later.xwd

# The menu loses the focus to another window: no "PAUSED" over it.
xmessage -geometry 200x60+600+0 "another window" &
other_pid=$!
sleep 1
capture unfocused.xwd
kill "$other_pid"; other_pid=""
stop_game

PYTHONPATH="$here" python3 - <<'PY' || fail "picture check"
from pictures import read_png, read_xwd
menu = read_png("menu.png")
race, left, later, unfocused = (read_xwd(n + ".xwd") for n in ("race", "left", "later", "unfocused"))
assert race.differing(menu) > 10000, "the race did not show"
for name, shot in (("0.2 s after Escape", left), ("1.2 s after Escape", later), ("without the focus", unfocused)):
    off = shot.differing(menu)
    assert off == 0, "%s the window shows %d pixels off the menu" % (name, off)
print("e2e first minutes: Escape shows the menu within 0.2 s; no PAUSED box over a menu without the focus")
PY

# A focus lost in the grace the window manager gets at the start (1 s after the window
# appeared): --quit-on-focus-loss ends the game when it is lost 0.5 s after, and a race (on a
# key script) waits for it, lost as soon as the race runs (a loss in the menu does nothing).
printf '1 down enter\n1 up enter\n2 down enter\n2 up enter\n4 down d\n5 up d\n' > start.txt
for mode in pause quit; do
  rm -f focus.jsonl
  extra=()
  [ "$mode" = quit ] && extra=(--quit-on-focus-loss)
  "$palvex" --scale 1 --keys start.txt --trace focus.jsonl "${extra[@]}" >focus.log 2>&1 &
  game_pid=$!
  window=$(game_window)
  activate "$window"
  if [ "$mode" = quit ]; then
    sleep 0.5
  else
    for _ in $(seq 100); do
      in_race focus.jsonl && break
      sleep 0.05
    done
  fi
  xmessage -geometry 200x60+600+0 "another window" &
  other_pid=$!
  sleep 2
  if [ "$mode" = quit ]; then
    kill -0 "$game_pid" 2>/dev/null && fail "--quit-on-focus-loss: the game runs on without the focus"
    wait "$game_pid" || fail "the game ended with a failure: $(cat focus.log)"
    game_pid=""
  else
    before=$(lines focus.jsonl)
    sleep 1
    [ "$(lines focus.jsonl)" -eq "$before" ] || fail "the race runs on without the focus"
    in_race focus.jsonl || fail "the race never started"
    stop_game
  fi
  kill "$other_pid"; other_pid=""
done
echo "e2e first minutes: a focus lost 0.5 s after the start pauses the race, or ends the game"
desktop_stop
# The next server writes its own display number; the old one must not be read again.
rm -f "$work/displayfd"

# Fullscreen on a 16:9 screen: the menu letterboxed, the race to the edges.
desktop_start --wm 1920x1080
"$palvex" --fullscreen --keys start.txt --trace full.jsonl >full.log 2>&1 &
game_pid=$!
window=$(game_window)
activate "$window"
race_runs full.jsonl
xwd -silent -root -out race-full.xwd
xdotool key Escape
sleep 0.5
xwd -silent -root -out menu-full.xwd
stop_game
# view = design keeps the handheld's letterboxed race.
mkdir -p design/palvex
printf '[window]\nview = design\n' > design/palvex/palvex.ini
XDG_CONFIG_HOME="$work/design" "$palvex" --fullscreen --keys start.txt --trace design.jsonl >design.log 2>&1 &
game_pid=$!
window=$(game_window)
activate "$window"
race_runs design.jsonl
xwd -silent -root -out race-design.xwd
stop_game
PYTHONPATH="$here" python3 - <<'PY' || fail "fullscreen check"
from pictures import read_xwd
race, menu, design = read_xwd("race-full.xwd"), read_xwd("menu-full.xwd"), read_xwd("race-design.xwd")
assert (race.width, race.height) == (1920, 1080), (race.width, race.height)

def black_share(shot, columns):
    black = total = 0
    for y in range(0, shot.height, 4):
        for x in columns:
            total += 1
            black += shot.pixel(x, y) == (0, 0, 0)
    return black / total

outer = list(range(0, 12)) + list(range(1908, 1920))
assert black_share(race, outer) < 0.02, "the race leaves bars: %.0f%% of the outer columns black" % (100 * black_share(race, outer))
assert black_share(menu, outer) == 1.0, "the menu is not letterboxed"
assert black_share(design, outer) == 1.0, "view = design: the race is not letterboxed"
inner = list(range(600, 612)) + list(range(1308, 1320))  # inside the 882 pixels of the letterboxed race
assert black_share(design, inner) < 0.2, "view = design: no race inside the letterbox (%.0f%% black)" % (
    100 * black_share(design, inner))
print("e2e first minutes: the fullscreen race fills 1920 x 1080; the menu, and the race with view = design, "
      "stay letterboxed")
PY
echo "e2e first minutes: PASS"
