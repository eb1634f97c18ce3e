#!/usr/bin/env bash
# Proves the README's two commands on a fresh machine: makes a minimal
# Debian root of the given release with debootstrap (from the mirror this
# machine's apt uses), puts a clean clone of this checkout's HEAD in it and
# runs, with nothing but what scripts/setup.sh installs there:
#   ./run            headless: the whole show to build/show.mp4
#   ./test --quick   the Release build's tests (the browser build's, and the
#                    picture decoders under valgrind, among them)
#   scripts/fuzz.sh  a short run of every fuzzer against that release's libraries
#   ./run web        the browser build served: its page, program and data fetched
# A machine that keeps packages installed by hand (a developer's, CI's) can
# pass ./test while a fresh one fails; this is the guard against that.
#   scripts/fresh-machine-check.sh [--keep] [RELEASE]
#     RELEASE: trixie (Debian 13, the default) or bookworm (Debian 12)
#     --keep leaves the root in place; runs as root
#   VEMU_FUZZ_SECONDS sets the fuzzers' time each (default 15)
set -euo pipefail
cd "$(dirname "$0")/.."
checkout=$(pwd)
keep=no
release=trixie
for arg in "$@"; do
  case "$arg" in
  --keep) keep=yes ;;
  -h | --help)
    sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'
    exit 0
    ;;
  trixie | bookworm) release=$arg ;;
  *)
    echo "fresh-machine-check: unknown argument $arg (releases: trixie, bookworm; see --help)" >&2
    exit 2
    ;;
  esac
done
case $release in
trixie) debian="Debian 13" ;;
bookworm) debian="Debian 12" ;;
esac
if [ "$(id -u)" -ne 0 ]; then
  echo "fresh-machine-check: needs root (debootstrap, mounts and chroot)" >&2
  exit 1
fi
start=$(date +%s)
say() { echo "fresh-machine-check ($release): $* ($(($(date +%s) - start)) s)" >&2; }

if ! command -v debootstrap >/dev/null; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q >&2
  apt-get install -y -q --no-install-recommends debootstrap >&2
fi

