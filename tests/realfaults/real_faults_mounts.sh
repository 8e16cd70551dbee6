#!/usr/bin/env bash
# Real faults that need the file system's help: a drive that fills up
# half-way through a file, and a folder that denies writing.
#
#   real_faults_mounts.sh WINE_RUN WIN_TESTS_EXE
#
# Mounts, as root in the machine's own mount namespace (the wineserver must
# see them):
#   full/         a tmpfs of 2 MiB                     -> SAVER_REALFAULTS_FULL_DRIVE
#   locked/       a writable tmpfs of 1 MiB            -> SAVER_REALFAULTS_LOCKED_DRIVE
#   locked/Saver/locked  a tmpfs remounted read-only, holding old.txt and inner/x.txt
# maps each to a free drive letter of the Wine prefix, runs the
# RealFaultsMounted tests of WIN_TESTS_EXE, and always takes the letters and
# the mounts away again. Where mounting is not permitted the test reports
# itself skipped (exit code 77) and says why.
set -euo pipefail

wine_run=${1:?usage: real_faults_mounts.sh WINE_RUN WIN_TESTS_EXE}
tests_exe=${2:?usage: real_faults_mounts.sh WINE_RUN WIN_TESTS_EXE}

skip() {
  echo "SKIPPED: $*"
  exit 77
}

[ "$(id -u)" = 0 ] || skip "mounting a small drive needs root (the test runs as uid $(id -u))"
command -v mount >/dev/null || skip "no mount command"

eval "$("$wine_run" --shell)"
: "${WINEPREFIX:?wine-run did not name the prefix}"

# A run that was killed outright (a ctest time-out) could not unmount: its
# mounts, newest first, and the drive letters that lead to them go now.
for stale in $(awk '$2 ~ /\/saver-realfaults\.[^\/]*\// {print $2}' /proc/mounts | sort -r); do
  case "$stale" in
    "${TMPDIR:-/tmp}"/saver-realfaults.*) umount "$stale" 2>/dev/null || umount -l "$stale" || true ;;
  esac
done
for link in "$WINEPREFIX"/dosdevices/?:; do
  case "$(readlink "$link")" in
    "${TMPDIR:-/tmp}"/saver-realfaults.*) rm -f "$link" ;;
  esac
done
for stale in "${TMPDIR:-/tmp}"/saver-realfaults.*; do
  if [ -d "$stale" ] && ! grep -qF " $stale/" /proc/mounts; then
    rm -rf "$stale"
  fi
done

base=$(mktemp -d "${TMPDIR:-/tmp}/saver-realfaults.XXXXXX")
mounts=()
letters=()

cleanup() {
  local rc=$? i
  set +e
  for i in "${letters[@]}"; do
    rm -f "$WINEPREFIX/dosdevices/$i"
  done
  # Newest first: the read-only folder lies inside the writable drive.
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    umount "${mounts[i]}" 2>/dev/null || umount -l "${mounts[i]}" ||
      echo "real_faults_mounts: could not unmount ${mounts[i]}" >&2
  done
  for i in "${mounts[@]}"; do
    if mountpoint -q "$i"; then
      echo "real_faults_mounts: $i is still mounted" >&2
      rc=1
    fi
  done
  rm -rf "$base"
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# mount_tmpfs DIR SIZE: mounts a tmpfs, or skips the test when mounting is
# not permitted here (no privilege, a container without CAP_SYS_ADMIN).
mount_tmpfs() {
  mkdir -p "$1"
  local err
  if ! err=$(mount -t tmpfs -o "size=$2,mode=0755" saver-realfaults "$1" 2>&1); then
    skip "mount is not permitted here: $err"
  fi
  mounts+=("$1")
}

# A free drive letter, mapped to DIR; its name ("q:") is printed.
map_drive() {
  local l
  for l in q r s t u v w x y; do
    if [ ! -e "$WINEPREFIX/dosdevices/$l:" ] && [ ! -L "$WINEPREFIX/dosdevices/$l:" ]; then
      ln -s "$1" "$WINEPREFIX/dosdevices/$l:"
      echo "$l:"
      return 0
    fi
  done
  echo "real_faults_mounts: no free drive letter in $WINEPREFIX/dosdevices" >&2
  return 1
}

mount_tmpfs "$base/full" 2m
mount_tmpfs "$base/locked" 1m
mkdir -p "$base/locked/Saver/locked"
mount_tmpfs "$base/locked/Saver/locked" 256k
mkdir -p "$base/locked/Saver/locked/inner"
printf 'locked old' >"$base/locked/Saver/locked/old.txt"
printf 'locked x' >"$base/locked/Saver/locked/inner/x.txt"
mount -o remount,ro "$base/locked/Saver/locked"
if touch "$base/locked/Saver/locked/probe" 2>/dev/null; then
  echo "real_faults_mounts: the read-only mount takes writes" >&2
  exit 1
fi

full=$(map_drive "$base/full")
letters+=("$full")
locked=$(map_drive "$base/locked")
letters+=("$locked")
echo "real_faults_mounts: full drive ${full^^} (2 MiB), read-only folder ${locked^^}\\Saver\\locked"

out="$base/out.txt"
rc=0
# In the background, so that a signal reaches the trap at once.
SAVER_REALFAULTS_FULL_DRIVE="${full^^}" SAVER_REALFAULTS_LOCKED_DRIVE="${locked^^}" \
  "$wine_run" "$tests_exe" --gtest_filter='RealFaultsMounted.*' >"$out" 2>&1 &
wait $! || rc=$?
cat "$out"
if [ "$rc" -ne 0 ]; then
  exit "$rc"
fi
# A test that skipped itself did not prove anything.
if grep -q '^\[  SKIPPED \]' "$out"; then
  skip "the tests skipped themselves (see above)"
fi
if ! grep -q '^\[  PASSED  \] [1-9]' "$out"; then
  echo "real_faults_mounts: no test ran" >&2
  exit 1
fi
