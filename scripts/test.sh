#!/usr/bin/env bash
# Runs everything CI runs, in this order, and stops at the first failure:
#   0. layers:    which folder includes which (scripts/check_layers.py)
#   1. host-asan: build with ASan+UBSan, run the native tests
#      host-tsan: build with TSan, run the tests of the threaded parts
#   2. win32:     cross build of the shipped stub (prints its size; fails
#                 when the stub is larger than STUB_BUDGET bytes)
#   3. win64:     cross build, run the Windows tests under Wine
#      stub32:    the shipped stub installs and rolls back under a 32-bit
#                 Wine (scripts/stub32-e2e.sh); runs when that environment
#                 is cached, or is built with SAVER_STUB32_E2E=build (5 to
#                 20 minutes); counted as skipped otherwise, never as passed
#   4. fuzz:      scripts/fuzz.sh, when there is one
# Warnings are errors in every stage.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

JOBS=${JOBS:-$(nproc)}
# The shipped 32-bit stub may not grow beyond this (96 KiB).
STUB_BUDGET=98304
names=()
secs=()
passed=0
failed=0
skipped=0
current=""
stage_t0=0

now() { date +%s%N; }
elapsed() { local ds=$(( ($(now) - stage_t0) / 100000000 )); echo "$((ds / 10)).$((ds % 10))"; }

summary() {
  echo
  echo "== summary"
  local i
  for i in "${!names[@]}"; do
    printf '  %-10s %7s s\n' "${names[$i]}" "${secs[$i]}"
  done
  if [ -f build/win32/bin/setup.exe ]; then
    cmake -DFILE=build/win32/bin/setup.exe -DLABEL=win32 -P cmake/print-size.cmake 2>&1 | sed 's/^/  /'
  fi
  echo "test.sh: $passed passed, $failed failed, $skipped skipped"
}

on_exit() {
  local rc=$?
  if [ $rc -ne 0 ] && [ -n "$current" ]; then
    names+=("$current")
    secs+=("$(elapsed)")
    echo "test.sh: stage '$current' FAILED" >&2
    summary
  fi
}
trap on_exit EXIT

begin() {
  current=$1
  stage_t0=$(now)
  echo
  echo "== $current"
}

end() {
  names+=("$current")
  secs+=("$(elapsed)")
  current=""
}

# Adds the counts of a ctest run from its JUnit report.
count_tests() {
  local report=$1 line total f s
  [ -f "$report" ] || return 0
  line=$(tr '\n\t' '  ' <"$report" | grep -m1 -o '<testsuite [^>]*>') || return 0
  total=$(sed -n 's/.* tests="\([0-9]*\)".*/\1/p' <<<"$line")
  f=$(sed -n 's/.* failures="\([0-9]*\)".*/\1/p' <<<"$line")
  s=$(sed -n 's/.* skipped="\([0-9]*\)".*/\1/p' <<<"$line")
  passed=$((passed + ${total:-0} - ${f:-0} - ${s:-0}))
  failed=$((failed + ${f:-0}))
  skipped=$((skipped + ${s:-0}))
}

# Fails when the stub is larger than its budget.
check_stub_size() {
  local file=$1 size
  size=$(stat -c %s "$file")
  if [ "$size" -gt "$STUB_BUDGET" ]; then
    echo "test.sh: $file is $(group "$size") bytes, over its budget of $(group "$STUB_BUDGET") bytes" \
         "by $(group $((size - STUB_BUDGET)))" >&2
    return 1
  fi
  echo "$file: $(group "$size") bytes, $(group $((STUB_BUDGET - size))) below the budget of $(group "$STUB_BUDGET")"
}

# 98304 -> 98,304
group() {
  local n=$1 out=""
  while [ ${#n} -gt 3 ]; do
    out=",${n: -3}$out"
    n=${n:0:${#n}-3}
  done
  echo "$n$out"
}

run_ctest() {
  local preset=$1 report rc=0
  report="$PWD/build/$preset/ctest-junit.xml"
  rm -f "$report"
  ctest --preset "$preset" -j "$JOBS" --output-junit "$report" || rc=$?
  count_tests "$report"
  return $rc
}

# Cheap and independent of any build: first.
begin layers
python3 scripts/check_layers.py --self-test
python3 scripts/check_layers.py
end

begin host-asan
cmake --preset host-asan -DSAVER_WERROR=ON
cmake --build --preset host-asan
run_ctest host-asan
end

# The script runs while its package is read on another thread.
begin host-tsan
cmake --preset host-tsan -DSAVER_WERROR=ON
cmake --build --preset host-tsan
run_ctest host-tsan
end

# The shipped 32-bit stub is built before the Windows tests run: they scan it
# for the package marker too.
begin win32
cmake --preset win32 -DSAVER_WERROR=ON
cmake --build --preset win32
check_stub_size build/win32/bin/setup.exe
end

begin win64
cmake --preset win64 -DSAVER_WERROR=ON
cmake --build --preset win64
run_ctest win64
end

begin stub32
rc=0
if [ "${SAVER_STUB32_E2E:-}" = build ]; then
  bash scripts/stub32-e2e.sh || rc=$?
else
  bash scripts/stub32-e2e.sh --cached-only || rc=$?
fi
case $rc in
  0) passed=$((passed + 1)) ;;
  77) skipped=$((skipped + 1)) ;;
  *) exit $rc ;;
esac
end

if [ -f scripts/fuzz.sh ]; then
  begin fuzz
  bash scripts/fuzz.sh
  end
fi

summary
