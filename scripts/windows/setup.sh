#!/usr/bin/env bash
# Prepares this machine for the Windows cross build, from Debian's packages
# alone, and is cheap to run again:
#   - installs the MinGW-w64 cross compiler, wine64, CMake and GoogleTest's
#     sources, only those that are missing;
#   - builds Boost.Thread's Windows implementation from Debian's boost1.74
#     source package into a static library;
#   - cross-builds GoogleTest from /usr/src/googletest;
#   - creates the Wine prefix the tests run in.
# Results go to $ZORVA_WIN_DEPS (see env.sh) and are reused while their
# recipe stamp matches.
#
# Exit status: 0 ready; 3 the packages cannot be installed here (not root, or
# the package manager refused); anything else is a real failure.
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

readonly CANNOT_INSTALL=3
BOOST_SOURCE_PACKAGE=boost1.74

mkdir -p "$ZORVA_WIN_DEPS"
# One set-up at a time per cache: a developer and CI may share the machine.
exec 9>"$ZORVA_WIN_DEPS/.lock"
flock 9

apt_updated=0
apt_update() {
  if [[ $apt_updated == 0 ]]; then
    zorva_win_log "apt-get update"
    apt-get update -qq || return 1
    apt_updated=1
  fi
}

install_packages() {
  local missing=() p
  for p in "${ZORVA_WIN_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [[ ${#missing[@]} == 0 ]] && return 0
  if [[ $(id -u) != 0 ]] || ! command -v apt-get >/dev/null; then
    zorva_win_log "missing packages ${missing[*]} and not root: cannot install them"
    exit $CANNOT_INSTALL
  fi
  zorva_win_log "installing ${missing[*]}"
  apt_update || exit $CANNOT_INSTALL
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null ||
    exit $CANNOT_INSTALL
}

# The Debian mirror the machine already uses for its release, as "URI<TAB>Signed-By".
find_debian_mirror() {
  local codename f
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [[ -n $codename ]] || return 1
  for f in /etc/apt/sources.list.d/*.sources; do
    [[ -f $f ]] || continue
    awk -v cn="$codename" 'BEGIN { RS = ""; FS = "\n" }
      {
        types = ""; uris = ""; suites = ""; signed = ""; enabled = "yes"
        for (i = 1; i <= NF; i++) {
          line = $i
          if (line ~ /^#/) continue
          k = line; sub(/:.*/, "", k)
          v = line; sub(/^[^:]*:[ \t]*/, "", v)
          if (k == "Types") types = v
          else if (k == "URIs") uris = v
          else if (k == "Suites") suites = v
          else if (k == "Signed-By") signed = v
          else if (k == "Enabled") enabled = v
        }
        if (enabled == "no" || (" " types " ") !~ / deb /) next
        n = split(suites, s, /[ \t]+/)
        for (j = 1; j <= n; j++)
          if (s[j] == cn) { split(uris, u, /[ \t]+/); print u[1] "\t" signed; exit 0 }
      }' "$f" | grep . && return 0
  done
  if [[ -f /etc/apt/sources.list ]]; then
    awk -v cn="$codename" '$1 == "deb" {
        i = 2
        if ($i ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
        if ($(i + 1) == cn) { print $i "\t"; exit 0 }
      }' /etc/apt/sources.list | grep . && return 0
  fi
  return 1
}

