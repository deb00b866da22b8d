#!/usr/bin/env bash
# Installs what is missing, builds the editor and the batch tool in build/ and starts the editor.
# Without a display it converts the bundled sample with modelsmith-batch instead and says so.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target modelsmith-batch modelsmith
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/src/app/modelsmith ]; then
  exec build/src/app/modelsmith
fi
echo "No display: converting the bundled sample with modelsmith-batch."
out="${TMPDIR:-/tmp}/modelsmith-sample"
mkdir -p "$out"
cd samples
../build/src/batch/modelsmith-batch info figure.x replace figure.x save "$out/figure.gmf" info "$out/figure.gmf" \
    load-skeleton figure.x select-frame Scene_Root render "$out/figure.png"
echo "Wrote $out/figure.gmf and a picture of the viewport, $out/figure.png"
