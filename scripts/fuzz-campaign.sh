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
#   WORKERS=2 bash scripts/fuzz-campaign.sh fuzz_background   # two processes
# FUZZ_NO_BUILD=1 skips the build (for campaigns run side by side).
# TIMEOUT (default 10) is libFuzzer's -timeout, the seconds one input may
# take by the wall clock: a campaign run at a low priority beside other work
# needs more, or a starved process reports a timeout on an input that takes
# a fraction of a second on its own.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
RUNS=${RUNS:-10000000}
WORKERS=${WORKERS:-1}
TIMEOUT=${TIMEOUT:-10}

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
  # WORKERS processes share the corpus folder (each picks up what the
  # others add) and split the executions that are missing.
  pids=()
  logs=()
  for w in $(seq 1 "$WORKERS"); do
    wlog=$log
    [ "$w" -gt 1 ] && wlog="$log.$w"
    logs+=("$wlog")
    "$target" -runs=$(( (left + WORKERS - 1) / WORKERS )) -timeout="$TIMEOUT" -rss_limit_mb=2048 -max_len=65536 \
      -print_final_stats=1 -artifact_prefix=build/fuzz/artifacts/ \
      "$camp/$name" "$seeds" >"$wlog" 2>&1 &
    pids+=($!)
  done
  # A worker that finds something stops the others (they are interrupted
  # and count what they did).
  rc=0
  failed=""
  running=("${pids[@]}")
  while [ ${#running[@]} -gt 0 ]; do
    wrc=0
    wait -n -p done "${running[@]}" || wrc=$?
    left_over=()
    for p in "${running[@]}"; do [ "$p" = "$done" ] || left_over+=("$p"); done
    running=("${left_over[@]}")
    if [ $wrc -ne 0 ] && [ $wrc -ne $interrupted ] && [ -z "$failed" ]; then
      for k in "${!pids[@]}"; do
        [ "${pids[$k]}" = "$done" ] && failed="${logs[$k]}"
      done
      rc=$wrc
      [ ${#running[@]} -gt 0 ] && kill -INT "${running[@]}" 2>/dev/null || true
    elif [ $wrc -eq $interrupted ] && [ -z "$failed" ]; then
      rc=$interrupted
    fi
  done
  secs=$(( $(date +%s) - t0 ))
  execs=0
  rss=0
  for wlog in "${logs[@]}"; do
    n=$(sed -n 's/^stat::number_of_executed_units: *//p' "$wlog" | tail -1)
    m=$(sed -n 's/^stat::peak_rss_mb: *//p' "$wlog" | tail -1)
    execs=$(( execs + ${n:-0} ))
    [ "${m:-0}" -gt "$rss" ] && rss=$m
  done
  if [ -n "$failed" ]; then
    # What the others did still counts.
    echo $(( total + execs )) >"$camp/$name.total"
    tail -60 "$failed" >&2
    echo "fuzz-campaign.sh: $name failed (exit $rc); inputs in build/fuzz/artifacts/" >&2
    exit 1
  fi
  total=$(( total + ${execs:-0} ))
  echo "$total" >"$camp/$name.total"
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
