#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan, UBSan) and runs each for
# FUZZ_SECONDS (default 60) from a fresh seed corpus: fuzz/seeds/NAME/ where
# a target has its own, else the corpus that make_seeds writes. As many
# targets run side by side as there are cores (JOBS). A crash, leak, timeout
# or failed check ends with a non-zero exit and leaves the input in
# build/fuzz/artifacts/. Long campaigns: scripts/fuzz-campaign.sh.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
SECONDS_EACH=${FUZZ_SECONDS:-60}
JOBS=${JOBS:-$(nproc)}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$JOBS"

work=build/fuzz/work
rm -rf "$work" build/fuzz/artifacts
mkdir -p "$work/seeds" "$work/corpus" build/fuzz/artifacts
build/fuzz/bin/make_seeds "$work/seeds"

# Runs one target; its figures and, on failure, the end of its log go to
# $work/NAME.result.
run_target() {
  local target=$1 name seeds rc=0
  name=$(basename "$target")
  seeds="$work/seeds"
  [ -d "fuzz/seeds/$name" ] && seeds="fuzz/seeds/$name"
  mkdir -p "$work/corpus/$name"
  "$target" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix=build/fuzz/artifacts/ \
    "$work/corpus/$name" "$seeds" >"$work/$name.log" 2>&1 || rc=$?
  {
    echo "== $name: ${SECONDS_EACH}s"
    grep -E '^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::peak_rss_mb)' "$work/$name.log" || true
    if [ $rc -ne 0 ]; then
      tail -60 "$work/$name.log"
      echo "fuzz.sh: $name failed (exit $rc)"
    fi
  } >"$work/$name.result"
  return $rc
}

targets=(build/fuzz/bin/fuzz_*)
pids=()
failed=0
for target in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$JOBS" ]; do
    wait -n || failed=1
  done
  run_target "$target" &
  pids+=($!)
done
for pid in "${pids[@]}"; do
  wait "$pid" || failed=1
done

for target in "${targets[@]}"; do
  cat "$work/$(basename "$target").result"
done
if [ $failed -ne 0 ]; then
  echo "fuzz.sh: a target failed; inputs in build/fuzz/artifacts/:" >&2
  ls -l build/fuzz/artifacts/ >&2
  exit 1
fi
