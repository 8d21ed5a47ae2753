#!/usr/bin/env bash
# The decoder fuzzer as a CI step: each group of decoders (point, scalar,
# json, sigma, range, strict) runs for FUZZ_SECONDS (default 15) with a fixed seed,
# starting from the stored corpus: the seeds made from tests/data and every
# input under tests/fuzz/regressions/. Any crash fails the step and leaves
# the input in build/fuzz/artifacts/; add it to tests/fuzz/regressions/ so
# the normal test suite replays it from then on.
set -euo pipefail
cd "$(dirname "$0")/../.."
SECS=${FUZZ_SECONDS:-15}
TARGETS=${FUZZ_TARGETS:-point scalar json sigma range strict}

# clang and its libFuzzer runtime, from Debian when missing.
tools/ensure-packages.sh clang libclang-rt-14-dev

# Build (if needed) and write the seeds; -runs=0 only loads the corpus.
tests/fuzz/run.sh 0 -runs=0 >/dev/null 2>&1 || tests/fuzz/run.sh 0 -runs=0

OUT=build/fuzz
for t in $TARGETS; do
  rm -rf "$OUT/ci-corpus-$t"
  mkdir -p "$OUT/ci-corpus-$t"
  start=$(date +%s)
  if ! VEMO_FUZZ_TARGET=$t "$OUT/fuzz_decoders" -seed=1 -max_total_time="$SECS" -max_len=8192 -timeout=10 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$OUT/artifacts/" -dict=tests/fuzz/json.dict \
      "$OUT/ci-corpus-$t" "$OUT/seeds" tests/fuzz/regressions >"$OUT/ci-$t.log" 2>&1; then
    tail -40 "$OUT/ci-$t.log"
    echo "fuzz target $t failed; the input is in $OUT/artifacts/"
    exit 1
  fi
  runs=$(grep -m1 'stat::number_of_executed_units' "$OUT/ci-$t.log" | awk '{print $2}')
  echo "fuzz target $t: ${runs:-?} inputs in $(( $(date +%s) - start )) s, no failure"
done