# apt-get source needs a deb-src entry; add one for the same mirror.
ensure_deb_src() {
  if [[ -n $(apt-cache showsrc "$BOOST_SOURCE_PACKAGE" 2>/dev/null | head -1) ]]; then
    return 0
  fi
  [[ $(id -u) == 0 ]] || { zorva_win_log "no deb-src entry and not root"; exit $CANNOT_INSTALL; }
  local mirror uri signed codename
  mirror=$(find_debian_mirror) || { zorva_win_log "no Debian mirror found in the APT sources"; exit 1; }
  uri=${mirror%%$'\t'*}
  signed=${mirror#*$'\t'}
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  zorva_win_log "adding deb-src entry for $uri $codename"
  {
    echo "Types: deb-src"
    echo "URIs: $uri"
    echo "Suites: $codename"
    echo "Components: main"
    [[ -n $signed ]] && echo "Signed-By: $signed"
  } >/etc/apt/sources.list.d/zorva-deb-src.sources
  apt_updated=0
  apt_update || exit $CANNOT_INSTALL
}

compiler_id() { "$ZORVA_MINGW_CXX" -dumpfullversion 2>/dev/null || echo none; }

# Boost headers (merged from libs/*/include) and libboost_thread.a for Windows.
build_boost_thread() {
  local prefix=$ZORVA_WIN_DEPS/boost
  local recipe="boost-thread-win32 r1 $(compiler_id)"
  if [[ -f $prefix/STAMP && $(cat "$prefix/STAMP") == "$recipe" ]]; then
    return 0
  fi
  ensure_deb_src
  local src=$ZORVA_WIN_DEPS/src/boost
  rm -rf "$src" "$prefix"
  mkdir -p "$src" "$prefix/lib"
  zorva_win_log "downloading the $BOOST_SOURCE_PACKAGE source package"
  # As root, apt warns that it downloads unsandboxed; that is expected.
  (cd "$src" && apt-get source --download-only -qq "$BOOST_SOURCE_PACKAGE" 2>/dev/null) ||
    exit $CANNOT_INSTALL
  local tarball
  tarball=$(ls "$src"/"$BOOST_SOURCE_PACKAGE"_*.orig.tar.* 2>/dev/null | head -1)
  [[ -n $tarball ]] || { zorva_win_log "apt-get source did not download $BOOST_SOURCE_PACKAGE"; exit 1; }

  zorva_win_log "unpacking Boost headers and Boost.Thread sources"
  # Each library keeps its headers under libs/<lib>/include: merge them.
  tar -xf "$tarball" -C "$prefix" --wildcards \
    --transform 's,^[^/]*/libs/.*/include/boost/,include/boost/,' '*/libs/*/include/boost/*'
  tar -xf "$tarball" -C "$src" --wildcards '*/libs/thread/src/*'
  local threadsrc
  threadsrc=$(ls -d "$src"/*/libs/thread/src | head -1)

  zorva_win_log "compiling Boost.Thread for Windows"
  local obj=$src/obj
  mkdir -p "$obj"
  local flags=(-std=c++17 -O2 -DNDEBUG -I"$prefix/include" -w
               -DBOOST_THREAD_USE_LIB -DBOOST_THREAD_BUILD_LIB -DBOOST_CHRONO_HEADER_ONLY -DBOOST_ALL_NO_LIB)
  local f running=0
  for f in win32/thread.cpp win32/tss_dll.cpp win32/tss_pe.cpp win32/thread_primitives.cpp future.cpp; do
    "$ZORVA_MINGW_CXX" "${flags[@]}" -c "$threadsrc/$f" -o "$obj/${f//\//_}.o" &
    if (( ++running >= 2 )); then
      wait -n
      running=$((running - 1))
    fi
  done
  while (( running > 0 )); do
    wait -n
    running=$((running - 1))
  done
  "$ZORVA_MINGW_AR" rcs "$prefix/lib/libboost_thread.a" "$obj"/*.o
  rm -rf "$src"
  echo "$recipe" >"$prefix/STAMP"
}

# GoogleTest and GoogleMock, static, from Debian's sources.
build_googletest() {
  local prefix=$ZORVA_WIN_DEPS/googletest
  local version
  version=$(dpkg-query -W -f='${Version}' googletest 2>/dev/null || echo unknown)
  local recipe="googletest $version r1 $(compiler_id)"
  if [[ -f $prefix/STAMP && $(cat "$prefix/STAMP") == "$recipe" ]]; then
    return 0
  fi
  zorva_win_log "cross-building GoogleTest $version"
  local build=$ZORVA_WIN_DEPS/src/googletest-build
  rm -rf "$build" "$prefix"
  cmake -S /usr/src/googletest -B "$build" -G "Unix Makefiles" \
    -DCMAKE_TOOLCHAIN_FILE="$ZORVA_REPO/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=OFF -Dgtest_disable_pthreads=OFF -DCMAKE_CROSSCOMPILING_EMULATOR= >/dev/null
  cmake --build "$build" -j2 >/dev/null
  cmake --install "$build" >/dev/null
  rm -rf "$build"
  echo "$recipe" >"$prefix/STAMP"
}

create_wine_prefix() {
  if [[ -f $WINEPREFIX/system.reg ]]; then
    return 0
  fi
  zorva_win_log "creating the Wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  # Wine's server and background programs must not inherit the set-up lock.
  "$WINE64" wineboot --init </dev/null >/dev/null 2>&1 9>&- || true
  "$WINESERVER" -w 9>&-
  [[ -f $WINEPREFIX/system.reg ]] || { zorva_win_log "wineboot did not create $WINEPREFIX"; return 1; }
}

install_packages
build_boost_thread
build_googletest
create_wine_prefix
zorva_win_log "ready: dependencies in $ZORVA_WIN_DEPS"
