#!/usr/bin/env bash
# A long fuzzing campaign: every fuzz target (or the ones named) until it
# has had RUNS executions (default ten million), one after the other, each
# from the corpus that earlier runs left in build/fuzz/campaign/NAME plus
# its seeds. A campaign can be stopped (Ctrl-C, or SIGINT to the fuzzer)
# and resumed: the executions done so far are kept in NAME.total beside
# the corpus, and a later run does only what is missing. Prints one line of
# figures per target and a table at the end:
#   target, executions in all, executions of this run, seconds, executions
#   per second, coverage (edges), corpus entries, peak memory.
# A crash, leak, timeout or failed check stops the campaign with the
# target's log and the input in build/fuzz/artifacts/.
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

# libFuzzer's exit code when it was interrupted (SIGINT).
interrupted=72

table=()
for target in "${targets[@]}"; do
  name=$(basename "$target")
  seeds="$camp/seeds"
  [ -d "fuzz/seeds/$name" ] && seeds="fuzz/seeds/$name"
  mkdir -p "$camp/$name"
  log="$camp/$name.log"
  total=0
  [ -f "$camp/$name.total" ] && total=$(cat "$camp/$name.total")
  left=$(( RUNS - total ))
  if [ $left -le 0 ]; then
    line=$(printf '| %-16s | %12s | %10s | %6s | %8s | %5s | %7s | %8s |' \
      "$name" "$total" 0 - - - "$(find "$camp/$name" -type f | wc -l)" -)
    echo "$line"
    table+=("$line")
    continue
  fi
  t0=$(date +%s)
  rc=0
  "$target" -runs="$left" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix=build/fuzz/artifacts/ \
    "$camp/$name" "$seeds" >"$log" 2>&1 || rc=$?
  secs=$(( $(date +%s) - t0 ))
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ $rc -ne 0 ] && [ $rc -ne $interrupted ]; then
    tail -60 "$log" >&2
    echo "fuzz-campaign.sh: $name failed (exit $rc); inputs in build/fuzz/artifacts/" >&2
    exit 1
  fi
  total=$(( total + ${execs:-0} ))
  echo "$total" >"$camp/$name.total"
  rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log" | tail -1)
  cov=$({ grep -E '^#[0-9]+[[:space:]]+(DONE|REDUCE|NEW|pulse)' "$log" || true; } | tail -1 | sed -n 's/.* cov: \([0-9]*\).*/\1/p')
  corpus=$(find "$camp/$name" -type f | wc -l)
  rate=$(( ${execs:-0} / (secs > 0 ? secs : 1) ))
  line=$(printf '| %-16s | %12s | %10s | %6s | %8s | %5s | %7s | %5s MB |' \
    "$name" "$total" "${execs:-0}" "$secs" "$rate" "${cov:-?}" "$corpus" "${rss:-?}")
  echo "$line"
  table+=("$line")
  if [ $rc -eq $interrupted ]; then
    echo "fuzz-campaign.sh: $name interrupted after $total executions in all; run again to go on" >&2
    break
  fi
done

echo
echo "| target           |   executions | (this run) |      s |   exec/s |  cov. |  corpus |  peak RSS |"
echo "|------------------|-------------:|-----------:|-------:|---------:|------:|--------:|----------:|"
printf '%s\n' "${table[@]}"
