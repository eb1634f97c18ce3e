#!/usr/bin/env bash
# How long the page takes to be ready to play (its data fetched) in headless
# Chromium, from a server on loopback and from one that waits 50 ms before
# each answer, as a distant host would (bench/slow_server.py): the median of
# 5 loads each, from a cold cache.
#   bench/page_load.sh [SITE]      (default: build-web/site)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
site="${1:-$root/build-web/site}"
[ -f "$site/index.html" ] || { echo "bench: no $site/index.html; ./run web builds it" >&2; exit 1; }
work="$(mktemp -d "${TMPDIR:-/tmp}/page_load.XXXXXX")"
server=""
cleanup() {
  [ -z "$server" ] || kill "$server" 2>/dev/null || true
  rm -rf "$work" 2>/dev/null || true
}
trap cleanup EXIT

# load_once PORT: ms from the page opening to "ready", as the page says.
load_once() {
  local log="$work/chromium.log" profile="$work/profile-$RANDOM"
  chromium --headless=new --no-sandbox --use-gl=angle --use-angle=swiftshader \
    --enable-unsafe-swiftshader --enable-logging=stderr --v=0 --user-data-dir="$profile" \
    "http://127.0.0.1:$1/index.html" >"$log" 2>&1 &
  local browser=$! ms=""
  for _ in $(seq 1 600); do
    ms=$(sed -n 's/.*vemu: ready \([0-9]*\) ms after the page opened.*/\1/p' "$log" | head -1)
    [ -z "$ms" ] || break
    sleep 0.05
  done
  kill "$browser" 2>/dev/null || true
  wait "$browser" 2>/dev/null || true
  rm -rf "$profile" 2>/dev/null || true
  [ -n "$ms" ] || { echo "bench: the page did not get ready:" >&2; tail -5 "$log" >&2; exit 1; }
  echo "$ms"
}

for delay in 0 50; do
  port=$((30000 + RANDOM % 20000))
  python3 "$root/bench/slow_server.py" "$site" "$port" "$delay" &
  server=$!
  sleep 0.5
  times=()
  for _ in 1 2 3 4 5; do
    times+=("$(load_once "$port")")
  done
  kill "$server"
  wait "$server" 2>/dev/null || true
  server=""
  printf '%s\n' "${times[@]}" | sort -n | awk -v d="$delay" '{ t[NR] = $1 } END {
      printf "ready to play, server waiting %2d ms per answer: median %5d ms (of %s)\n", d, t[3],
        t[1] " " t[2] " " t[3] " " t[4] " " t[5] }'
done
