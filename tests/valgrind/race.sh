#!/usr/bin/env bash
# A headless race with three opponents under memcheck: no invalid access, no use of
# uninitialised values, no definite leak. Exit 77 (skipped) when valgrind is missing.
# Usage: race.sh PALVEX_BINARY SUPPRESSIONS [FRAMES]
set -u
binary="$1"
supp="$2"
frames="${3:-300}"
command -v valgrind >/dev/null || { echo "valgrind not installed"; exit 77; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp "$binary" "$dir/" && cp "$(dirname "$binary")"/*.{ase,gif,ogg} "$dir/" 2>/dev/null
# sound on, top detail, three opponents
printf '\x01\x02\x00\x00\x00\x02\x00\x00\x00\x00\x00\x00\x00' >"$dir/options.bin"
{
  echo "1 down enter"; echo "1 up enter"; echo "2 down enter"; echo "2 up enter"
  for f in $(seq 20 40 $((frames - 20))); do
    echo "$f down left"; echo "$((f + 6)) up left"; echo "$((f + 20)) down right"; echo "$((f + 26)) up right"
  done
} >"$dir/keys.txt"
cd "$dir" && LIBGL_ALWAYS_SOFTWARE=1 valgrind --tool=memcheck --error-exitcode=1 --errors-for-leak-kinds=definite \
  --leak-check=full --suppressions="$supp" --num-callers=30 --keep-debuginfo=yes \
  ./palvex --headless --frames "$frames" --tick-ms 16 --keys keys.txt --trace trace.jsonl
status=$?
lines=$(wc -l <trace.jsonl 2>/dev/null || echo 0)
echo "frames traced: $lines"
[ "$status" -eq 0 ] && [ "$lines" -eq "$frames" ] && grep -q '"inGame":1' trace.jsonl
