#!/usr/bin/env bash
# What the game costs on a desktop: CPU time (user + system, from /proc/PID/stat) and frames
# per second of the idle menu, of a race and of a race paused with P, in a window at scale
# 3 under Xvfb with a window manager (openbox). Prints a Markdown table row per case.
#   bench/desktop-cpu.sh BINARY [SECONDS] [-- extra game options]
# BINARY is copied with data/ into a scratch folder, so neither the build tree nor the
# user's settings are touched. Frames are counted from the trace (--trace), which every
# case writes alike.
set -euo pipefail
palvex=$(readlink -f "$1")
seconds=${2:-10}
shift $(( $# >= 2 ? 2 : 1 ))
[ "${1:-}" = "--" ] && shift
extra=("$@")
src=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
cleanup() {
  [ -n "${game_pid:-}" ] && kill -KILL "$game_pid" 2>/dev/null || true
  [ -n "${wm_pid:-}" ] && kill "$wm_pid" 2>/dev/null || true
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

exec 3<> "$work/displayfd"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do
  display=$(head -n1 "$work/displayfd" 2>/dev/null || true)
  [ -n "$display" ] && break
  sleep 0.1
done
[ -n "${display:-}" ] || { echo "desktop-cpu: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$display" XDG_RUNTIME_DIR="$work" SDL_AUDIODRIVER=dummy
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_STATE_HOME="$work/home/state"
mkdir -p "$HOME"
openbox >"$work/wm.log" 2>&1 &
wm_pid=$!
for _ in $(seq 200); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break
  sleep 0.1
done
# openbox names itself before it is ready: a window mapped right after that was seen to stay
# unmapped now and then, with SDL waiting for ever for it to appear.
sleep 1

mkdir -p "$work/game"
cp "$palvex" "$work/game/palvex"
cp "$src"/data/* "$work/game/"
ticks_per_second=$(getconf CLK_TCK)

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

measure() { # label key-script [command once the game runs]
  local label=$1 keys=$2 then=${3:-}
  printf '%s' "$keys" > "$work/game/keys.txt"
  rm -f "$work/game/trace.jsonl"
  (cd "$work/game" && exec ./palvex --scale 3 --keys keys.txt --trace trace.jsonl "${extra[@]}") \
    >"$work/game.log" 2>&1 &
  game_pid=$!
  # Start-up (SDL can wait for ever for the window manager to map its window: give up then).
  for _ in $(seq 150); do
    [ -s "$work/game/trace.jsonl" ] && break
    sleep 0.1
  done
  [ -s "$work/game/trace.jsonl" ] || { echo "desktop-cpu: no frame within 15 s: $(cat "$work/game.log")" >&2; exit 1; }
  sleep 2 # the script's keys
  kill -0 "$game_pid" 2>/dev/null || { echo "desktop-cpu: the game ended: $(cat "$work/game.log")" >&2; exit 1; }
  if [ -n "$then" ]; then
    eval "$then"
    sleep 1
  fi
  local c0 f0 c1 f1
  c0=$(cpu_ticks "$game_pid"); f0=$(wc -l < "$work/game/trace.jsonl")
  sleep "$seconds"
  c1=$(cpu_ticks "$game_pid"); f1=$(wc -l < "$work/game/trace.jsonl")
  kill "$game_pid"
  for _ in $(seq 50); do kill -0 "$game_pid" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$game_pid" 2>/dev/null || true
  wait "$game_pid" 2>/dev/null || true
  game_pid=""
  local in_game
  in_game=$(tail -n1 "$work/game/trace.jsonl" | python3 -c 'import json,sys; print(json.load(sys.stdin)["inGame"])')
  awk -v l="$label" -v c=$((c1 - c0)) -v f=$((f1 - f0)) -v s="$seconds" -v t="$ticks_per_second" -v g="$in_game" \
    'BEGIN { printf "| %s | %.0f %% | %.0f | %s |\n", l, 100 * c / t / s, f / s, g ? "race" : "menu" }'
}

echo "| case | CPU (one core = 100 %) | frames per second | mode at the end |"
echo "|---|---|---|---|"
# The title screen, left alone.
measure "idle menu (title screen)" ""
# Title, main menu's start, then a turn: the race runs (the player drives until it crashes,
# the opponents race on, the race restarts).
race=$'1 down enter\n1 up enter\n2 down enter\n2 up enter\n5 down d\n6 up d\n'
measure "race" "$race"
# The same race after P (a game without a pause key races on).
measure "race after P" "$race" 'xdotool search --name "^Palvex\$" windowactivate --sync key p'
