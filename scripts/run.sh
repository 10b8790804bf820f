#!/usr/bin/env bash
# Builds the plugin and runs the development host on the simulated hardware.
# Arguments are passed to the development host (see --help).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build/run -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORVA_BUILD_TESTS=OFF -DZORVA_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build/run -j"$(nproc 2>/dev/null || echo 2)" --target zorva-devhost ZORVAplugin
exec build/run/bin/zorva-devhost "$@"
