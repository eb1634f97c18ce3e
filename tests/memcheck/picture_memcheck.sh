#!/usr/bin/env bash
# Every picture of the robustness corpus through the decode paths under
# valgrind's memcheck: the generated files (samples of every format,
# bit-flipped, cut, huge, lying metadata), the fuzz seeds and PngSuite. Any
# invalid read or write, use of uninitialised values or definite leak fails.
# Usage: picture_memcheck.sh PICTURE_MEMCHECK SOURCE_DIR TESTDATA_DIR
set -uo pipefail
program=$1
source_dir=$2
testdata=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
command -v valgrind >/dev/null || { echo "FAIL: valgrind is not installed" >&2; exit 1; }

# PngSuite as it is, and bit-flipped as the loader's tests flip it.
"$program" write "$work/corpus" "$testdata/pngsuite" ||
  { echo "FAIL: the corpus could not be written" >&2; exit 1; }
inputs=("$work/corpus")
if [ -d "$testdata/pngsuite" ]; then
  inputs+=("$testdata/pngsuite")
else
  echo "note: no PngSuite at $testdata/pngsuite" >&2
fi

memcheck() {
  # The fuzz inputs become files in TMPDIR: keep them in the scratch folder.
  TMPDIR=$work valgrind --tool=memcheck --error-exitcode=99 --leak-check=full \
    --errors-for-leak-kinds=definite --track-origins=yes --quiet "$program" "$@"
}
failures=0
memcheck decode "${inputs[@]}" || failures=$((failures + 1))
memcheck seeds picture_file "$source_dir/tests/fuzz/seeds/picture_file" || failures=$((failures + 1))
memcheck seeds read_pcx "$source_dir/tests/fuzz/seeds/read_pcx" || failures=$((failures + 1))
if [ $failures -ne 0 ]; then
  echo "FAIL: memcheck found errors in $failures of 3 runs (see above)" >&2
  exit 1
fi
echo "picture memcheck: no errors"
