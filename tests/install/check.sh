#!/usr/bin/env bash
# The game as installed: into a prefix by `cmake --install`, or unpacked from the .deb.
#
#   check.sh prefix SOURCE_DIR BUILD_DIR VERSION
#   check.sh deb    SOURCE_DIR BUILD_DIR VERSION CPACK
#   check.sh icons  SOURCE_DIR ASSETGEN
#
# Each installed tree is checked for its files, by the validators of the formats, and by a
# headless race started from an unrelated directory: an installed game must find its data
# from its own place and keep the player's files in the XDG places, nowhere else.
set -euo pipefail

mode=$1 source=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/palvex-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# PNG width and height from the IHDR chunk.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $3 * 256 + $4, $7 * 256 + $8 }'; }

# check_tree ROOT BINDIR VERSION: ROOT is the prefix (ROOT/BINDIR/palvex, ROOT/share/...).
check_tree() {
  local root=$1 bindir=$2 version=$3
  local game=$root/$bindir/palvex share=$root/share
  [ -x "$game" ] || { fail "no program $game"; return; }

  for f in "$source"/data/*; do
    cmp -s "$f" "$share/palvex/${f##*/}" || fail "share/palvex/${f##*/} missing or not the data/ file"
  done
  for f in README.md LICENSE CHANGELOG.md; do
    [ -s "$share/doc/palvex/$f" ] || fail "no share/doc/palvex/$f"
  done
  [ "$("$game" --version)" = "palvex $version" ] || fail "--version says '$("$game" --version)', not 'palvex $version'"

  local desktop=$share/applications/org.palvex.Palvex.desktop
  desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $desktop"
  local icon class
  icon=$(sed -n 's/^Icon=//p' "$desktop")
  class=$(grep -o 'SDL_VIDEO_X11_WMCLASS", "[^"]*' "$source/src/platform/sdl/sdlplatform.cpp" | sed 's/.*"//')
  [ -n "$class" ] && grep -qx "StartupWMClass=$class" "$desktop" || fail "StartupWMClass is not the window's class '$class'"
  grep -qx "Exec=palvex" "$desktop" || fail "the desktop entry does not start palvex"
  for n in 16 24 32 48 64 128 256; do
    local png=$share/icons/hicolor/${n}x$n/apps/$icon.png
    [ -f "$png" ] && [ "$(png_size "$png")" = "${n}x$n" ] || fail "no ${n}x$n icon '$icon' ($png)"
  done

  local metainfo=$share/metainfo/org.palvex.Palvex.metainfo.xml
  appstreamcli validate --no-net "$metainfo" >"$work/appstream.txt" 2>&1 ||
    { cat "$work/appstream.txt" >&2; fail "appstreamcli rejects $metainfo"; }
  [ -f "$share/applications/$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")" ] ||
    fail "the metainfo's launchable is not the installed desktop entry"
  grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"
  for shot in $(grep -o '<image>[^<]*</image>' "$metainfo" | sed 's|</image>||; s|.*/||'); do
    [ -f "$source/docs/screenshots/$shot" ] || fail "the metainfo shows $shot, which is not in docs/screenshots/"
  done

  local page=$share/man/man6/palvex.6.gz
  MANWIDTH=80 man --warnings -l "$page" >"$work/man.txt" 2>"$work/man.err" || fail "man cannot render $page"
  [ -s "$work/man.err" ] && { cat "$work/man.err" >&2; fail "man warns about $page"; }
  grep -q "palvex $version" "$work/man.txt" || fail "the man page is not for version $version"
  local options_help options_man
  options_help=$("$game" --help | grep -o -- '--[a-z][a-z-]*' | sort -u | tr '\n' ' ')
  options_man=$(grep -o -- '--[a-z][a-z-]*' "$work/man.txt" | sort -u | tr '\n' ' ')
  [ "$options_help" = "$options_man" ] || fail "the man page's options ($options_man) are not --help's ($options_help)"

  run_installed "$game" "$root"
}

