#!/usr/bin/env bash
# The whole benchmark suite, one command, one table at the end:
#   bench/run.sh [--quick | --only LIST] [BUILD_DIR]      (default build/)
# Builds what it needs, then measures on this machine's GL (Mesa llvmpipe):
#   - time to draw each frame, per scene window, at 640x480 and 1280x960
#   - catch-up steps of a real demo run under Xvfb at 640x480 (148 s), with
#     its peak memory and how flat it stays over the show
#   - start-up: window open to first show frame, split into picture
#     decoding, mipmap building and music decoding
#   - the music's start against the frame clock's zero (7 demo starts)
#   - democap over the whole show to PNG and to mp4, frames per second and
#     peak memory (bench/democap.sh)
#   - share of a frame spent in our code against the GL driver (perf)
#   - the demo's run-up to VEMU_START_FRAME=6400 (5 runs)
#   - the page in headless Chromium, and in Firefox ESR and WebKit's
#     MiniBrowser under Xvfb (bench/page_bench): from the start button to
#     the first frame, the first second drawn, seeks (5 openings each); then
#     in real time, frames drawn and caught up, the pictures' lag behind the
#     music, the longest pass
#   - the start screen in Lighthouse (bench/lighthouse.sh): its scores
# --quick leaves out the 148-second demo run, democap and the page; --only
# LIST runs only the named parts (frames,startup,music,demo,democap,profile,
# web). Takes about 35 minutes in full; share the machine with nothing else
# for steady figures.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
sections=" frames startup music demo democap profile web "
case "${1:-}" in
--quick)
  sections=" frames startup music profile "
  shift
  ;;
--only)
  sections=" ${2//,/ } "
  shift 2
  ;;
esac
want() { [[ "$sections" == *" $1 "* ]]; }
build="$root/${1:-build}"
package="$build/package"
out="$(mktemp -d "${TMPDIR:-/tmp}/vemu_bench.XXXXXX")"
trap 'rm -rf "$out"' EXIT

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j2 --target demo democap content frame_bench startup_bench page_bench \
  >"$out/build.log" 2>&1 || { cat "$out/build.log" >&2; exit 1; }

export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy
echo "== Vemu benchmarks, $(date -u +%Y-%m-%dT%H:%MZ), $(nproc) cores"
echo "   load before: $(uptime | sed 's/.*load average/load average/')"

if want frames; then
  echo
  echo "== Time to draw one frame (runTimelineFrame to glFinish), every frame of the show"
  "$build/bench/frame_bench" --package "$package" --size 640x480 --size 1280x960
fi

if want startup; then
  echo
  echo "== Start-up: window open to first show frame (5 runs), then its parts"
  for _ in 1 2 3 4 5; do
    "$build/bench/frame_bench" --package "$package" --size 640x480 --count 1 2>/dev/null |
      awk -F'first show frame ' '/first show frame/ { print $2 }'
  done | sort -n | awk '{ v[NR] = $1 } END { printf "window open to first show frame: median %s ms (of %s runs, %s to %s ms)\n", v[int((NR + 1) / 2)], NR, v[1], v[NR] }'
  "$build/bench/startup_bench" --package "$package" 5
fi

if want music; then
  echo
  echo "== The music's start against the frame clock's zero (7 demo starts, 4 s each)"
  # The first samples leave the mixer near the clock's zero; they are heard
  # about one mixer buffer later (SDL reports no device latency). Positive:
  # the sound lags the picture.
  (
    cd "$package"
    for run in 1 2 3 4 5 6 7; do
      env -u SDL_VIDEODRIVER VEMU_LOOP_STATS=1 "$root/tests/support/with_xvfb.sh" -s 640x480x24 \
        timeout -s INT 4 ./demo >"$out/music.$run" 2>&1 || true
      grep 'music out' "$out/music.$run" || echo "demo: no music timing"
    done
  ) | tee "$out/music.txt" | sed 's/^demo: /  /'
  median() { sort -n | awk '{ v[NR] = $1 } END { printf "%+.1f", v[int((NR + 1) / 2)] }'; }
  awk '/music out/ { late += $(NF - 4); bufs += $(NF - 2); n++ }
       END { printf "%d %d %d\n", n, late, bufs }' "$out/music.txt" | {
    read -r n late bufs
    out_ms=$(awk '/music out/ { print $4 + 0 }' "$out/music.txt" | median)
    heard_ms=$(awk '/music out/ { print $13 + 0 }' "$out/music.txt" | median)
    range=$(awk '/music out/ { print $13 + 0 }' "$out/music.txt" | sort -n | sed -n '1p;$p' | paste -sd' ')
    echo "music out at $out_ms ms, heard at about $heard_ms ms from the clock's zero" \
      "(medians of $n starts; heard from ${range% *} to ${range#* } ms); $late of $bufs buffers late"
  }
fi

