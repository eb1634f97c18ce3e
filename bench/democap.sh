#!/usr/bin/env bash
# democap's speed over the whole show at 640x480, to PNGs and to an mp4,
# with its peak memory. Run after a build; it works in build/package.
#   bench/democap.sh [BUILD_DIR]          (default: build)
#   bench/democap.sh --jobs [BUILD_DIR]   --jobs 1 against --jobs N (N the
#       cores) over the whole show, at 640x480 to PNGs and at 1080p with 4
#       samples to an mp4, in one sitting: the ratio, and whether the
#       output is the same byte for byte (about 20 minutes on 2 cores)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
compare_jobs=false
if [ "${1:-}" = --jobs ]; then
  compare_jobs=true
  shift
fi
package="$root/${1:-build}/package"
if [ ! -x "$package/democap" ]; then
  echo "bench: no $package/democap; build first (./test --quick or ./run)" >&2
  exit 1
fi
if [ ! -x /usr/bin/time ]; then
  echo "bench: /usr/bin/time is missing (apt-get install time)" >&2
  exit 1
fi
frames=7402 # 0 to 7401, every one drawn
out="$(mktemp -d "${TMPDIR:-/tmp}/democap_bench.XXXXXX")"
trap 'rm -rf "$out"' EXIT
cd "$package"
[ -f data/velda.ogg ] || echo "bench: note: no data/velda.ogg, the mp4 has no sound" >&2

# bench_one LABEL OUT [ARGS]: one run, then wall time, frames per second, CPU time
# (user + system, ffmpeg included: steadier than wall time on a shared
# machine) and peak RSS (the largest single process).
bench_one() {
  local label=$1 target=$2 log="$out/$1.time"
  shift 2
  local args=("$@")
  [ ${#args[@]} -gt 0 ] || args=(--size 640x480)
  if ! /usr/bin/time -v -o "$log" ./democap "${args[@]}" --out "$target" >/dev/null 2>"$out/$label.err"; then
    echo "bench: democap $label failed:" >&2
    cat "$out/$label.err" >&2
    exit 1
  fi
  local wall rss cpu
  cpu=$(awk -F': ' '/User time|System time/ { s += $2 } END { print s }' "$log")
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {
      n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s }' "$log")
  rss=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$log")
  awk -v l="$label" -v w="$wall" -v c="$cpu" -v f="$frames" -v r="$rss" 'BEGIN {
      printf "%-6s %5d frames in %7.2f s  %7.1f frames/s  (CPU %6.2f s, %7.1f frames per CPU s)  peak RSS %6.1f MB\n",
        l, f, w, f / w, c, f / c, r / 1024 }'
}

wall_of() {
  awk -F': ' '/Elapsed \(wall clock\)/ {
      n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s }' "$out/$1.time"
}

if $compare_jobs; then
  n=$(nproc)
  echo "democap --jobs 1 against --jobs $n, whole show ($n cores, $(date -u +%Y-%m-%dT%H:%MZ))"
  echo "640x480, PNGs:"
  bench_one j1 "$out/j1" --size 640x480 --jobs 1
  bench_one j$n "$out/jn" --size 640x480 --jobs "$n"
  same=$(diff -rq "$out/j1" "$out/jn" >/dev/null && echo "the same PNGs, byte for byte" || echo "PNGs DIFFER")
  awk -v a="$(wall_of j1)" -v b="$(wall_of j$n)" -v s="$same" \
    'BEGIN { printf "  --jobs 1 / --jobs N wall time: %.2f; %s\n", a / b, s }'
  rm -rf "$out/j1" "$out/jn"
  echo "1080p, 4 samples, mp4:"
  bench_one h1 "$out/h1.mp4" --size 1080p --samples 4 --jobs 1
  bench_one h$n "$out/hn.mp4" --size 1080p --samples 4 --jobs "$n"
  same=$(cmp -s "$out/h1.mp4" "$out/hn.mp4" && echo "the same mp4, byte for byte" || echo "mp4s DIFFER")
  awk -v a="$(wall_of h1)" -v b="$(wall_of h$n)" -v s="$same" \
    'BEGIN { printf "  --jobs 1 / --jobs N wall time: %.2f; %s\n", a / b, s }'
  exit 0
fi

echo "democap, whole show at 640x480 ($(nproc) cores, $(date -u +%Y-%m-%dT%H:%MZ))"
bench_one png "$out/png"
echo "     $(find "$out/png" -name 'frame_*.png' | wc -l) PNGs, $(du -sh "$out/png" | cut -f1)"
bench_one mp4 "$out/show.mp4"
echo "     $(du -h "$out/show.mp4" | cut -f1) mp4"
