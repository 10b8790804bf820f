#!/usr/bin/env bash
# Makes the kept traces again on the simulated bench of bench.ini, each with
# the development host's --record-trace (README.md says what each shows).
# The host's timing differs from run to run: a new trace of the same command
# may hand the plugin its blocks at other points, so the expectations of
# tests/devhost/TraceEndToEndTest.cpp are checked against it afterwards.
#   traces/make.sh [BUILD_FOLDER]   (default build/run, as scripts/run.sh builds it)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${1:-$root/build/run}
if [ ! -x "$build/bin/zorva-devhost" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORVA_BUILD_TESTS=OFF -DZORVA_BUILD_BENCHMARKS=OFF >/dev/null
  cmake --build "$build" -j2 --target zorva-devhost
fi
export ZORVA_SIM_SCENARIO=$here/bench.ini
# No configuration files: standard plates only.
drive=$(mktemp -d)
trap 'rm -rf "$drive"' EXIT
export ZORVA_DRIVE_C=$drive

record() {
  local name=$1
  shift
  echo "== $name: zorva-devhost $*"
  (cd "$here" && "$build/bin/zorva-devhost" "$@" --record-trace "$name.trace" >/dev/null)
}

record lost-block capture --seconds 1.6 --mode genlock --rate 500 --at 1.0:lose=1
record repeated-block capture --seconds 1.6 --mode genlock --rate 500 --at 1.0:repeat=1
record transfer-failure capture --seconds 1.6 --mode genlock --rate 500 --at 1.0:fail=2
record unplugged-at-rescan capture --seconds 6 --mode genlock --rate 500 --at 1.0:zero --at 1.2:unplug=Right
ls -l "$here"/*.trace
