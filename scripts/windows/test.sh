#!/usr/bin/env bash
# The Windows stage: set-up (scripts/windows/setup.sh), the MinGW-w64 cross
# build of the plugin, the simulated USB library and the test programs, the
# check of the DLLs' export and import tables, the test programs under
# wine64, and the package (ZORVAplugin-<version>-win64.zip), checked as a lab
# unpacks and runs it (check_package.sh).
#
# Exits 0 with a "SKIPPED" line only when the machine cannot install the
# packages the stage needs; any other failure fails.
#
# Environment: ZORVA_WIN_BUILD (build folder, default build-win),
# ZORVA_WIN_DEPS (dependency cache, see env.sh), CTEST_ARGS (extra ctest
# arguments, e.g. "-R driver").
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/env.sh"

start=$SECONDS
status=0
"$here/setup.sh" || status=$?
if [[ $status == 3 ]]; then
  echo "SKIPPED: Windows build and tests: this machine cannot install the packages they need" \
       "(${ZORVA_WIN_PACKAGES[*]}); run scripts/windows/setup.sh as root where apt-get works."
  exit 0
elif [[ $status != 0 ]]; then
  echo "Windows set-up failed (status $status)" >&2
  exit "$status"
fi

zorva_win_log "configuring $ZORVA_WIN_BUILD"
# Make, the preset's: the test programs' objects are rewritten after they are
# compiled (RouteImports.cmake), which Ninja's dependency log takes for a
# change, so it built them all again for the package. A tree configured with
# another generator is configured afresh.
if [ -f "$ZORVA_WIN_BUILD/CMakeCache.txt" ] && ! grep -q '^CMAKE_GENERATOR:INTERNAL=Unix Makefiles$' "$ZORVA_WIN_BUILD/CMakeCache.txt"; then
  rm -rf "$ZORVA_WIN_BUILD"
fi
cmake --preset windows -S "$ZORVA_REPO" -B "$ZORVA_WIN_BUILD" -DZORVA_WIN_DEPS="$ZORVA_WIN_DEPS" >/dev/null
zorva_win_log "building"
# -k: on a failure, every error at once.
cmake --build "$ZORVA_WIN_BUILD" -j"$(nproc 2>/dev/null || echo 2)" -- -k --no-print-directory >"$ZORVA_WIN_BUILD/build.log" 2>&1 || {
  grep -E -B2 -A8 'error|Error' "$ZORVA_WIN_BUILD/build.log" | head -120
  echo "Windows build failed; full log: $ZORVA_WIN_BUILD/build.log" >&2
  exit 1
}
# Warnings fail this build as they fail the Linux ones (scripts/test.sh).
if grep -q 'warning:' "$ZORVA_WIN_BUILD/build.log"; then
  grep -A3 'warning:' "$ZORVA_WIN_BUILD/build.log" | head -60
  echo "the Windows build gave warnings (above); full log: $ZORVA_WIN_BUILD/build.log" >&2
  exit 1
fi

"$here/check_pe.sh" "$ZORVA_WIN_BUILD/bin"

zorva_win_log "running the tests under wine64"
# Twice as many tests as cores, as on Linux: the end-to-end shards mostly wait
# on real-time captures.
ctest --test-dir "$ZORVA_WIN_BUILD" --output-on-failure -j"$((2 * $(nproc 2>/dev/null || echo 2)))" ${CTEST_ARGS:-}

zorva_win_log "packaging"
cmake --build "$ZORVA_WIN_BUILD" --target package -- --no-print-directory >"$ZORVA_WIN_BUILD/package.log" 2>&1 || {
  tail -40 "$ZORVA_WIN_BUILD/package.log"
  echo "packaging failed; full log: $ZORVA_WIN_BUILD/package.log" >&2
  exit 1
}
zorva_win_log "checking the package"
"$here/check_package.sh" "$ZORVA_WIN_BUILD"
zorva_win_log "Windows stage done in $((SECONDS - start)) s"
