#!/usr/bin/env bash
# Builds the plugin and runs the development host on the simulated hardware.
# Arguments are passed to the development host (see --help).
#
# Unless ZORVA_SIM_SCENARIO or ZORVA_DRIVE_C are set, the bench and the
# configuration files are the examples' (examples/bench.ini and a copy of
# examples/ZORVA/CFG), so a first run shows custom plates too.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/setup.sh
cmake -S . -B build/run -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORVA_BUILD_TESTS=OFF -DZORVA_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build/run -j"$(nproc 2>/dev/null || echo 2)" --target zorva-devhost ZORVAplugin

if [ -z "${ZORVA_SIM_SCENARIO:-}" ]; then
  export ZORVA_SIM_SCENARIO="$root/examples/bench.ini"
fi
if [ -z "${ZORVA_DRIVE_C:-}" ]; then
  # A fresh copy each run: the user's own ~/.zorva/drive_c is not touched, and
  # trying edits in the copy leaves examples/ as it is.
  rm -rf build/run/drive_c
  mkdir -p build/run/drive_c
  cp -R examples/ZORVA build/run/drive_c/
  export ZORVA_DRIVE_C="$root/build/run/drive_c"
  echo "run.sh: configuration files from examples/ZORVA/CFG, copied to $ZORVA_DRIVE_C" \
       "(set ZORVA_DRIVE_C to use your own)" >&2
fi
exec build/run/bin/zorva-devhost "$@"
