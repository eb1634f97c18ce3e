#!/usr/bin/env bash
# The page in real time in headless Chromium (WebGL 2 on SwiftShader): for
# each window size and start frame, the show played to its end with its
# music, and what the page reports then: frames drawn and caught up, how far
# pictures came after their moment in the music, and the longest pass (how
# long the page kept the browser from showing anything).
#   bench/web.sh [SITE] [FROM...]    (default build-web/site; from 5900 6400 7000)
#   VEMU_BENCH_SIZES="640,480 1280,960" (the default) sets the window sizes
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
site=${1:-$root/build-web/site}
shift || true
froms=("$@")
[ ${#froms[@]} -gt 0 ] || froms=(5900 6400 7000)
[ -f "$site/index.html" ] || { echo "web.sh: no site at $site (./test or ./run web builds it)" >&2; exit 1; }
command -v chromium >/dev/null || { echo "web.sh: chromium is not installed" >&2; exit 1; }
work=$(mktemp -d)
port=$((21000 + $$ % 1000))
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$site" >/dev/null 2>&1 &
server=$!
trap 'kill $server 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do
  python3 -c "import urllib.request as u; u.urlopen('http://127.0.0.1:$port/index.html')" 2>/dev/null && break
  sleep 0.1
done
for size in ${VEMU_BENCH_SIZES:-640,480 1280,960}; do
  for from in "${froms[@]}"; do
    log="$work/chromium.log"
    chromium --headless=new --no-sandbox --use-gl=angle --use-angle=swiftshader \
      --enable-unsafe-swiftshader --window-size="$size" --autoplay-policy=no-user-gesture-required \
      --enable-logging=stderr --v=0 --user-data-dir="$work/profile-$from-$size" \
      --remote-debugging-port=0 "http://127.0.0.1:$port/index.html?autoplay&from=$from" >"$log" 2>&1 &
    browser=$!
    for _ in $(seq 1200); do
      grep -q "vemu: show ended\|cannot start" "$log" && break
      sleep 0.1
    done
    kill "$browser" 2>/dev/null || true
    wait "$browser" 2>/dev/null || true
    line=$(grep -o "vemu: show ended.*" "$log" | sed 's/", source.*//' || true)
    if [ -z "$line" ]; then
      echo "window ${size/,/x}, from $from: did not end ($(grep -o 'vemu: [^"]*' "$log" | tail -1))"
      continue
    fi
    awk -v size="${size/,/x}" -v from="$from" '{
        drawn = $4; steps = $7
        pass = $26 == "longest" ? $28 " ms" : "not reported"
        printf "window %s, from %4d: %4d drawn, %4d catch-up steps (%.0f %% drawn); pictures %s ms after the music on average, %s at most; longest pass %s\n",
          size, from, drawn, steps, 100 * drawn / (drawn + steps), $18, $22, pass }' <<<"$line"
  done
done
