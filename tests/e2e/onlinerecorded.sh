#!/usr/bin/env bash
# End to end: an online race between two windows, neither given --record, is saved in each
# machine's replays folder as a game of one machine in a window is: the game's own name,
# the folder pruned to `keep` with the new game kept. Both files verify and are the same
# bytes. The host starts once the other machine is in and ends after 150 frames; then a
# game of one machine in the joining window is recorded beside the online race.
#   tests/e2e/onlinerecorded.sh PALVEX
set -euo pipefail
palvex=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
fail() { echo "e2e online recorded: FAIL: $*" >&2; [ -n "${E2E_DEBUG:-}" ] && cat "$work"/*.log >&2; exit 1; }
. "$here/common.sh"
e2e_setup "e2e online recorded"
trap 'kill -KILL ${host_pid:-} ${join_pid:-} 2>/dev/null || true; e2e_cleanup' EXIT

desktop_start
# Two machines: each its own runtime folder (one copy per desktop session) and its own
# replays folder.
for side in host join; do
  mkdir -p "$work/$side/run" "$work/$side/config/palvex" "$work/$side/data/palvex/replays"
done
# The host keeps two recordings: of its two older ones the oldest goes, the new race stays.
printf '[replays]\nkeep = 2\n' >"$work/host/config/palvex/palvex.ini"
old="$work/host/data/palvex/replays"
printf 'older' >"$old/palvex-20200101-000000.pvxr"
printf 'old' >"$old/palvex-20200102-000000.pvxr"
touch -d '2020-01-01 00:00' "$old/palvex-20200101-000000.pvxr"
touch -d '2020-01-02 00:00' "$old/palvex-20200102-000000.pvxr"

as() { # SIDE COMMAND...: the command as that machine, in place of the shell that runs it
  local side=$1
  shift
  XDG_RUNTIME_DIR="$work/$side/run" XDG_CONFIG_HOME="$work/$side/config" XDG_DATA_HOME="$work/$side/data" exec "$@"
}
as host "$palvex" --host 0 --players 2 --frames 150 --scale 1 --trace host.jsonl 2>host.log &
host_pid=$!
port=$(number_in host.log "hosting on port")
as join "$palvex" --join "127.0.0.1:$port" --scale 1 --trace join.jsonl 2>join.log &
join_pid=$!

# The race runs, then both windows are back at the menu: the recordings are closed by then.
for side in host join; do
  trace_wait "$side.jsonl" 'j["inGame"] == 1'
done
for side in host join; do
  trace_wait "$side.jsonl" 'j["inGame"] == 0'
done
kill -0 "$host_pid" && kill -0 "$join_pid" || fail "a window quit after the race"

# Back at the menu, a game of the joining machine's own is recorded as ever.
join_window=$(xdotool search --all --pid "$join_pid" --name '^Palvex$' | head -n1)
[ -n "$join_window" ] || fail "no window of the joining machine"
xdotool windowfocus --sync "$join_window"
sleep 0.3
for _ in 1 2 3; do
  xdotool key Return
  sleep 0.5
  [ "$(tail -n1 join.jsonl | python3 -c 'import json, sys; print(json.load(sys.stdin)["inGame"])')" = 1 ] && break
done
trace_wait join.jsonl 'j["inGame"] == 1'
xdotool key Escape
trace_wait join.jsonl 'j["inGame"] == 0'
kill -TERM "$host_pid" "$join_pid" 2>/dev/null || true
wait "$host_pid" 2>/dev/null || true
wait "$join_pid" 2>/dev/null || true
host_pid="" join_pid=""

ls "$work/host/data/palvex/replays" >host-folder.txt
grep -qx 'palvex-20200101-000000.pvxr' host-folder.txt && fail "the oldest recording was not pruned: $(cat host-folder.txt)"
grep -qx 'palvex-20200102-000000.pvxr' host-folder.txt || fail "more than the oldest was pruned: $(cat host-folder.txt)"
recorded=()
for side in host join; do
  # The joining machine's folder: the online race, then its own game, in that order.
  made=$(ls -tr "$work/$side/data/palvex/replays" | grep -Ev '^palvex-2020010[12]-000000\.pvxr$' || true)
  games=$([ "$side" = host ] && echo 1 || echo 2)
  [ "$(echo "$made" | grep -c .)" = "$games" ] || fail "the $side's replays folder holds '$made', not $games new games"
  if [ "$side" = join ]; then
    own=$(echo "$made" | tail -n1)
    "$palvex" --verify --replay "$work/join/data/palvex/replays/$own" >own-verify.log 2>&1 ||
      fail "the joining machine's own game does not verify: $(cat own-verify.log)"
    made=$(echo "$made" | head -n1)
  fi
  echo "$made" | grep -Eq '^palvex-[0-9]{8}-[0-9]{6}(-[0-9]{1,2})?\.pvxr$' || fail "the $side's recording is named '$made'"
  file="$work/$side/data/palvex/replays/$made"
  "$palvex" --verify --replay "$file" >"$side-verify.log" 2>&1 ||
    fail "the $side's recording does not verify: $(cat "$side-verify.log")"
  grep -q 'agrees: 150 frames' "$side-verify.log" || fail "the $side's recording is not the whole race: $(cat "$side-verify.log")"
  recorded+=("$file")
done
cmp "${recorded[0]}" "${recorded[1]}" || fail "the two machines' recordings differ"
echo "e2e online recorded: both windows saved the race in their replays folders; the files verify and are the same"
