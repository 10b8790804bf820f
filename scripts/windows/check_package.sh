#!/usr/bin/env bash
# Checks the Windows package as a lab gets it (cmake/windows/Package.cmake):
#   - ZORVAplugin-<version>-win64.zip exists, <version> being the one of
#     project() in CMakeLists.txt; its files are listed and must be exactly the
#     expected ones (no test program), plus any DLL the modules need;
#   - unpacked into a fresh folder, the version resources of ZORVAplugin.mdd and
#     zorva-devhost.exe state that version, the maker and the product;
#   - every module imports only system DLLs, DLLs beside it in the archive, and
#     ZORVAUSBDevice.dll (the maker's, or the simulated one);
#   - under wine64, zorva-devhost.exe from the unpacked folder, through
#     simulated\zorva-devhost-simulated.cmd, reports the versions and the
#     simulated library of the archive, captures a second from it, passes the
#     self-test on the clean bench and fails it on a noisy one; and serves the
#     live page and its data stream (fetched from Linux) until stopped from it.
# Usage: check_package.sh <Windows build folder>
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/env.sh"

build=$(cd "${1:?usage: check_package.sh <Windows build folder>}" && pwd)
objdump=${ZORVA_MINGW_OBJDUMP:-x86_64-w64-mingw32-objdump}
windres=${ZORVA_MINGW_WINDRES:-x86_64-w64-mingw32-windres}
system32=$WINEPREFIX/drive_c/windows/system32
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

version=$(sed -n 's/^project(ZORVAplugin VERSION \([0-9][0-9.]*\).*/\1/p' "$ZORVA_REPO/CMakeLists.txt")
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "FAIL: no x.y.z version in project() of CMakeLists.txt"; exit 1; }
name=ZORVAplugin-$version-win64
zip=$build/$name.zip
[[ -f $zip ]] || { echo "FAIL: no $zip (cmake --build $build --target package)"; exit 1; }

# The listing, without the folders' own entries.
listing=$(cmake -E tar tf "$zip" | grep -v '/$' | sort)
echo "$(basename "$zip") ($(stat -c %s "$zip") bytes):"
echo "$listing" | sed 's/^/  /'

expected=$( (printf '%s\n' INSTALL.txt ZORVAplugin.mdd zorva-devhost.exe zorva_plot.py \
  simulated/ZORVAUSBDevice.dll simulated/zorva-devhost-simulated.cmd trace/ZORVAUSBDevice.dll
  cd "$ZORVA_REPO" && find examples -type f) | sed "s|^|$name/|")
# The runtime DLLs the package adds beside the program, if any.
expected=$( (echo "$expected"; echo "$listing" | grep -E "^$name/[^/]+\.dll$" || true) | sort)
if [[ $listing != "$expected" ]]; then
  fail "the archive's files differ from the expected ones (< expected, > archive):"
  diff <(echo "$expected") <(echo "$listing") | grep '^[<>]' || true
fi

unpacked=$build/package-test
rm -rf "$unpacked"
mkdir -p "$unpacked"
(cd "$unpacked" && cmake -E tar xf "$zip")
root=$unpacked/$name

# Version resources, read back with windres.
for module in ZORVAplugin.mdd zorva-devhost.exe; do
  resource=$("$windres" -i "$root/$module" -O rc 2>/dev/null | tr -d '\r' | sed 's/^[[:space:]]*//' || true)
  numbers="${version//./, }, 0"
  echo "$module version resource: $(grep -E '^(FILEVERSION|PRODUCTVERSION) |^VALUE "(FileVersion|ProductVersion|CompanyName)"' <<<"$resource" | tr '\n' ';')"
  for line in "FILEVERSION $numbers" "PRODUCTVERSION $numbers" "VALUE \"FileVersion\", \"$version\"" \
      "VALUE \"ProductVersion\", \"$version\"" 'VALUE "CompanyName", "ZORVA"' \
      'VALUE "ProductName", "ZORVA force-plate plugin"' "VALUE \"OriginalFilename\", \"$module\""; do
    grep -qxF "$line" <<<"$resource" || fail "$module: the version resource lacks: $line"
  done
done

