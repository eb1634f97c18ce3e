#!/usr/bin/env bash
# Runs a command with DISPLAY set to a fresh Xvfb server of its own, then
# stops the server. Usage: with_xvfb.sh [-s WxHxD] [-x "XVFB ARGS"] command args...
set -euo pipefail
screen=1024x768x24
extra=()
while [ $# -gt 0 ]; do
  case "$1" in
  -s) screen=$2 ;;
  -x) read -r -a extra <<<"$2" ;;
  *) break ;;
  esac
  shift 2
done
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp "${extra[@]}" 3>"$fifo" >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null; wait $xvfb_pid 2>/dev/null; rm -f "$fifo"' EXIT
read -r -t 20 display_number <"$fifo" || { echo "with_xvfb: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$display_number"
"$@"
