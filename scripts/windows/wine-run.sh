#!/usr/bin/env bash
# Runs a Windows program under wine64 in the project's Wine prefix; the
# cross build's CMAKE_CROSSCOMPILING_EMULATOR, so ctest can run the tests.
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

# The first program of a Wine session also starts the Wine server and Wine's
# background programs (services, device manager), which inherit its standard
# output. Under ctest that is ctest's pipe, and ctest would wait for them to
# end. So when no server runs, start them first with no output of ours: the
# server ends by itself 15 s after the last program.
# One caller at a time (ctest -j2 starts two).
exec 8>"$WINEPREFIX/.zorva-wine-run.lock"
flock 8
if ! "$WINESERVER" -k0 2>/dev/null; then
  # Without the lock's descriptor, or they would hold the lock while they run.
  "$WINESERVER" -p15 </dev/null >/dev/null 2>&1 8>&-
  "$WINE64" cmd /c exit </dev/null >/dev/null 2>&1 8>&- || true
fi
exec 8>&-
exec "$WINE64" "$@"
