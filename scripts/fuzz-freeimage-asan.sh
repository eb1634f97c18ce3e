#!/usr/bin/env bash
# The fuzz targets against Debian's FreeImage rebuilt with AddressSanitizer
# and fuzzer coverage: an over-read inside FreeImage then stops the fuzzer,
# where the packaged library lets it pass unseen. The source package comes
# from Debian (apt-get source, as root) and is built once into a cache
# outside the repository (VEMU_FREEIMAGE_CACHE, default
# /var/cache/vemu-freeimage: about 2.5 min on 2 cores). Not run by CI.
#   scripts/fuzz-freeimage-asan.sh [target...]   (VEMU_FUZZ_SECONDS, default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
checkout=$(pwd)
cache=${VEMU_FREEIMAGE_CACHE:-/var/cache/vemu-freeimage}
seconds=${VEMU_FUZZ_SECONDS:-60}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(picture_file jpeg_exif read_pcx)
VEMU_FOR_TESTS=1
source scripts/setup.sh
vemu_install_packages

lib=$(ls -d "$cache"/freeimage-*/Dist 2>/dev/null | head -1 || true)
if [ -z "$lib" ] || [ ! -f "$lib/libfreeimage.so" ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "fuzz-freeimage-asan: the first run needs root (apt-get source and build-deps)" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  # Source lines for the suite this machine already uses.
  if ! apt-get source --print-uris freeimage >/dev/null 2>&1; then
    suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
    cat >/etc/apt/sources.list.d/vemu-freeimage-src.sources <<EOF
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $suite
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    apt-get update -q >&2
  fi
  apt-get install -y -q --no-install-recommends dpkg-dev dos2unix libjpeg-dev libjxr-dev \
    libopenexr-dev libopenjp2-7-dev libpng-dev libraw-dev libtiff-dev libwebp-dev >&2
  mkdir -p "$cache"
  (cd "$cache" && apt-get source freeimage >&2)
  src=$(ls -d "$cache"/freeimage-*/ | head -1)
  flags="-O1 -g -fPIC -fsanitize=address,fuzzer-no-link -fno-omit-frame-pointer"
  echo "== building $src with AddressSanitizer" >&2
  (cd "$src" && sh gensrclist.sh >/dev/null && make -f Makefile.gnu dos2unix >/dev/null &&
    make -f Makefile.gnu -j "$(nproc)" CC=clang CXX=clang++ CFLAGS="$flags" \
      CXXFLAGS="$flags -std=c++14" LDFLAGS="-fsanitize=address" >"$cache/build.log" 2>&1) || {
    tail -20 "$cache/build.log" >&2
    echo "fuzz-freeimage-asan: FreeImage did not build (see $cache/build.log)" >&2
    exit 1
  }
  lib="${src%/}/Dist"
fi

dir="$cache/build-fuzz"
CC=clang CXX=clang++ cmake -S "$checkout" -B "$dir" -DVEMU_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DFREEIMAGE_LIBRARY="$lib/libfreeimage.so" \
  -DFREEIMAGE_INCLUDE_DIR="$lib" >/dev/null
cmake --build "$dir" -j "$(nproc)" --target "${targets[@]/%/_fuzz}"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$dir/findings"
failed=0
for target in "${targets[@]}"; do
  mkdir -p "$dir/corpus/$target"
  echo "== fuzzing $target against the instrumented FreeImage for $seconds s" >&2
  # Leaks are not looked for here (FreeImage's readers lose small blocks on
  # broken files); this run is for memory safety. FreeImage reads the BMP,
  # PCX, TGA and DDS inputs; PNG and JPEG go through libpng and libjpeg.
  if ! ASAN_OPTIONS=detect_leaks=0 TMPDIR=$scratch "$dir/tests/fuzz/${target}_fuzz" "$dir/corpus/$target" \
      "tests/fuzz/seeds/$target" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=2560 \
      -detect_leaks=0 \
      -print_final_stats=1 -artifact_prefix="$dir/findings/${target}-" \
      2>"$dir/findings/$target.log"; then
    grep -E '^SUMMARY|#[0-4] 0x' "$dir/findings/$target.log" >&2 || tail -30 "$dir/findings/$target.log" >&2
    echo "FAIL: $target (see $dir/findings)" >&2
    failed=$((failed + 1))
  else
    grep -E '^stat::number_of_executed_units' "$dir/findings/$target.log" >&2 || true
  fi
done
echo "fuzz-freeimage-asan: $((${#targets[@]} - failed)) passed, $failed failed"
[ $failed -eq 0 ]
