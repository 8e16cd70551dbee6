#!/usr/bin/env bash
# Builds what the benchmarks need, runs them and prints one markdown table:
# loading and packing against zlib, the packer's peak memory, installing and
# rolling back 1,000 files (64 MiB) under Wine against a plain Win32 writer,
# the installer's peak memory, the registry tree benchmark, the stub sizes,
# and the same files installed by two NSIS installers (zlib, solid LZMA)
# timed in the same runs as ours.
#
#   bash bench/table.sh [--quick] [--runs N] [--no-build]
#
#   --quick     small sizes (50 files of 4 MiB in all, 4 MiB packages, 100
#               registry keys, 3 runs): a smoke run, its figures mean little
#   --runs N    timed runs of the installers and the registry benchmark
#               (default 5; the table gives medians and the spread)
#   --no-build  use the builds as they are
#
# Needs makensis (Debian's nsis package; scripts/setup.sh installs it) and
# the Wine set-up of the win64 build. The work files (the NSIS installers'
# sources and the installers) go to build/bench-table/, where each
# benchmark's own report stays; the table is also written to
# build/bench-table.md. The progress
# goes to standard error, the table to standard output.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

quick=0
runs=5
build=1
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) quick=1 ;;
    --runs) runs=${2:?--runs needs a number}; shift ;;
    --no-build) build=0 ;;
    *) echo "usage: bash bench/table.sh [--quick] [--runs N] [--no-build]" >&2; exit 2 ;;
  esac
  shift
done
if [ "$quick" = 1 ]; then
  files=50 mib=4 native_mib=4 reg_keys=100 reg_values=10
  [ "$runs" = 5 ] && runs=3
else
  files=1000 mib=64 native_mib=64 reg_keys=1000 reg_values=10
fi
jobs=${BENCH_JOBS:-2}

work="$root/build/bench-table"
wine_run="$root/build/win64/wine-run"
say() { echo "table: $*" >&2; }

if ! command -v makensis >/dev/null; then
  say "makensis is missing (Debian package nsis): run bash scripts/setup.sh"
  exit 1
fi

# --- builds --------------------------------------------------------------------
# Only the targets the table needs; a failed step shows its log.
step() {
  local log="$work/$1.log"
  shift
  if ! "$@" >"$log" 2>&1; then
    say "failed: $* (log: $log)"
    tail -40 "$log" >&2
    exit 1
  fi
}
rm -rf "$work"
mkdir -p "$work"
t_start=$SECONDS
if [ "$build" = 1 ]; then
  say "building (release, win32, win64)"
  step configure-release cmake --preset release
  step build-release cmake --build --preset release -j "$jobs" --target load_bench pack_bench
  step configure-win32 cmake --preset win32
  step build-win32 cmake --build --preset win32 -j "$jobs" --target setup
  step configure-win64 cmake --preset win64
  step build-win64 cmake --build --preset win64 -j "$jobs" --target setup install_bench registry_bench
fi
for f in build/release/bin/load_bench build/release/bin/pack_bench build/win32/bin/setup.exe \
  build/win64/bin/setup.exe build/win64/bin/install_bench.exe build/win64/bin/registry_bench.exe "$wine_run"; do
  [ -f "$f" ] || { say "$f is missing: run without --no-build"; exit 1; }
done

# --- native benchmarks -----------------------------------------------------------
say "load_bench $native_mib MiB"
(cd "$work" && "$root/build/release/bin/load_bench" "$native_mib") >"$work/load.out"
say "pack_bench $native_mib MiB"
build/release/bin/pack_bench "$native_mib" >"$work/pack.out"

# --- Windows benchmarks under Wine -----------------------------------------------
# Z: is the Linux root in the prefix.
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
stop_wine() { "$wine_run" --stop >/dev/null 2>&1 || true; }
trap stop_wine EXIT
"$wine_run" --start >/dev/null

