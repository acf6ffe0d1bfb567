#!/usr/bin/env bash
# End to end: a window hosts an online race without --players. Its lobby is drawn over a
# dark screen; a headless machine joins; the host's right arrow seats a computer bike and
# Enter starts the race with both players; after the race the window is back at the menu,
# still running.
#   tests/e2e/lobby.sh PALVEX
set -euo pipefail
palvex=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
fail() { echo "e2e lobby: FAIL: $*" >&2; exit 1; }
. "$here/common.sh"
e2e_setup "e2e lobby"
guest_pid=""
trap '[ -n "$guest_pid" ] && kill -KILL "$guest_pid" 2>/dev/null; e2e_cleanup' EXIT

desktop_start --wm
"$palvex" --host 0 --trace host.jsonl >host.log 2>&1 &
game_pid=$!
window=$(game_window)
activate "$window"
port=$(number_in host.log "hosting on port")
sleep 0.5
xwd -id "$window" -silent >alone.xwd

mkdir guest
(cd guest && exec "$palvex" --headless --join "127.0.0.1:$port" --frames 90 >guest.log 2>&1) &
guest_pid=$!
sleep 1.5
xdotool key Right
sleep 0.5
xwd -id "$window" -silent >lobby.xwd
xdotool key Return
trace_wait host.jsonl 'j["inGame"] == 1'
wait "$guest_pid" || fail "the guest did not end normally: $(cat guest/guest.log)"
guest_pid=""
grep -q "online race: 2 players, 1 computer bikes" guest/guest.log || fail "not the lobby's race: $(cat guest/guest.log)"
xdotool key Escape
trace_wait host.jsonl 'j["inGame"] == 0'
sleep 0.5
kill -0 "$game_pid" || fail "the window quit after the race: $(cat host.log)"
xwd -id "$window" -silent >menu.xwd

PYTHONPATH="$here" python3 - <<'PY' || fail "the pictures"
from pictures import read_xwd
alone, lobby, menu = (read_xwd(n + ".xwd") for n in ("alone", "lobby", "menu"))
def share(shot, test):
    return sum(test(shot.pixel(x, y)) for y in range(0, shot.height, 2) for x in range(0, shot.width, 2)) * 4 / (shot.width * shot.height)
dark = lambda p: abs(p[0] - 16) < 8 and abs(p[1] - 16) < 8 and abs(p[2] - 32) < 8
yellow = lambda p: p[0] > 200 and p[1] > 180 and p[2] < 80
assert share(alone, dark) > 0.8, "the lobby is not the dark screen"
assert share(alone, yellow) > 0.0005, "no heading in the lobby"
# A guest and a computer bike add lines: more text than the host alone.
assert lobby.differing(alone) > 500, "the lobby did not change when the guest joined"
assert share(menu, dark) < 0.5, "back at the menu, the dark screen stayed"
PY
echo "e2e lobby: ok"
