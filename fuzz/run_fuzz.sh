#!/usr/bin/env bash
# Usage: fuzz/run_fuzz.sh BUILD_DIR SECONDS
# Fuzzes the decoder for SECONDS with the seed corpus built from the test
# corpus, in fuzz/corpus-work/ (kept between runs, ignored by git). Exits
# non-zero on any crash, leak, timeout or out-of-memory, after copying the
# input that caused it into fuzz/regressions/ for the regression test.
# Environment: REELSTACK_TESTDATA (default ../shared/testdata/gif beside the
# checkout), FUZZ_MAX_LEN (default 16384: long
# inputs cost more time per run than they add coverage).
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 BUILD_DIR SECONDS" >&2
  exit 2
fi
build_dir=$(cd "$1" && pwd)
seconds=$2
repo=$(cd "$(dirname "$0")/.." && pwd)
testdata=${REELSTACK_TESTDATA:-$repo/../shared/testdata/gif}
max_len=${FUZZ_MAX_LEN:-16384}
fuzzer=$build_dir/gif_fuzz
make_seeds=$build_dir/make_fuzz_seeds
for tool in "$fuzzer" "$make_seeds"; do
  if [ ! -x "$tool" ]; then
    echo "run_fuzz: $tool not built (configure with -DREELSTACK_FUZZ=ON, see fuzz/CMakeLists.txt)" >&2
    exit 2
  fi
done

work=$repo/fuzz/corpus-work
mkdir -p "$work/corpus" "$work/artifacts"
rm -rf "$work/seeds" "$work/artifacts"/*
"$make_seeds" "$work/seeds" "$testdata"

# New inputs go to the first folder (corpus); seeds are read only.
status=0
"$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -max_len="$max_len" \
  -print_final_stats=1 -artifact_prefix="$work/artifacts/" "$work/corpus" "$work/seeds" \
  2>&1 | tee "$work/fuzz.log" || status=$?

found=0
for artifact in "$work/artifacts"/*; do
  [ -e "$artifact" ] || continue
  cp "$artifact" "$repo/fuzz/regressions/"
  echo "run_fuzz: saved $(basename "$artifact") to fuzz/regressions/" >&2
  found=1
done
if [ "$status" -ne 0 ] || [ "$found" -ne 0 ]; then
  echo "run_fuzz: the fuzzer found a fault (exit status $status); see $work/fuzz.log" >&2
  exit 1
fi
echo "run_fuzz: no fault in ${seconds}s"
