#!/usr/bin/env bash
# What the game costs on a desktop: CPU time (user + system, from /proc/PID/stat) and frames
# per second, in a window at scale 3 under Xvfb with a window manager (openbox):
#   - the menu left alone, as a player runs the game (no key script, no trace), on the
#     title screen and on the main menu;
#   - the main menu with the pointer moved every half second;
#   - the title screen with every frame traced (a trace counts frames, so the menu renders
#     each one, at rest or not);
#   - a race, and a race paused with P.
# Prints a Markdown table row per case.
#   [PALVEX_OPTIONS_BIN=FILE] bench/desktop-cpu.sh BINARY [SECONDS] [-- extra game options]
# BINARY is copied with data/ into a scratch folder, so neither the build tree nor the
# user's settings are touched. Frames are counted outside the game: a small library
# (tests/e2e/swapcount.cpp, built here with c++) wraps eglSwapBuffers through LD_PRELOAD.
set -euo pipefail
palvex=$(readlink -f "$1")
seconds=${2:-10}
shift $(( $# >= 2 ? 2 : 1 ))
[ "${1:-}" = "--" ] && shift
extra=("$@")
src=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
fail() { echo "desktop-cpu: $*" >&2; exit 1; }
. "$src/tests/e2e/common.sh"
cleanup() {
  [ -n "${keys_pid:-}" ] && kill "$keys_pid" 2>/dev/null || true
  [ -n "${game_pid:-}" ] && kill -KILL "$game_pid" 2>/dev/null || true
  desktop_stop
  rm -rf "$work"
}
trap cleanup EXIT

c++ -shared -fPIC -O2 -o "$work/swapcount.so" "$src/tests/e2e/swapcount.cpp" -ldl || fail "cannot build swapcount.so"
desktop_start --wm 1280x1024
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_STATE_HOME="$work/home/state"
export XDG_DATA_HOME="$work/home/data"
mkdir -p "$HOME"

mkdir -p "$work/game"
cp "$palvex" "$work/game/palvex"
cp "$src"/data/* "$work/game/"
# Without options.bin a window starts at high detail with one opponent; PALVEX_OPTIONS_BIN
# names another options file for the game to start with (three opponents, say).
[ -n "${PALVEX_OPTIONS_BIN:-}" ] && cp "$PALVEX_OPTIONS_BIN" "$work/game/options.bin"
ticks_per_second=$(getconf CLK_TCK)

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
swaps() { od -An -t u8 -N8 "$work/swaps" | tr -d ' '; }

# measure LABEL KEY-SCRIPT|- TRACE(yes|no) [COMMAND once the game runs] [COMMAND during]
# A key script of "-" runs without one.
measure() {
  local label=$1 keys=$2 traced=$3 then=${4:-} during=${5:-}
  local args=(--scale 3)
  if [ "$keys" != "-" ]; then
    printf '%s' "$keys" > "$work/game/keys.txt"
    args+=(--keys keys.txt)
  fi
  rm -f "$work/game/trace.jsonl" "$work/swaps"
  [ "$traced" = yes ] && args+=(--trace trace.jsonl)
  (cd "$work/game" && SWAPCOUNT_FILE="$work/swaps" LD_PRELOAD="$work/swapcount.so" exec ./palvex "${args[@]}" "${extra[@]}") \
    >"$work/game.log" 2>&1 &
  game_pid=$!
  # Start-up (SDL can wait for ever for the window manager to map its window: give up then).
  for _ in $(seq 150); do
    [ -s "$work/swaps" ] && [ "$(swaps)" -gt 0 ] && break
    sleep 0.1
  done
  [ -s "$work/swaps" ] && [ "$(swaps)" -gt 0 ] || fail "no frame within 15 s: $(cat "$work/game.log")"
  sleep 2 # the script's keys
  kill -0 "$game_pid" 2>/dev/null || fail "the game ended: $(cat "$work/game.log")"
  if [ -n "$then" ]; then
    eval "$then"
    sleep 1
  fi
  if [ -n "$during" ]; then
    (while :; do eval "$during"; sleep 0.5; done) >/dev/null 2>&1 &
    keys_pid=$!
  fi
  local c0 f0 c1 f1
  c0=$(cpu_ticks "$game_pid"); f0=$(swaps)
  sleep "$seconds"
  c1=$(cpu_ticks "$game_pid"); f1=$(swaps)
  if [ -n "${keys_pid:-}" ]; then kill "$keys_pid"; wait "$keys_pid" 2>/dev/null || true; keys_pid=""; fi
  local mode=menu
  if [ "$traced" = yes ]; then
    mode=$(tail -n1 "$work/game/trace.jsonl" | python3 -c 'import json,sys; print("race" if json.load(sys.stdin)["inGame"] else "menu")')
  fi
  kill "$game_pid"
  for _ in $(seq 50); do kill -0 "$game_pid" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$game_pid" 2>/dev/null || true
  wait "$game_pid" 2>/dev/null || true
  game_pid=""
  awk -v l="$label" -v c=$((c1 - c0)) -v f=$((f1 - f0)) -v s="$seconds" -v t="$ticks_per_second" -v g="$mode" \
    'BEGIN { printf "| %s | %.1f %% | %.1f | %s |\n", l, 100 * c / t / s, f / s, g }'
}

game_key() { xdotool search --name "^Palvex\$" windowactivate --sync key "$1"; }

echo "| case | CPU (one core = 100 %) | frames per second | mode at the end |"
echo "|---|---|---|---|"
measure "idle menu (title screen)" - no
measure "idle main menu" - no 'game_key Down'
measure "main menu, Down every 0.5 s" - no 'game_key Down' 'xdotool key Down'
measure "idle title screen, every frame traced" "" yes
# Title, main menu's start, then a turn: the race runs (the player drives until it crashes,
# the opponents race on, the race restarts).
race=$'1 down enter\n1 up enter\n2 down enter\n2 up enter\n5 down d\n6 up d\n'
measure "race" "$race" yes
# The same race after P (a game without a pause key races on).
measure "race after P" "$race" yes 'game_key p'
