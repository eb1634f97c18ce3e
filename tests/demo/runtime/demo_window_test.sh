#!/usr/bin/env bash
# The demo's window on a real X display (run under with_xvfb.sh):
# opening, pacing, Escape, window close, the fullscreen fallback question,
# and no display at all. Usage: demo_window_test.sh DEMO X11_CLOSE PACKAGE_DIR
set -uo pipefail
demo=$1
x11_close=$2
package=$3
failures=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$package"

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

screen_size() { xdpyinfo | awk '/dimensions:/ {print $2}'; }
desktop=$(screen_size)

# Waits for a mapped window named exactly $1; prints its id. (xdotool's name
# search misses SDL's message boxes, so read the window tree.)
wait_window() {
  local id tries=0
  while [ $tries -lt 300 ]; do
    for id in $(xwininfo -root -tree | awk -v n="\"$1\":" 'index($0, n) {print $1}'); do
      local info
      info=$(xwininfo -id "$id" 2>/dev/null)
      if [[ $info == *IsViewable* ]]; then
        echo "$id"
        return
      fi
    done
    sleep 0.2
    tries=$((tries + 1))
  done
}

start_demo() {
  SDL_AUDIODRIVER=dummy VEMU_LOOP_STATS=1 "$demo" "$@" 2>"$work/stderr" &
  demo_pid=$!
}

# Waits for the demo to end; sets status (or "hung").
wait_demo() {
  local waited=0
  while kill -0 "$demo_pid" 2>/dev/null && [ $waited -lt 300 ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
  if kill -0 "$demo_pid" 2>/dev/null; then
    kill -9 "$demo_pid"
    status=hung
    return
  fi
  wait "$demo_pid"
  status=$?
  sed 's/^/   demo: /' "$work/stderr" >&2
}

hold_escape() {
  xdotool keydown --window "$1" Escape
  sleep 0.3
  xdotool keyup --window "$1" Escape 2>/dev/null
}

echo "== windowed: 640x480, paced at 50 frames per second, Escape ends with 0"
start_demo
win=$(wait_window Vemu)
if [ -z "$win" ]; then
  fail "no Vemu window"
  sed 's/^/   demo: /' "$work/stderr" >&2
  kill -9 "$demo_pid" 2>/dev/null
else
  geometry=$(xdotool getwindowgeometry "$win" | awk '/Geometry:/ {print $2}')
  [ "$geometry" = "640x480" ] || fail "window is $geometry, not 640x480"
  sleep 4
  hold_escape "$win"
  wait_demo
  [ "$status" = "0" ] || fail "Escape ended with status $status"
  stats=$(grep 'frames drawn' "$work/stderr")
  echo "   $stats"
  drawn=$(echo "$stats" | awk '{print $2}')
  skipped=$(echo "$stats" | awk '{print $5}')
  seconds=$(echo "$stats" | awk '{print $8}')
  # Drawn frames are capped at 50 a second; with catch-up steps the timeline
  # keeps to 50 frames a second of clock time.
  awk -v d="$drawn" -v k="$skipped" -v s="$seconds" 'BEGIN {
      ok = (d + k >= s * 50 - 2) && (d + k <= s * 50 + 2) && (d <= s * 50 + 2) && (d > 0);
      exit ok ? 0 : 1 }' || fail "pacing: $stats"
fi

echo "== windowed: a window close ends with 0"
start_demo 0
win=$(wait_window Vemu)
if [ -z "$win" ]; then
  fail "no Vemu window"
  sed 's/^/   demo: /' "$work/stderr" >&2
  kill -9 "$demo_pid" 2>/dev/null
else
  sleep 1
  "$x11_close" "$win"
  wait_demo
  [ "$status" = "0" ] || fail "window close ended with status $status"
fi

echo "== fullscreen refused by the display: Yes plays in a 640x480 window"
start_demo 1
box=$(wait_window 'Lumo GL')
if [ -z "$box" ]; then
  fail "no fullscreen question"
  kill "$demo_pid" 2>/dev/null
else
  grep -q "Use Windowed Mode Instead?" "$work/stderr" || fail "question not on stderr"
  xdotool key --window "$box" Return
  win=$(wait_window Vemu)
  if [ -z "$win" ]; then
    fail "no window after Yes"
  else
    geometry=$(xdotool getwindowgeometry "$win" | awk '/Geometry:/ {print $2}')
    [ "$geometry" = "640x480" ] || fail "window after Yes is $geometry"
    sleep 1
    "$x11_close" "$win"
  fi
  wait_demo
  [ "$status" = "0" ] || fail "after Yes, close ended with status $status"
fi

echo "== fullscreen refused: No closes the program with status 0"
start_demo x 1
box=$(wait_window 'Lumo GL')
if [ -z "$box" ]; then
  fail "no fullscreen question"
  kill "$demo_pid" 2>/dev/null
else
  xdotool key --window "$box" Escape
  box=$(wait_window ERROR)
  if [ -n "$box" ]; then
    xdotool key --window "$box" Return
  else
    fail "no 'Program Will Now Close.' box"
  fi
  wait_demo
  [ "$status" = "0" ] || fail "No ended with status $status"
  grep -q "Program Will Now Close." "$work/stderr" || fail "closing message not on stderr"
fi

[ "$(screen_size)" = "$desktop" ] || fail "desktop size changed: $(screen_size), was $desktop"

echo "== no display: a clear message and a non-zero status, no hang"
(unset DISPLAY WAYLAND_DISPLAY; SDL_VIDEODRIVER= SDL_AUDIODRIVER=dummy \
  timeout 30 "$demo" 2>"$work/nodisplay"; echo $? >"$work/nodisplay.status")
status=$(cat "$work/nodisplay.status")
[ "$status" != "0" ] && [ "$status" != "124" ] || fail "no display: status $status"
grep -q "Failed To Register The Window Class." "$work/nodisplay" || fail "no display: no message"

if [ $failures -eq 0 ]; then
  echo "demo window: all checks passed"
fi
exit $((failures > 0))
