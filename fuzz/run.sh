#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/CMakeLists.txt, with clang) and runs them.
#
#   fuzz/run.sh --smoke            every target for a fixed number of inputs,
#                                  from the committed seeds (under a minute
#                                  with the build, on 2 cores)
#   fuzz/run.sh --long [SECONDS]   every target for SECONDS (default 300),
#                                  growing the corpus kept in build/fuzz/corpus
#   fuzz/run.sh ... TARGET...      only these targets (names without fuzz_)
#
# Fails on any finding: the input is kept in build/fuzz/findings/ and the
# target's log is printed. Reproduce with build/fuzz/fuzz_TARGET FILE.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

mode=${1:-}
shift || true
seconds=300
if [ "$mode" = "--long" ] && [[ "${1:-}" =~ ^[0-9]+$ ]]; then
  seconds=$1
  shift
fi
case "$mode" in
  --smoke | --long) ;;
  *)
    echo "usage: fuzz/run.sh --smoke | --long [SECONDS] [TARGET...]" >&2
    exit 2
    ;;
esac

# Inputs per target in a smoke run: a few seconds each.
declare -A smoke_runs=(
  [combination_file]=30000
  [treadmill_unit_file]=30000
  [treadmill_support_file]=30000
  [custom_definitions]=4000
  [parameter_values]=1000000
  [scenario]=40000
  [trace]=300000
)
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(combination_file treadmill_unit_file treadmill_support_file custom_definitions parameter_values scenario trace)
fi

compiler=${ZORVA_FUZZ_CXX:-clang++-14}
if ! command -v "$compiler" >/dev/null; then
  echo "fuzz/run.sh: $compiler not found (scripts/setup.sh installs clang-14 and libclang-rt-14-dev)" >&2
  exit 1
fi

build=$root/build/fuzz
started=$SECONDS
cmake -S fuzz -B "$build" -DCMAKE_CXX_COMPILER="$compiler" >/dev/null
jobs=$(nproc 2>/dev/null || echo 2)
if ! cmake --build "$build" -j"$jobs" >"$build/build.log" 2>&1; then
  tail -40 "$build/build.log"
  echo "fuzz build failed: $build/build.log" >&2
  exit 1
fi
if grep -q "warning:" "$build/build.log"; then
  grep -A3 "warning:" "$build/build.log" | head -40
  echo "the fuzz build gave warnings (above)" >&2
  exit 1
fi
echo "fuzz build: $((SECONDS - started)) s"

mkdir -p "$build/findings" "$build/logs"
for target in "${targets[@]}"; do
  if [ ! -x "$build/fuzz_$target" ]; then
    echo "unknown target: $target" >&2
    exit 2
  fi
done

# run_target TARGET: one target's run; its table row into logs/TARGET.row, and
# the lines of a finding after it.
run_target() {
  local target=$1 binary=$build/fuzz_$1 corpus limit dictionary=() status inputs outcome
  local log=$build/logs/$target.log row=$build/logs/$target.row run_started=$SECONDS
  case "$target" in
    scenario) dictionary=(-dict="$root/fuzz/scenario.dict") ;;
    parameter_values | trace) ;;
    *) dictionary=(-dict="$root/fuzz/config.dict") ;;
  esac
  if [ "$mode" = "--smoke" ]; then
    # A fresh corpus each time, and a fixed seed: the same inputs every run.
    corpus=$(mktemp -d)
    limit=(-runs="${smoke_runs[$target]}" -seed=1)
  else
    corpus=$build/corpus/$target
    mkdir -p "$corpus"
    limit=(-max_total_time="$seconds")
  fi
  set +e
  "$binary" "${limit[@]}" "${dictionary[@]}" -timeout=10 -rss_limit_mb=1024 -print_final_stats=1 \
    -artifact_prefix="$build/findings/$target-" "$corpus" "$root/fuzz/corpus/$target" >"$log" 2>&1
  status=$?
  set -e
  [ "$mode" = "--smoke" ] && rm -rf "$corpus"
  inputs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ $status -eq 0 ]; then
    outcome=ok
  else
    outcome="FINDING (exit $status), log: $log"
  fi
  printf '%-24s %12s %8s  %s\n' "$target" "${inputs:-?}" "$((SECONDS - run_started))" "$outcome" >"$row"
  if [ $status -ne 0 ]; then
    grep -E "ERROR|runtime error|fuzz check failed|Test unit written" "$log" | head -20 >>"$row" || tail -30 "$log" >>"$row"
  fi
  return $status
}

# As many targets at once as there are cores: each runs on one.
failed=0
running=0
for target in "${targets[@]}"; do
  if [ $running -ge "$jobs" ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
  run_target "$target" &
  running=$((running + 1))
done
while [ $running -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done
printf '%-24s %12s %8s  %s\n' target inputs seconds outcome
for target in "${targets[@]}"; do
  cat "$build/logs/$target.row"
done
echo "fuzzing: $((SECONDS - started)) s"
exit $failed