if want demo; then
  echo
  echo "== The demo under Xvfb at 640x480, the whole show (148 s)"
  # RSS of the demo sampled twice a second: flat over the show means no
  # growth from the first show frame to the last.
  (
    cd "$package"
    # The X11 driver, as a person sees the show (the rest of the suite is offscreen).
    # shellcheck disable=SC2016
    env -u SDL_VIDEODRIVER VEMU_LOOP_STATS=1 "$root/tests/support/with_xvfb.sh" -s 640x480x24 \
      /usr/bin/time -v -o "$out/demo.time" bash -c 'echo $$ >"$0"; exec ./demo' "$out/demo.pid" \
      >"$out/demo.out" 2>&1 &
    for _ in $(seq 1 100); do
      [ -s "$out/demo.pid" ] && break
      sleep 0.1
    done
    pid=$(cat "$out/demo.pid" 2>/dev/null || true)
    start=$(date +%s%N)
    while [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; do
      rss=$(awk '/VmRSS/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
      [ -n "$rss" ] && echo "$((($(date +%s%N) - start) / 1000000)) $rss" >>"$out/rss.txt"
      cp "/proc/$pid/smaps_rollup" "$out/rollup.txt" 2>/dev/null || true
      sleep 0.5
    done
    wait
  )
  cat "$out/demo.out"
  awk -F': ' '/Maximum resident/ { printf "demo peak RSS %.1f MB\n", $2 / 1024 }' "$out/demo.time"
  # From 3 s on (the start-up is over) to the end: the spread of the RSS.
  # Samples are "milliseconds KB".
  awk '$1 >= 3000 { if (min == "" || $2 < min) min = $2; if ($2 > max) max = $2 }
       END { if (min != "") printf "demo RSS over the show (from 3 s): %.1f to %.1f MB, spread %.2f MB\n",
             min / 1024, max / 1024, (max - min) / 1024 }' "$out/rss.txt"
  # What the resident memory is made of, near the end: anonymous pages are
  # ours and the driver's (textures, music, heap); file-backed ones are the
  # libraries' code (libLLVM alone is about 55 MB), shared and reclaimable.
  awk '/^Rss:/ { r = $2 } /^Anonymous:/ { a = $2 }
       END { if (r) printf "demo RSS near the end: %.1f MB = anonymous %.1f MB + file-backed %.1f MB\n",
             r / 1024, a / 1024, (r - a) / 1024 }' "$out/rollup.txt" 2>/dev/null || true
  # Every 10 s, to see when it grows.
  awk '$1 >= t { printf "  %3d s %6.1f MB\n", $1 / 1000, $2 / 1024; t += 10000 }' "$out/rss.txt" |
    paste -sd' ' | fold -w 100
  echo
  echo "== The demo's run-up to frame 6400 under Xvfb (5 runs, 2 s of show each)"
  for _ in 1 2 3 4 5; do
    (cd "$package" && env -u SDL_VIDEODRIVER VEMU_LOOP_STATS=1 VEMU_START_FRAME=6400 \
      "$root/tests/support/with_xvfb.sh" timeout -s INT 8 ./demo 2>&1 || true) |
      awk '/ran up to frame/ { print $(NF - 1) }'
  done | sort -n | awk '{ v[NR] = $1 } END { if (NR) printf "run-up to frame 6400: median %s s (of %s runs, %s to %s s)\n", v[int((NR + 1) / 2)], NR, v[1], v[NR] }'
fi

if want democap; then
  echo
  echo "== democap"
  "$root/bench/democap.sh" "${1:-build}"
fi

if want profile; then
  echo
  echo "== Where a frame's time goes (perf, 300 frames from the start of each scene at 640x480)"
  if command -v perf >/dev/null && perf record -q -o "$out/probe.data" true >/dev/null 2>&1; then
    for first in 0 604 1988 3218 4004 4803 5561 6396 7126; do
      count=300
      [ "$first" = 7126 ] && count=270
      rm -f "$out/ctl" && mkfifo "$out/ctl"
      perf record -q -F 1999 -D -1 --control "fifo:$out/ctl" -o "$out/perf.$first" -- \
        "$build/bench/frame_bench" --package "$package" --size 640x480 --from "$first" \
        --count "$count" --perf-ctl "$out/ctl" >/dev/null 2>&1
      perf report -q -i "$out/perf.$first" --sort dso --stdio 2>/dev/null |
        awk -v f="$first" '
          { gsub(/%/, "", $1); share = $1 + 0; dso = $2
            if (dso == "frame_bench") ours += share
            else if (dso ~ /JIT|gallium|swrast|llvmpipe|dri|LLVM|\[unknown\]|perf-/) gl += share
            else if (dso ~ /GL|glapi/) gl += share
            else if (dso ~ /kernel/) kern += share
            else other += share }
          END { printf "from frame %4d: our code %5.1f %%, GL driver (llvmpipe, JIT code) %5.1f %%, kernel %5.1f %%, other (libc, ...) %5.1f %%\n", f, ours, gl, kern, other }'
    done
  else
    echo "perf cannot record here (kernel.perf_event_paranoid?); try valgrind --tool=callgrind on"
    echo "  $build/bench/frame_bench --package $package --from N --count 100"
  fi
fi
if want web; then
  echo
  echo "== The page: how it starts and seeks, then in real time, played to the end: headless Chromium"
  echo "   (SwiftShader), Firefox ESR and WebKit's MiniBrowser under Xvfb (Mesa)"
  "$build/bench/page_bench" --site "$root/build-web/site" || true
  echo
  echo "== The start screen in Lighthouse (desktop, loopback, no throttling)"
  "$root/bench/lighthouse.sh" "$root/build-web/site" || true
fi
echo
echo "   load after: $(uptime | sed 's/.*load average/load average/')"
