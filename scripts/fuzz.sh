#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan, UBSan) and runs each for
# FUZZ_SECONDS (default 60) from a fresh seed corpus. A crash, leak, timeout
# or failed check ends with a non-zero exit and leaves the input in
# build/fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
SECONDS_EACH=${FUZZ_SECONDS:-60}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"${JOBS:-$(nproc)}"

work=build/fuzz/work
rm -rf "$work" build/fuzz/artifacts
mkdir -p "$work/seeds" "$work/corpus" build/fuzz/artifacts
build/fuzz/bin/make_seeds "$work/seeds"

for target in build/fuzz/bin/fuzz_*; do
  name=$(basename "$target")
  echo "== $name: ${SECONDS_EACH}s"
  mkdir -p "$work/corpus/$name"
  rc=0
  "$target" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix=build/fuzz/artifacts/ \
    "$work/corpus/$name" "$work/seeds" >"$work/$name.log" 2>&1 || rc=$?
  grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::peak_rss_mb)' "$work/$name.log" || true
  if [ $rc -ne 0 ]; then
    tail -60 "$work/$name.log" >&2
    echo "fuzz.sh: $name failed (exit $rc); inputs in build/fuzz/artifacts/:" >&2
    ls -l build/fuzz/artifacts/ >&2
    exit 1
  fi
done
