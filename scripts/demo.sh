#!/usr/bin/env bash
# The main job: builds the native tools, the 64-bit Windows build that runs
# under Wine and the shipped 32-bit stub; packs the sample screen saver with
# the 32-bit and the 64-bit stub, installs it silently under Wine and shows
# what the installation changed (files with sizes and versions).
#
# SAVER_BUILD_ROOT (default: build) is where the three builds and the demo's
# files go.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
b=${SAVER_BUILD_ROOT:-build}

for preset in host win64 win32; do
  echo "== $preset"
  cmake --preset "$preset" -B "$b/$preset"
  cmake --build "$b/$preset"
done

echo
echo "== built"
for f in "$b/host/bin/saverpack" "$b/win32/bin/setup.exe" "$b/win64/bin/setup.exe"; do
  if [ -f "$f" ]; then
    echo "  $f ($(stat -c %s "$f") bytes)"
  else
    echo "  $f: not built" >&2
    exit 1
  fi
done

# --- pack ---------------------------------------------------------------------
# The script names the files it carries relative to itself: the saver as the
# 32-bit build ships it, and its readme.
demo=$b/demo
stage=$demo/stage
rm -rf "$stage"
mkdir -p "$stage"
cp examples/glimmer/glimmer.json examples/saver/readme.txt "$b/win32/bin/glimmer.scr" "$stage/"

echo
echo "== pack the sample screen saver"
for bits in 32 64; do
  "$b/host/bin/saverpack" build "$stage/glimmer.json" --stub "$b/win$bits/bin/setup.exe" \
    -o "$demo/glimmer-setup$bits.exe"
  "$b/host/bin/saverpack" verify "$demo/glimmer-setup$bits.exe" | sed 's/^/  /'
done

# --- install ------------------------------------------------------------------
# A Wine prefix of the demo's own (made on the first run), so that what the
# installation changes is not mixed with what the tests leave behind.
mkdir -p "$demo/wine"
export SAVER_WINE_DIR=$(cd "$demo/wine" && pwd)
run() { bash cmake/wine-run.sh "$@"; }
drive_c="$SAVER_WINE_DIR/prefix/drive_c"
listing="$b/win64/bin/files_listing.exe"
watched='C:\windows'

# The Wine server stays up between the programs below and goes at the end.
run --start >/dev/null
trap 'run --stop >/dev/null' EXIT

uninstall() {
  rm -rf "$drive_c/windows/system32/Glimmer" "$drive_c/windows/system32/glimmer.scr" \
         "$drive_c/windows/Glimmer" "$drive_c/windows/glimmer.scr"
}

install() {
  local bits=$1 before after rc=0
  # Debian's 64-bit Wine alone tries a 32-bit program in an experimental
  # mode that fails and still reports 0: without the 32-bit loader there is
  # nothing to run it with.
  if [ "$bits" = 32 ] && [ ! -x /usr/lib/wine/wine ]; then
    echo "  not run: this Wine starts 64-bit programs only (the 32-bit installer above is packed and verified)"
    return 0
  fi
  uninstall
  before=$(run "$listing" "$watched" | tr -d '\r')
  run "$demo/glimmer-setup$bits.exe" -s >"$demo/install$bits.log" 2>&1 || rc=$?
  if [ $rc -ne 0 ] && grep -q "could not be started" "$demo/install$bits.log"; then
    echo "  not run: this Wine starts 64-bit programs only (the 32-bit installer above is packed and verified)"
    return 0
  fi
  echo "  exit code $rc"
  after=$(run "$listing" "$watched" | tr -d '\r')
  echo "  changed files (path, size, file version, language):"
  { diff <(echo "$before") <(echo "$after") || true; } | sed -n 's/^> /    + /p; s/^< /    - /p' | tr '\t' ' '
  [ $rc -eq 0 ]
}

echo
echo "== install silently under Wine: 64-bit stub"
install 64
echo
echo "== install silently under Wine: 32-bit stub"
install 32