# A race against three opponents at high detail, set in the options screen, whose "back"
# saves them: every picture and model is loaded, and the options file and log are written.
run_installed() {
  local game=$1 root=$2 run=$work/run
  rm -rf "$run"
  mkdir -p "$run"/{cwd,config,state,data,cache,home}
  local keys=$run/keys.txt frame=0
  for key in enter down enter enter enter down enter enter down down down enter enter; do
    frame=$((frame + 1))
    printf '%d down %s\n%d up %s\n' $frame $key $frame $key >>"$keys"
  done
  find "$root" | sort >"$run/before.txt"
  local status=0
  (cd "$run/cwd" && env -u PALVEX_DATA_DIR HOME="$run/home" XDG_CONFIG_HOME="$run/config" \
     XDG_STATE_HOME="$run/state" XDG_DATA_HOME="$run/data" XDG_CACHE_HOME="$run/cache" \
     "$game" --headless --tick-ms 20 --frames 30 --keys "$keys" --trace "$run/trace.jsonl" \
     >"$run/out.txt" 2>"$run/err.txt") || status=$?
  [ $status -eq 0 ] || fail "the installed game exited with $status"
  # Errors come as "CAPTION: TEXT" lines; Mesa's own notices are not the game's.
  if grep -v '^libEGL \|^MESA' "$run/err.txt" | grep -q .; then
    sed 's/^/  /' "$run/err.txt" >&2
    fail "the installed game reported errors"
  fi
  local last
  last=$(tail -n 1 "$run/trace.jsonl")
  for state in '"inGame":1' '"detail":2' '"opponentCount":3'; do
    [[ $last == *"$state"* ]] || fail "the run did not reach a race against three opponents at high detail ($state)"
  done
  # 13 bytes: sound, then detail, opponents and speed as 32-bit little-endian numbers.
  local options=$run/config/palvex/options.bin
  [ "$(od -An -tu1 "$options" 2>/dev/null | tr -s ' ')" = " 0 2 0 0 0 2 0 0 0 0 0 0 0" ] ||
    fail "no options.bin with three opponents and high detail in XDG_CONFIG_HOME/palvex/"
  [ -s "$run/state/palvex/log.txt" ] || fail "no log in XDG_STATE_HOME/palvex/"
  [ -z "$(ls -A "$run/cwd")" ] || fail "the game left files in the current directory: $(ls -A "$run/cwd")"
  find "$root" | sort | diff "$run/before.txt" - >&2 || fail "the game changed its installed tree"
}

case $mode in
  prefix)
    build=$3 version=$4
    cmake --install "$build" --prefix "$work/prefix" >/dev/null
    check_tree "$work/prefix" bin "$version"
    [ -z "$(find "$work/prefix" -name copyright -o -name 'changelog.Debian*' -o -path '*/lintian/*')" ] ||
      fail "a plain install holds the Debian package's own files"
    ;;
  deb)
    build=$3 version=$4 cpack=$5
    command -v dpkg-deb >/dev/null || { echo "skipped: not a Debian system"; exit 77; }
    "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.txt" 2>&1 ||
      { cat "$work/cpack.txt" >&2; fail "cpack failed"; }
    deb=$(ls "$work"/package/palvex_"$version"-*.deb 2>/dev/null | head -n 1 || true)
    [ -n "$deb" ] || { echo "FAIL: no .deb for $version" >&2; exit 1; }
    depends=$(dpkg-deb -f "$deb" Depends)
    [[ $depends == *libsdl2-2.0-0* && $depends == *libgles1* && $depends == *fonts-dejavu-core* ]] ||
      fail "Depends lacks the libraries or the font: $depends"
    if command -v lintian >/dev/null; then
      lintian --fail-on error "$deb" >&2 || fail "lintian reports errors"
    else
      fail "lintian is not installed (scripts/install-deps --dev)"
    fi
    dpkg -x "$deb" "$work/root"
    [ -z "$(find "$work/root" -mindepth 1 -maxdepth 1 ! -name usr)" ] || fail "the package installs outside /usr"
    check_tree "$work/root/usr" games "$version"
    ;;
  icons)
    assetgen=$3
    mkdir -p "$work/data"
    "$assetgen" "$work/data" "$work/icons" >/dev/null
    diff -r "$source/packaging/icons" "$work/icons" >&2 || fail "packaging/icons/ is stale: run make assets"
    ;;
  *)
    echo "usage: check.sh prefix|deb|icons SOURCE_DIR ..." >&2
    exit 2
    ;;
esac

[ $failures -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "ok: $mode"
