# Sourced by the end-to-end scripts and bench/desktop-cpu.sh: a private X server on a free
# display number, optionally with a window manager, and the game's window found and given
# the focus. The caller has set `work` (its scratch folder) and `fail` (how it reports);
# desktop_stop belongs in its cleanup.

# desktop_start [--wm] [WIDTHxHEIGHT]: Xvfb (and openbox), DISPLAY and a private
# XDG_RUNTIME_DIR (the single-instance lock lives there), no sound device.
desktop_start() {
  local with_wm="" screen=1024x768
  [ "${1:-}" = "--wm" ] && { with_wm=1; shift; }
  [ -n "${1:-}" ] && screen=$1
  exec 3<> "$work/displayfd"
  Xvfb -displayfd 3 -screen 0 "${screen}x24" -nolisten tcp >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  local display=""
  for _ in $(seq 50); do
    display=$(head -n1 "$work/displayfd" 2>/dev/null || true)
    [ -n "$display" ] && break
    sleep 0.1
  done
  [ -n "$display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
  # The game would take a Wayland compositor of the caller's session over this X server.
  unset WAYLAND_DISPLAY WAYLAND_SOCKET SDL_VIDEODRIVER
  export DISPLAY=":$display" XDG_RUNTIME_DIR="$work" SDL_AUDIODRIVER=dummy
  [ -n "$with_wm" ] || return 0
  openbox >"$work/wm.log" 2>&1 &
  wm_pid=$!
  for _ in $(seq 200); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break
    sleep 0.1
  done
  # openbox names itself before it is ready: a window mapped right after that was seen to
  # stay unmapped now and then, with SDL waiting for ever for it to appear.
  sleep 1
  kill -0 "$wm_pid" 2>/dev/null || fail "openbox did not start: $(cat "$work/wm.log")"
}

desktop_stop() {
  [ -n "${wm_pid:-}" ] && kill "$wm_pid" 2>/dev/null || true
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
  wm_pid="" xvfb_pid=""
}

# game_window [TITLE]: the id of the game's window once it is there (30 s at most: a
# loaded machine with a software renderer can take long to map it; the wait ends as soon
# as it is there).
game_window() {
  local title=${1:-Palvex} id=""
  for _ in $(seq 300); do
    id=$(xdotool search --name "^$title\$" 2>/dev/null | head -n1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  fail "no window titled $title"
}

# activate WINDOW: until the window manager has made it the active window (it has no
# active window at all until it gave the focus once, and then --sync cannot wait).
activate() {
  for _ in $(seq 100); do
    xdotool windowactivate --sync "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "the window manager did not activate window $1"
}

# e2e_setup NAME: the usual clean-up on exit (the game in game_pid, another window's
# program in other_pid, the X server, the scratch folder; with E2E_DEBUG set the logs
# first), failing lines named, and a private home with its XDG folders as the working folder.
e2e_cleanup() {
  [ -n "${other_pid:-}" ] && kill "$other_pid" 2>/dev/null || true
  [ -n "${game_pid:-}" ] && kill -KILL "$game_pid" 2>/dev/null || true
  desktop_stop
  rm -rf "$work"
}
e2e_setup() {
  trap e2e_cleanup EXIT
  [ -n "${E2E_DEBUG:-}" ] && trap 'cat "$work"/*.log; e2e_cleanup' EXIT
  trap "echo \"$1: FAIL: line \$LINENO: \$BASH_COMMAND\" >&2" ERR
  export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_DATA_HOME="$work/home/data"
  export XDG_STATE_HOME="$work/home/state" XDG_PICTURES_DIR="$work/pictures"
  mkdir -p "$HOME" "$XDG_PICTURES_DIR"
  cd "$work"
}

# into_race: from the title, Return to the menu and Return on "start", as a player does.
into_race() {
  sleep 0.3
  xdotool key Return
  sleep 0.3
  xdotool key Return
}

# trace_wait FILE EXPR: until the last line of the trace FILE makes the Python expression
# EXPR over it (j) true, 10 s at most.
trace_wait() {
  local file=$1 expr=$2 value
  for _ in $(seq 200); do
    value=$( [ -s "$file" ] && tail -n1 "$file" | python3 -c "import json, sys; j = json.load(sys.stdin); print($expr)" 2>/dev/null || echo False)
    [ "$value" = True ] && return 0
    sleep 0.05
  done
  fail "never true: $expr (last line: $(tail -n1 "$file" 2>/dev/null | cut -c1-300))"
}

# number_in FILE PATTERN: the number after PATTERN once FILE has it (10 s at most).
number_in() {
  for _ in $(seq 200); do
    local n
    n=$(grep -o "$2 [0-9]*" "$1" 2>/dev/null | grep -o '[0-9]*$' || true)
    [ -n "$n" ] && { echo "$n"; return 0; }
    sleep 0.05
  done
  fail "no '$2' in $1: $(cat "$1" 2>/dev/null)"
}