# The NSIS installers carry the very files the plain writer writes (the
# plain writer makes them), under the same names, in the same folders.
say "NSIS installers of the same $files files ($mib MiB)"
mkdir -p "$work/files"
"$wine_run" build/win64/bin/install_bench.exe --plain "$(winpath "$work/files")" "$files" "$mib"
nsis_script() {  # COMPRESSOR OUTFILE
  echo "Target amd64-unicode"
  echo "SetCompressor $1"
  echo "Name \"Bench\""
  echo "OutFile \"$2\""
  echo "InstallDir \"\$TEMP\\bench\""
  echo "RequestExecutionLevel user"
  echo "Section"
  local d f
  for d in "$work"/files/d*; do
    echo "  SetOutPath \"\$INSTDIR\\$(basename "$d")\""
    for f in "$d"/*; do
      echo "  File \"$f\""
    done
  done
  echo "SectionEnd"
}
make_nsis() {  # NAME COMPRESSOR
  nsis_script "$2" "$work/$1.exe" >"$work/$1.nsi"
  local t0
  t0=$(date +%s.%N)
  step "makensis-$1" makensis -V2 "$work/$1.nsi"
  echo "$1: made by makensis in $(awk "BEGIN { printf \"%.1f\", $(date +%s.%N) - $t0 }") s" >>"$work/makensis.out"
}
make_nsis nsis-zlib zlib
make_nsis nsis-lzma "/SOLID lzma"
rm -rf "$work/files"

say "install_bench $files files, $mib MiB, $runs runs (with the NSIS installers)"
"$wine_run" build/win64/bin/install_bench.exe "$files" "$mib" "$runs" \
  --peer "NSIS zlib" "$(winpath "$work/nsis-zlib.exe")" "/S /D={target}" \
  --peer "NSIS LZMA solid" "$(winpath "$work/nsis-lzma.exe")" "/S /D={target}" >"$work/install.out"
say "registry_bench $reg_keys keys, $reg_values values each, $runs runs"
"$wine_run" build/win64/bin/registry_bench.exe "$reg_keys" "$reg_values" "$runs" >"$work/registry.out"
stop_wine
trap - EXIT

# --- the table -------------------------------------------------------------------
# pick FILE REGEX: group 1 of the first line that matches (Perl regex). A
# regex that matches nothing is a fault of this script: the benchmark's
# report changed.
pick() {
  local v
  v=$(RE="$2" perl -ne 'if (/$ENV{RE}/) { print "$1\n"; exit }' "$1")
  if [ -z "$v" ]; then
    say "cannot find /$2/ in $1:"
    cat "$1" >&2
    exit 1
  fi
  echo "$v"
}
num='(-?[0-9.]+)'
span='(-?[0-9.]+ s \(-?[0-9.]+\.\.-?[0-9.]+\))'
calc() { awk "BEGIN { printf \"%.2f\", $1 }"; }
bytes() { echo "$1" | sed -E ':a; s/([0-9])([0-9]{3})($|,)/\1,\2\3/; ta'; }
mibs() { awk "BEGIN { printf \"%.1f MiB\", $1 / 1048576 }"; }

load_zlib=$(pick "$work/load.out" "^zlib uncompress: +$num s")
load_ours=$(pick "$work/load.out" "^load to script: +$num s")
load_ratio=$(pick "$work/load.out" "^ratio: $num ")
pack_zlib=$(pick "$work/pack.out" "^zlib compress: +$num s")
pack_ours=$(pick "$work/pack.out" "^saverpack build: +$num s")
pack_ratio=$(pick "$work/pack.out" "^ratio: ${num}x")
pack_peak=$(pick "$work/pack.out" "^peak heap of a build: ([0-9]+) bytes")
pack_peak_ratio=$(pick "$work/pack.out" "^peak heap of a build: [0-9]+ bytes = $num x")

i="$work/install.out"
ours_size=$(pick "$i" "^package: .* installer ([0-9]+) bytes")
plain_size=$(pick "$i" "plain script stream ([0-9]+) bytes")
t_plain=$(pick "$i" "^  plain writer +$span")
t_install=$(pick "$i" "^  silent installation +$span")
install_ratio=$(pick "$i" "^  silent installation .*  ${num}x the plain writer")
install_run_ratio=$(pick "$i" "^    run by run +(median [0-9.]+x, from [0-9.]+x to [0-9.]+x)")
t_failing=$(pick "$i" "^  install \+ rollback +$span")
rollback_alone=$(pick "$i" "rollback alone $span")
rollback_ratio=$(pick "$i" "rollback alone .* = ${num}x")
peak_ws=$(pick "$i" "^  peak memory +working set ([0-9.]+ MiB = [0-9.]+x)")
peak_private=$(pick "$i" "^  peak memory .* private ([0-9.]+ MiB = [0-9.]+x)")
peer_row() {  # NAME
  local line size t ratio runs mem
  size=$(pick "$i" "^peer $1: installer ([0-9]+) bytes")
  t=$(pick "$i" "^  peer $1 +$span")
  ratio=$(pick "$i" "^  peer $1 .* the installation takes ${num}x its time")
  runs=$(pick "$i" "^  peer $1 .*\(run by run: (median [0-9.]+x, from [0-9.]+x to [0-9.]+x)\)")
  mem=$(pick "$i" "^  peer $1 .* peak working set ([0-9.]+ MiB), private")
  echo "| Silent installation of the same files by $1 (installer $(bytes "$size") bytes; peak working set $mem) | $(echo "$t_install" | sed 's/ (.*//') | $t | **${ratio}x** (run by run: $runs) | faster: below 1x |"
}

