#!/usr/bin/env bash
# A long fuzzing campaign: every fuzz target (or the ones named) for RUNS
# executions each (default ten million), one after the other, each from the
# corpus that earlier campaigns left in build/fuzz/campaign/NAME plus its
# seeds. Prints one line of figures per target and a table at the end:
#   target, executions, seconds, executions per second, coverage (edges),
#   corpus entries, peak memory. A crash, leak, timeout or failed check stops
# the campaign with the target's log and the input in build/fuzz/artifacts/.
#
#   bash scripts/fuzz-campaign.sh                 # all targets, 10,000,000 runs
#   RUNS=1000000 bash scripts/fuzz-campaign.sh fuzz_expand
# FUZZ_NO_BUILD=1 skips the build (for campaigns run side by side).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
RUNS=${RUNS:-10000000}

if [ -z "${FUZZ_NO_BUILD:-}" ]; then
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j"${JOBS:-$(nproc)}" >/dev/null
fi

camp=build/fuzz/campaign
mkdir -p "$camp/seeds" build/fuzz/artifacts
build/fuzz/bin/make_seeds "$camp/seeds"

if [ $# -gt 0 ]; then
  targets=()
  for name in "$@"; do targets+=("build/fuzz/bin/$name"); done
else
  targets=(build/fuzz/bin/fuzz_*)
fi

table=()
for target in "${targets[@]}"; do
  name=$(basename "$target")
  seeds="$camp/seeds"
  [ -d "fuzz/seeds/$name" ] && seeds="fuzz/seeds/$name"
  mkdir -p "$camp/$name"
  log="$camp/$name.log"
  t0=$(date +%s)
  rc=0
  "$target" -runs="$RUNS" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix=build/fuzz/artifacts/ \
    "$camp/$name" "$seeds" >"$log" 2>&1 || rc=$?
  secs=$(( $(date +%s) - t0 ))
  if [ $rc -ne 0 ]; then
    tail -60 "$log" >&2
    echo "fuzz-campaign.sh: $name failed (exit $rc); inputs in build/fuzz/artifacts/" >&2
    exit 1
  fi
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log" | tail -1)
  cov=$({ grep -E '^#[0-9]+[[:space:]]+DONE' "$log" || true; } | tail -1 | sed -n 's/.* cov: \([0-9]*\).*/\1/p')
  corpus=$(find "$camp/$name" -type f | wc -l)
  rate=$(( execs / (secs > 0 ? secs : 1) ))
  line=$(printf '| %-16s | %12s | %6s | %8s | %5s | %7s | %5s MB |' \
    "$name" "$execs" "$secs" "$rate" "${cov:-?}" "$corpus" "${rss:-?}")
  echo "$line"
  table+=("$line")
done

echo
echo "| target           |   executions |      s |   exec/s |  cov. |  corpus |  peak RSS |"
echo "|------------------|-------------:|-------:|---------:|------:|--------:|----------:|"
printf '%s\n' "${table[@]}"