# Imports: Windows' own, beside the module in the archive, or the USB library.
while IFS= read -r module; do
  folder=$(dirname "$module")
  while read -r dll; do
    [[ -n $dll ]] || continue
    lower=${dll,,}
    [[ $lower == zorvausbdevice.dll ]] && continue
    [[ -n $(find "$folder" -maxdepth 1 -iname "$dll" -print -quit) ]] && continue
    [[ -n $(find "$system32" -maxdepth 1 -iname "$dll" -print -quit) ]] && continue
    fail "${module#"$root/"} imports $dll, which is neither a system DLL nor in the archive beside it"
  done < <("$objdump" -p "$module" | awk '/^\tDLL Name:/ { print $3 }')
done < <(find "$root" -type f \( -iname '*.exe' -o -iname '*.dll' -o -iname '*.mdd' \))

# The program from the unpacked folder, on the archive's simulated library
# and its built-in bench.
run_simulated() {
  (cd "$root" && env -u ZORVA_SIM_SCENARIO "$here/wine-run.sh" cmd /c 'simulated\zorva-devhost-simulated.cmd' "$@" |
    tr -d '\r')
}
out=$(run_simulated --version) || fail "zorva-devhost --version failed (exit code $?)"
echo "zorva-devhost --version from the package:"
echo "$out" | sed 's/^/  /'
grep -qx "zorva-devhost $version" <<<"$out" || fail "--version does not state zorva-devhost $version"
grep -qE "^plugin $version \(.*\\\\$name\\\\ZORVAplugin\.mdd\)$" <<<"$out" ||
  fail "--version does not state the unpacked plugin's version $version"
grep -qE "^USB library .*\\\\$name\\\\simulated\\\\ZORVAUSBDevice\.dll\)$" <<<"$out" ||
  fail "--version does not name the archive's simulated USB library"

out=$(run_simulated capture --seconds 1) || fail "zorva-devhost capture failed (exit code $?): $out"
grep -q '^Units found: 2$' <<<"$out" || fail "the capture on the simulated library did not find its two units: $out"
# The summary: a row per plate, "#  plate  definition  blocks  samples ...".
rows=$(awk '$1 ~ /^[0-9]+$/ && $2 ~ /^ZA/ && $5 ~ /^[0-9]+$/ && $5 > 0' <<<"$out" | wc -l)
[[ $rows == 2 ]] || fail "the capture did not deliver samples of two plates: $out"
echo "zorva-devhost capture --seconds 1 from the package: $rows plates with samples"

# The self-test at one rate (about 20 s each): the clean bench passes and
# writes its report (no plots: no Python beside Wine's programs); the
# package's noisy bench fails Noise at rest for its right unit, measured.
run_bench() {
  local scenario=$1
  shift
  (cd "$root" && ZORVA_SIM_SCENARIO=$scenario "$here/wine-run.sh" cmd /c 'simulated\zorva-devhost-simulated.cmd' "$@" |
    tr -d '\r')
}
# The clean bench alone: its rate check times blocks against the host clock,
# and two Wine sessions at once on a small machine scatter their arrivals.
selftests=$(mktemp -d)
# selftest_into NAME SCENARIO ARGS...: the output into NAME.out, the exit code into NAME.status.
selftest_into() {
  local name=$1 scenario=$2 code=0
  shift 2
  run_bench "$scenario" selftest "$@" >"$selftests/$name.out" || code=$?
  echo "$code" >"$selftests/$name.status"
}
selftest_into clean "$ZORVA_REPO/simusb/scenarios/clean-bench.ini" --rates 1000 --report selftest-report
# A rate the arrivals could not judge (a busy machine): once more, as the
# self-test itself advises; any other failure stands.
if [[ $(cat "$selftests/clean.status") != 0 ]] && grep -q 'scattered too much to judge' "$selftests/clean.out" &&
  ! grep '^  FAILED ' "$selftests/clean.out" | grep -v -q 'scattered too much to judge'; then
  echo "zorva-devhost selftest on the clean bench: the arrivals scattered too much to judge the rate; once more:"
  grep '^  FAILED ' "$selftests/clean.out" | sed 's/^/  /'
  selftest_into clean "$ZORVA_REPO/simusb/scenarios/clean-bench.ini" --rates 1000 --report selftest-report
