#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan, UBSan) and runs each from
# a fresh seed corpus: fuzz/seeds/NAME/ where a target has its own, else the
# corpus that make_seeds writes. The stage lasts twice FUZZ_SECONDS (default
# 60), shared by weight: the two script targets 5 parts each, the walk over
# the process data (one flat block, covered in seconds) 2, the packer's JSON
# reader (a round trip per accepted script) 2, the search for an
# installer's signature (a few header fields) 1, the expansion of variable
# references (one string and a few values) 1. A crash, leak,
# timeout or failed check ends with a non-zero exit and leaves the input in
# build/fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
STAGE_SECONDS=$(( ${FUZZ_SECONDS:-60} * 2 ))

weight() {
  case "$1" in
    fuzz_perfdata | fuzz_script_json) echo 2 ;;
    fuzz_signature | fuzz_expand) echo 1 ;;
    *) echo 5 ;;
  esac
}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"${JOBS:-$(nproc)}"

work=build/fuzz/work
rm -rf "$work" build/fuzz/artifacts
mkdir -p "$work/seeds" "$work/corpus" build/fuzz/artifacts
build/fuzz/bin/make_seeds "$work/seeds"

targets=(build/fuzz/bin/fuzz_*)
total_weight=0
for target in "${targets[@]}"; do
  total_weight=$(( total_weight + $(weight "$(basename "$target")") ))
done

for target in "${targets[@]}"; do
  name=$(basename "$target")
  seconds=$(( STAGE_SECONDS * $(weight "$name") / total_weight ))
  [ "$seconds" -ge 1 ] || seconds=1
  seeds="$work/seeds"
  [ -d "fuzz/seeds/$name" ] && seeds="fuzz/seeds/$name"
  echo "== $name: ${seconds}s"
  mkdir -p "$work/corpus/$name"
  rc=0
  "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix=build/fuzz/artifacts/ \
    "$work/corpus/$name" "$seeds" >"$work/$name.log" 2>&1 || rc=$?
  grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::peak_rss_mb)' "$work/$name.log" || true
  if [ $rc -ne 0 ]; then
    tail -60 "$work/$name.log" >&2
    echo "fuzz.sh: $name failed (exit $rc); inputs in build/fuzz/artifacts/:" >&2
    ls -l build/fuzz/artifacts/ >&2
    exit 1
  fi
done