# The mirrors this machine's apt already uses (deb822 or one-line sources):
# the archive, and its security archive.
uris=$(grep -hs '^URIs:' /etc/apt/sources.list.d/*.sources | awk '{print $2}' || true)
uris+=$'\n'$(grep -hs '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list |
  awk '{print $2}' || true)
mirror=$(grep -E '/debian/?$' <<<"$uris" | head -1 || true)
security=$(grep -E '/debian-security/?$' <<<"$uris" | head -1 || true)
mirror=${mirror:-http://deb.debian.org/debian}
security=${security:-http://deb.debian.org/debian-security}

root=$(mktemp -d /var/tmp/vemu-fresh-$release.XXXXXX)
mounts=()
cleanup() {
  local i
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    umount -l "${mounts[$i]}" 2>/dev/null || true
  done
  # Never remove a tree that still has anything of the host mounted in it.
  if grep -q " $root/" /proc/mounts; then
    echo "fresh-machine-check: $root still has mounts; left in place" >&2
  elif [ "$keep" = yes ]; then
    echo "fresh-machine-check: root kept at $root" >&2
  else
    rm -rf "$root"
  fi
}
trap cleanup EXIT

say "debootstrap $release (minbase) from $mirror into $root"
if ! debootstrap --variant=minbase "$release" "$root" "$mirror" >"$root.debootstrap.log" 2>&1; then
  tail -20 "$root.debootstrap.log" >&2
  rm -f "$root.debootstrap.log"
  echo "fresh-machine-check: debootstrap failed" >&2
  exit 1
fi
rm -f "$root.debootstrap.log"
# The release's updates and security suites, as a machine installed from it has.
: >"$root/etc/apt/sources.list"
cat >"$root/etc/apt/sources.list.d/debian.sources" <<EOF
Types: deb
URIs: $mirror
Suites: $release $release-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: $security
Suites: $release-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
cp -L /etc/resolv.conf "$root/etc/resolv.conf"

bind() { # bind SRC DEST [ro]
  mkdir -p "$2"
  mount --bind "$1" "$2"
  mounts+=("$2")
  if [ "${3:-}" = ro ]; then
    mount -o remount,bind,ro "$2"
  fi
}
mount -t proc proc "$root/proc" && mounts+=("$root/proc")
mount -t sysfs sysfs "$root/sys" && mounts+=("$root/sys")
bind /dev "$root/dev"
mount -t devpts -o newinstance,ptmxmode=0666 devpts "$root/dev/pts" && mounts+=("$root/dev/pts")
mount -t tmpfs tmpfs "$root/dev/shm" && mounts+=("$root/dev/shm")

# A clean clone of what is committed, and the shared test files beside it, read-only.
mkdir -p "$root/work"
git clone -q --no-local "$checkout" "$root/work/vemu"
if [ -d "$checkout/../shared" ]; then
  bind "$(cd "$checkout/../shared" && pwd)" "$root/work/shared" ro
fi
say "clone of $(git -C "$checkout" rev-parse --short HEAD) in place"

in_root() {
  chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8 CI="${CI:-}" \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    /bin/bash -c "cd /work/vemu && $1" </dev/null
}

status=0
failures=() # what failed, repeated on the log's last lines
fail() {
  say "$1 FAILED"
  failures+=("$1")
  status=1
}
say "./run (no display: the show to build/show.mp4)"
if in_root ./run >"$root/run.log" 2>&1; then
  duration=$(in_root "ffprobe -v error -show_entries format=duration -of csv=p=0 build/show.mp4" ||
    true)
  if awk -v d="$duration" 'BEGIN { exit (d + 0 > 147 && d + 0 < 150) ? 0 : 1 }'; then
    say "./run passed: build/show.mp4 lasts ${duration} s"
  else
    fail "./run (build/show.mp4 lasts '${duration}' s, not about 148)"
  fi
else
  tail -30 "$root/run.log" >&2
  fail "./run"
fi

say "./test --quick"
if in_root "./test --quick" >"$root/test.log" 2>&1; then
  say "./test --quick passed: $(grep -E 'tests passed' "$root/test.log" | tail -1)"
else
  tail -60 "$root/test.log" >&2
  # ctest's list of failed tests; a build that stopped earlier has none.
  failed=$(sed -n '/The following tests FAILED:/,$p' "$root/test.log" | grep -E '^\s+[0-9]+ - ' |
    sed -E 's/^\s+[0-9]+ - //' | paste -sd ';' || true)
  fail "./test --quick (${failed:-see the log above})"
  # What the failed tests said, for the log's last lines (the browsers'
  # own chatter left out).
  said=$(grep -A5 -E ': Failure$' "$root/test.log" |
    grep -v -E 'dbus|DBus|^\s*<' | cut -c1-200 | head -24 || true)
fi

say "scripts/fuzz.sh (${VEMU_FUZZ_SECONDS:-15} s each)"
if in_root "VEMU_FUZZ_SECONDS=${VEMU_FUZZ_SECONDS:-15} scripts/fuzz.sh" >"$root/fuzz.log" 2>&1; then
  say "scripts/fuzz.sh passed: $(tail -1 "$root/fuzz.log")"
else
  tail -40 "$root/fuzz.log" >&2
  fail "scripts/fuzz.sh ($(grep -E '^FAIL: ' "$root/fuzz.log" | sed 's/^FAIL: //' | paste -sd ';' || true))"
fi

say "./run web (serving build-web/site on loopback)"
port=$((18000 + $$ % 1000))
fetch="import urllib.request as u
for f in ('index.html', 'page.js', 'vemu.js', 'vemu.wasm', 'data/velda.ogg'):
    u.urlopen('http://127.0.0.1:$port/' + f, timeout=5).read()"
in_root "(VEMU_WEB_PORT=$port timeout 300 ./run web >/tmp/run-web.log 2>&1 & echo \$! >/tmp/run-web.pid)"
if in_root "for i in \$(seq 240); do python3 -c \"$fetch\" 2>/dev/null && exit 0; sleep 1; done
    tail -20 /tmp/run-web.log >&2; exit 1"; then
  say "./run web passed: the page, its program and the music are served"
else
  fail "./run web"
fi
in_root "kill \$(cat /tmp/run-web.pid) 2>/dev/null || true" || true

if [ $status -eq 0 ]; then
  say "a fresh $debian root plays the show, serves it to browsers and passes the tests"
else
  for f in "${failures[@]}"; do
    echo "fresh-machine-check ($release): FAILED: $f" >&2
  done
  if [ -n "${said:-}" ]; then
    echo "fresh-machine-check ($release): the failed tests said:" >&2
    sed 's/^/  /' <<<"$said" >&2
  fi
fi
exit $status
