#!/usr/bin/env bash
# End to end: the menu at rest in a window under Xvfb with a window manager (openbox).
# Left alone it renders no frames (swapcount.so, loaded into the game, counts the swaps),
# yet the window shows the menu as the keys left it; a resized window gets the menu drawn
# afresh at its new size; F12 saves the picture a headless run of the same keys draws; Left
# shows the players screen, its words included, as the headless run draws it.
#   tests/e2e/menu.sh PALVEX SWAPCOUNT.so
set -euo pipefail
palvex=$(readlink -f "$1")
swapcount=$(readlink -f "$2")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
fail() { echo "e2e menu: FAIL: $*" >&2; exit 1; }
. "$here/common.sh"
cleanup() {
  [ -n "${game_pid:-}" ] && kill -KILL "$game_pid" 2>/dev/null || true
  desktop_stop
  rm -rf "$work"
}
trap cleanup EXIT
[ -n "${E2E_DEBUG:-}" ] && trap 'cat "$work/game.log"; cleanup' EXIT
trap 'echo "e2e menu: FAIL: line $LINENO: $BASH_COMMAND" >&2' ERR

desktop_start --wm
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_DATA_HOME="$work/home/data"
export XDG_STATE_HOME="$work/home/state" XDG_PICTURES_DIR="$work/pictures"
mkdir -p "$HOME" "$XDG_PICTURES_DIR"
cd "$work"

swaps() { od -An -t u8 -N8 swaps 2>/dev/null | tr -d ' ' || echo 0; }
# Until no frame comes for half a second (10 s at most).
at_rest() {
  local before after
  for _ in $(seq 20); do
    before=$(swaps); sleep 0.5; after=$(swaps)
    [ -n "$before" ] && [ "$before" = "$after" ] && return 0
  done
  return 1
}
capture() { xwd -silent -id "$window" -out "$1" || fail "xwd could not capture the window"; }

SWAPCOUNT_FILE="$work/swaps" LD_PRELOAD="$swapcount" "$palvex" --scale 1 >game.log 2>&1 &
game_pid=$!
window=$(game_window)
activate "$window"
for _ in $(seq 100); do [ "$(swaps)" -gt 0 ] 2>/dev/null && break; sleep 0.1; done
at_rest || fail "the title screen renders frames for ever ($(swaps) so far)"
title_frames=$(swaps)
capture title.xwd

# Down leaves the title; its release, and a second Down, move the pointer to "credits".
xdotool key Down
sleep 0.3
xdotool key Down
at_rest || fail "the main menu renders frames for ever"
menu_frames=$(swaps)
[ "$menu_frames" -gt "$title_frames" ] || fail "the keys drew no frame"
sleep 1
[ "$(swaps)" -eq "$menu_frames" ] || fail "the idle main menu rendered frames"
capture menu.xwd
xdotool key F12
for _ in $(seq 50); do compgen -G "pictures/palvex-*.png" >/dev/null && break; sleep 0.1; done
shots=(pictures/palvex-*.png)
[ -f "${shots[0]}" ] || fail "F12 wrote no screenshot at rest: $(cat game.log)"
at_rest || fail "the menu renders frames for ever after F12"

# Left: the players screen, at rest with its words; Escape and two Downs: back to "credits".
xdotool key Left
at_rest || fail "the players screen renders frames for ever"
capture players.xwd
for key in Escape Down Down; do xdotool key "$key"; sleep 0.3; done
at_rest || fail "the main menu renders frames for ever after the players screen"
shot_frames=$(swaps)

# A window twice the size: the menu drawn again, at scale 2.
xdotool windowsize "$window" 480 588
sleep 0.5
at_rest || fail "the resized menu renders frames for ever"
[ "$(swaps)" -gt "$shot_frames" ] || fail "the resized window got no frame"
capture resized.xwd
kill -0 "$game_pid" || fail "the game ended: $(cat game.log)"
kill "$game_pid"; wait "$game_pid" 2>/dev/null || true; game_pid=""

# The same keys on a script, headless.
printf '1 down down\n2 up down\n4 down down\n5 up down\n' > keys.txt
"$palvex" --headless --keys keys.txt --frames 8 --screenshot headless.png >headless.log 2>&1 ||
  fail "the headless run failed: $(cat headless.log)"
"$palvex" --headless --frames 2 --screenshot title.png >>headless.log 2>&1 || fail "the headless title failed"
printf '7 down left\n8 up left\n' >> keys.txt
"$palvex" --headless --keys keys.txt --frames 9 --screenshot players.png >>headless.log 2>&1 ||
  fail "the headless players screen failed"

[ -n "${E2E_KEEP:-}" ] && cp -- *.xwd *.png "${shots[0]}" "$E2E_KEEP"/
PYTHONPATH="$here" python3 - "${shots[0]}" <<'PY' || fail "picture check"
import sys
from pictures import read_png, read_xwd
shot, menu, title = read_png(sys.argv[1]), read_png("headless.png"), read_png("title.png")
assert menu.differing(title) > 1000, "the headless keys did not leave the title"
assert shot.differing(menu) == 0, "F12 at rest: %d pixels differ from the headless menu" % shot.differing(menu)
window_menu, window_title = read_xwd("menu.xwd"), read_xwd("title.xwd")
assert window_title.differing(title) == 0, "the window at rest shows %d pixels off the title" % window_title.differing(title)
assert window_menu.differing(menu) == 0, "the window at rest shows %d pixels off the menu" % window_menu.differing(menu)
window_players, players = read_xwd("players.xwd"), read_png("players.png")
assert players.differing(menu) > 1000, "the headless Left did not open the players screen"
assert window_players.differing(players) == 0, "the window at rest shows %d pixels off the players screen" % (
    window_players.differing(players))
resized, doubled = read_xwd("resized.xwd"), menu.scaled(2)
# Drawn at scale 2, an edge may fall a pixel away from where doubling puts it.
off = resized.differing(doubled, tolerance=16, reach=1)
assert off < resized.width * resized.height // 1000, "the resized window: %d of %d pixels off the menu at scale 2" % (
    off, resized.width * resized.height)
print("e2e menu: window and F12 equal the headless menu; resized window %d pixels off a doubled menu" % off)
PY
echo "e2e menu: PASS"
