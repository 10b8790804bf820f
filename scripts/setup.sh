#!/usr/bin/env bash
# Installs what building and testing needs, from Debian's packages only.
# Does nothing when everything is present.
set -euo pipefail

# clang-14 and libclang-rt-14-dev build the sanitizer builds and the fuzz
# targets and run the thread-safety analysis, lld links, ninja-build drives the
# builds, clang-format-14 checks the format; python3-matplotlib
# draws the development host's --plot (and its tests check it); zlib compresses
# field traces; chromium is the browser the live page's test drives headless.
packages=(cmake make ninja-build lld g++ libboost-dev libboost-thread-dev libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang-14 libclang-rt-14-dev clang-format-14 python3-matplotlib zlib1g-dev chromium)
# Node.js and npm fetch the live page's packages (below); Debian's where the
# machine has none of its own.
command -v npm >/dev/null || packages+=(nodejs npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The live page's packages, pinned by its package-lock.json: uPlot, built into
# the development host, and playwright-core, which drives the chromium above
# in the browser test (it downloads no browser of its own). Again only when
# the lock file changed since the last install.
page=$(cd "$(dirname "$0")/.." && pwd)/devhost/live/page
if [ ! -f "$page/node_modules/.package-lock.json" ] || [ "$page/package-lock.json" -nt "$page/node_modules/.package-lock.json" ]; then
  echo "Installing the live page's npm packages (npm ci in devhost/live/page)"
  (cd "$page" && npm ci --no-audit --no-fund --loglevel=error)
fi