fi
# The noisy bench's verdict does not hang on the arrivals' timing: it runs
# beside the live view's check below.
selftest_into noisy 'examples\selftest\noisy-unit.ini' --rates 1000 &
noisy_pid=$!
out=$(cat "$selftests/clean.out")
status=$(cat "$selftests/clean.status")
[[ $status == 0 ]] || fail "selftest on the clean bench: exit code $status, not 0: $out"
grep -q '^Self-test PASSED: all [0-9]* checks' <<<"$out" || fail "selftest on the clean bench did not pass: $out"
grep -q '^# Commissioning self-test: PASSED' "$root/selftest-report/report.md" 2>/dev/null ||
  fail "selftest --report wrote no report saying PASSED in $root/selftest-report"
echo "zorva-devhost selftest on the clean bench from the package: $(grep '^Self-test [PF]' <<<"$out")"

# The live view from the package: zorva-devhost.exe live under wine64 on the
# archive's simulated library, its page and data stream fetched from Linux
# (curl, and a small Node client that reads frames of both plates and then
# stops the session from the stream, as the page's Stop does).
live_out=$(mktemp)
(cd "$root" && exec env -u ZORVA_SIM_SCENARIO timeout -k 10 180 "$here/wine-run.sh" cmd /c \
  'simulated\zorva-devhost-simulated.cmd' live --port 0 >"$live_out" 2>&1) &
live_pid=$!
url=
for _ in $(seq 1 240); do
  url=$(tr -d '\r' <"$live_out" | grep -o 'http://127\.0\.0\.1:[0-9]*/' | head -1 || true)
  [[ -n $url ]] && break
  sleep 0.5
done
if [[ -z $url ]]; then
  fail "zorva-devhost live printed no address: $(tr -d '\r' <"$live_out")"
else
  page=$(curl -s --max-time 20 "$url" || true)
  grep -q 'name="zorva-token" content="[0-9a-f]\{32\}"' <<<"$page" && grep -q 'uPlot.iife.min.js' <<<"$page" ||
    fail "zorva-devhost live under Wine: the page at $url is not the live page: ${page:0:300}"
  uplot=$(curl -s --max-time 20 -o /dev/null -w '%{http_code} %{size_download}' "${url}uPlot.iife.min.js" || true)
  [[ $uplot =~ ^200\ [0-9]{5,}$ ]] || fail "zorva-devhost live under Wine: uPlot's file: $uplot"
  stream=$(node "$ZORVA_REPO/tests/live/stream_client.js" "$url" --plates 2 --frames 3 --stop --timeout 90 2>&1) ||
    fail "zorva-devhost live under Wine: the data stream: $stream"
  echo "zorva-devhost live from the package (page and stream fetched from Linux):"
  echo "$stream" | sed 's/^/  /'
fi
live_status=0
wait "$live_pid" || live_status=$?
[[ $live_status == 0 ]] || fail "zorva-devhost live under Wine: exit code $live_status after the stream's stop: $(tr -d '\r' <"$live_out")"
grep -q 'Stopped from the page' <(tr -d '\r' <"$live_out") || fail "zorva-devhost live under Wine did not stop from the page"
rm -f "$live_out"

wait "$noisy_pid" || true
out=$(cat "$selftests/noisy.out")
status=$(cat "$selftests/noisy.status")
[[ $status == 1 ]] || fail "selftest on the noisy bench: exit code $status, not 1: $out"
grep -q 'FAILED Noise at rest, unit 1 ZA300-5208 / Gorvin-900 GOR900-20931: Fx 0\.[78][0-9]*, Fy 0\.[78][0-9]*, Fz [23]\.[0-9]* N' <<<"$out" ||
  fail "selftest on the noisy bench did not name Noise at rest, the unit and its noise: $out"
echo "zorva-devhost selftest on the noisy bench from the package: $(grep '^Self-test [PF]' <<<"$out")"
rm -rf "$selftests"

if [[ $failures != 0 ]]; then
  echo "package check: $failures failure(s)"
  exit 1
fi
echo "package check: passed"
