#!/usr/bin/env bash
# End to end: a 2048 x 2048 window icon (once refused by the X server, after which the game
# hung in its exit and kept the single-instance lock) neither hangs the game nor locks the
# next start out.
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
fail() { echo "e2e icon: FAIL: $*" >&2; exit 1; }
. "$here/common.sh"

desktop_start
export HOME="$work"

cp "$palvex" "$(dirname "$palvex")"/*.ase "$(dirname "$palvex")"/*.gif "$(dirname "$palvex")"/*.ogg "$work/"
# The icon: a 2048 x 2048 PNG (pictures are told apart by their contents, not their names).
python3 - "$work/icon.gif" <<'PY'
import struct, sys, zlib
w = h = 2048
row = b"\x00" + bytes((x * 7) & 255 for x in range(w * 3))
data = zlib.compress(row * h, 9)
chunk = lambda t, d: struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d) & 0xffffffff)
open(sys.argv[1], "wb").write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)) +
                              chunk(b"IDAT", data) + chunk(b"IEND", b""))
PY

start_and_quit() {
  cd "$work"
  ./palvex --scale 1 >"game$1.log" 2>&1 &
  game_pid=$!
  local window=""
  for _ in $(seq 100); do
    window=$(xdotool search --name '^Palvex$' 2>/dev/null | head -n1 || true)
    [ -n "$window" ] && break
    kill -0 "$game_pid" 2>/dev/null || fail "start $1 ended before its window: $(cat "game$1.log")"
    sleep 0.1
  done
  [ -n "$window" ] || fail "start $1: no window"
  xdotool windowfocus --sync "$window" 2>/dev/null || true
  sleep 0.3
  xdotool key Return; sleep 0.2; xdotool key Down Down Down; sleep 0.1; xdotool key Return
  for _ in $(seq 50); do
    kill -0 "$game_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$game_pid" 2>/dev/null && fail "start $1 hung on its way out: $(cat "game$1.log")"
  wait "$game_pid" || fail "start $1 exited with $?: $(cat "game$1.log")"
  game_pid=""
}
start_and_quit 1
start_and_quit 2
echo "e2e icon: PASS (two starts with a 2048 x 2048 icon, each quit in time)"
