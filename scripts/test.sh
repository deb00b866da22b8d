#!/usr/bin/env bash
# Installs what is missing, builds everything (editor, batch tool, tests, benchmarks) in build/
# and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh xvfb xauth x11-utils xdotool x11-apps netpbm
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j"$(nproc)"
