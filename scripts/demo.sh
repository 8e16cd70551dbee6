#!/usr/bin/env bash
# The main job: builds the native tools, the 64-bit Windows build that runs
# under Wine, and the shipped 32-bit stub.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

for preset in host win64 win32; do
  echo "== $preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset"
done

echo
echo "== built"
for f in build/host/bin/saverpack build/win32/bin/setup.exe build/win64/bin/setup.exe; do
  if [ -f "$f" ]; then
    echo "  $f ($(stat -c %s "$f") bytes)"
  else
    echo "  $f: not built yet"
  fi
done
echo "Packing the sample screen saver and installing it under Wine come in a later step."
