# Shared settings of the Windows cross build, sourced by setup.sh and test.sh.
# Every value can be overridden from the environment.

ZORVA_REPO=${ZORVA_REPO:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}

# Cross-built third-party libraries and the Wine prefix live outside the work
# tree, so a fresh clone (CI) reuses them. Falls back to an ignored folder of
# the work tree when /var/cache is not writable.
if [[ -z "${ZORVA_WIN_DEPS:-}" ]]; then
  if mkdir -p /var/cache/zorva-win-deps 2>/dev/null && [[ -w /var/cache/zorva-win-deps ]]; then
    ZORVA_WIN_DEPS=/var/cache/zorva-win-deps
  else
    ZORVA_WIN_DEPS=$ZORVA_REPO/.deps-win
  fi
fi

export ZORVA_WIN_DEPS
ZORVA_WIN_BUILD=${ZORVA_WIN_BUILD:-$ZORVA_REPO/build-win}

# Debian's wine64 package installs no `wine` command, only this binary.
WINE64=${WINE64:-/usr/lib/wine/wine64}
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver64}
[[ -x "$WINESERVER" ]] || WINESERVER=/usr/lib/wine/wineserver

# Our own prefix: tests may write C:\ZORVA\CFG inside it without touching a
# user's ~/.wine. Headless: no display, no debug chatter, no Mono/Gecko
# installers (they would try to download).
export WINEPREFIX=${WINEPREFIX:-$ZORVA_WIN_DEPS/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree=;mshtml=}
export WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY

ZORVA_MINGW_CXX=${ZORVA_MINGW_CXX:-x86_64-w64-mingw32-g++-posix}
ZORVA_MINGW_AR=${ZORVA_MINGW_AR:-x86_64-w64-mingw32-ar}

# Debian packages the Windows stage needs.
# libz-mingw-w64-dev: zlib for the field traces, linked statically; curl and
# nodejs fetch the live page and its data stream from the program under Wine.
ZORVA_WIN_PACKAGES=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 cmake make googletest xz-utils clang-14
  libz-mingw-w64-dev curl nodejs)

# A step of the Windows stage, with the seconds since its script started.
zorva_win_log() { printf '[windows %4d s] %s\n' "$SECONDS" "$*" >&2; }