r="$work/registry.out"
reg_tree=$(pick "$r" "^tree: ([0-9]+ keys, [0-9]+ values)")
reg_plain=$(pick "$r" "^plain writer, making the tree: +$span")
reg_delete=$(pick "$r" "^installer, back up and delete: +$span")
reg_delete_ratio=$(pick "$r" "^installer, back up and delete: .*\($num x plain\)")
reg_back=$(pick "$r" "^installer, back up, delete, roll back: +$span")
reg_back_ratio=$(pick "$r" "^installer, back up, delete, roll back: .*\($num x plain\)")
reg_alone=$(pick "$r" "^the rollback alone \(difference\): +$span")
reg_alone_ratio=$(pick "$r" "^the rollback alone \(difference\): .*\($num x plain\)")

stub32=$(stat -c %s build/win32/bin/setup.exe)
stub64=$(stat -c %s build/win64/bin/setup.exe)

table() {
  echo "| Figure | Ours | Against | Ratio | Target |"
  echo "|---|---|---|---|---|"
  echo "| Loading a package of $native_mib MiB of files to its script (native, best of 5) | $load_ours s | zlib \`uncompress\` of its body: $load_zlib s | **${load_ratio}x** | at most 1.3x |"
  echo "| \`saverpack build\` of $native_mib MiB of files (native, best of 3) | $pack_ours s | zlib \`compress\` of its plain stream: $pack_zlib s | **${pack_ratio}x** | at most 1.2x |"
  echo "| Peak heap of \`saverpack build\` | $(mibs "$pack_peak") | the plain stream | ${pack_peak_ratio}x | |"
  echo "| Silent installation of $files files ($mib MiB) under Wine, process start to exit | $t_install | plain Win32 writer of the same bytes: $t_plain | **${install_ratio}x** (run by run: $install_run_ratio) | at most 1.15x |"
  echo "| Rollback of the same installation (a failing last step; install + rollback $t_failing) | $rollback_alone | the installation | **${rollback_ratio}x** | at most 1.5x |"
  echo "| Peak memory of the installer | working set $peak_ws, private $peak_private | the plain script stream ($(mibs "$plain_size")) | | |"
  peer_row "NSIS zlib"
  peer_row "NSIS LZMA solid"
  echo "| Our installer of the same files (win64 stub) | $(bytes "$ours_size") bytes | NSIS zlib $(bytes "$(pick "$i" "^peer NSIS zlib: installer ([0-9]+) bytes")"), NSIS LZMA solid $(bytes "$(pick "$i" "^peer NSIS LZMA solid: installer ([0-9]+) bytes")") bytes | | |"
  echo "| Registry: back up and delete a tree of $reg_tree (in-process) | $reg_delete | plain writer making the tree: $reg_plain | ${reg_delete_ratio}x | |"
  echo "| Registry: back up, delete, roll back the same tree | $reg_back | the same | ${reg_back_ratio}x | |"
  echo "| Registry: the rollback alone (difference) | $reg_alone | the same | ${reg_alone_ratio}x | |"
  echo "| Stub \`setup.exe\`, win32 preset (shipped) | $(bytes "$stub32") bytes | 96 KiB = 98,304 bytes | $(calc "$stub32 / 98304")x | at most 96 KiB |"
  echo "| Stub \`setup.exe\`, win64 preset | $(bytes "$stub64") bytes | | | |"
}
table | tee "$work/../bench-table.md"
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
echo
echo "Native figures: best of several rounds in one process. Wine figures: median (lowest..highest) of $runs runs; the installers and the plain writer are started with CreateProcess in turns, in the same Wine prefix, each into a fresh empty folder, and timed from process start to exit. $(nproc) cores ($cpu), $(wine --version 2>/dev/null | head -1), load average at the end $(cut -d' ' -f1-3 /proc/loadavg); whole run $((SECONDS - t_start)) s." | tee -a "$work/../bench-table.md"
cat "$work/makensis.out" >&2
# The reports stay for a closer look; the installers go.
rm -f "$work"/*.exe
