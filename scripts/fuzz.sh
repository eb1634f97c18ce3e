#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each for
# VEMU_FUZZ_SECONDS (60) from the seeds in tests/fuzz/seeds. Any crash, leak,
# sanitizer report or timeout fails; the input that did it is left in
# build-fuzz/findings/.
#   scripts/fuzz.sh [target...]     (default: every target)
set -euo pipefail
cd "$(dirname "$0")/.."
VEMU_FOR_TESTS=1
source scripts/setup.sh
vemu_install_packages
seconds=${VEMU_FUZZ_SECONDS:-60}
dir=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -DVEMU_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(picture_file jpeg_exif read_pcx)
cmake --build "$dir" -j "$(nproc)" --target "${targets[@]/%/_fuzz}"

mkdir -p "$dir/findings"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
passed=0
failed=0
for target in "${targets[@]}"; do
  corpus="$dir/corpus/$target"
  mkdir -p "$corpus"
  echo "== fuzzing $target for $seconds s" >&2
  # New inputs go to the working corpus, never into the seeds.
  if ! TMPDIR=$scratch "$dir/tests/fuzz/${target}_fuzz" "$corpus" "tests/fuzz/seeds/$target" \
      -max_total_time="$seconds" -timeout=60 -rss_limit_mb=2560 -print_final_stats=1 \
      -artifact_prefix="$dir/findings/${target}-" 2>"$dir/findings/$target.log"; then
    tail -n 60 "$dir/findings/$target.log" >&2
    echo "FAIL: $target (see $dir/findings)" >&2
    status=1
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
    grep -E '^stat::number_of_executed_units|^Done' "$dir/findings/$target.log" >&2 || true
  fi
done
echo "fuzz: $passed passed, $failed failed"
exit $status
