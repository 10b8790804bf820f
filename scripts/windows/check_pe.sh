#!/usr/bin/env bash
# Checks the export and import tables of the Windows build's modules:
#   - ZORVAplugin.mdd exports exactly the six entry points, undecorated, and
#     imports only system DLLs and ZORVAUSBDevice.dll (no MinGW runtime DLL);
#   - ZORVAUSBDevice.dll (the simulated library) and trace/ZORVAUSBDevice.dll
#     (the recording library) export the 30 fm* functions of
#     driver/ZORVAUSBDevice.h and import only system DLLs (zlib linked in).
# Usage: check_pe.sh <bin folder of the Windows build>
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

bin=${1:?usage: check_pe.sh <bin folder>}
objdump=${ZORVA_MINGW_OBJDUMP:-x86_64-w64-mingw32-objdump}
system32=$WINEPREFIX/drive_c/windows/system32
failures=0

exports() { "$objdump" -p "$1" | awk '/^\[Ordinal\/Name Pointer\] Table/ { on = 1; next } on && /^\t\[/ { print $NF; next } on { on = 0 }' | sort; }
imports() { "$objdump" -p "$1" | awk '/^\tDLL Name:/ { print $3 }' | sort -u; }

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# A system DLL is one Windows itself has: Wine's system32 in our prefix holds
# the same set. The MinGW runtime DLLs must never appear (linked statically).
check_imports() {
  local module=$1
  shift
  local allowed=("$@") dll
  while read -r dll; do
    [[ -n $dll ]] || continue
    local lower=${dll,,} ok=0 a
    for a in "${allowed[@]}"; do
      [[ $lower == "${a,,}" ]] && ok=1
    done
    if [[ $ok == 0 ]]; then
      if [[ $lower == lib* ]]; then
        fail "$(basename "$module") imports the MinGW runtime DLL $dll"
      elif [[ ! -f $system32/$lower && -z $(find "$system32" -maxdepth 1 -iname "$dll" -print -quit 2>/dev/null) ]]; then
        fail "$(basename "$module") imports $dll, which is not a system DLL"
      fi
    fi
  done < <(imports "$module")
  echo "$(basename "$module") imports: $(imports "$module" | tr '\n' ' ')"
}

plugin=$bin/ZORVAplugin.mdd
usb=$bin/ZORVAUSBDevice.dll

if [[ ! -f $plugin ]]; then
  fail "no $plugin"
else
  expected=$(printf '%s\n' BeginDeviceInstantiation Initialise OnManualDeviceInstantiation PluginAPIVersion \
    ProvideDeviceDefinitions Shutdown | sort)
  actual=$(exports "$plugin")
  echo "ZORVAplugin.mdd exports: $(echo $actual)"
  [[ $actual == "$expected" ]] || fail "ZORVAplugin.mdd must export exactly: $(echo $expected)"
  [[ $'\n'$(imports "$plugin")$'\n' == *$'\n'ZORVAUSBDevice.dll$'\n'* ]] ||
    fail "ZORVAplugin.mdd does not import ZORVAUSBDevice.dll"
  check_imports "$plugin" ZORVAUSBDevice.dll
fi

header=$ZORVA_REPO/driver/ZORVAUSBDevice.h
expected=$(grep -oE 'ZORVA_USB_API[^(]*\bfm[A-Za-z]+\(' "$header" | grep -oE 'fm[A-Za-z]+' | sort -u)
[[ $(echo "$expected" | grep -c .) == 30 ]] || fail "driver/ZORVAUSBDevice.h does not declare 30 fm* functions"
for library in "$usb" "$bin/trace/ZORVAUSBDevice.dll"; do
  name=${library#"$bin"/}
  if [[ ! -f $library ]]; then
    fail "no $library"
    continue
  fi
  actual=$(exports "$library" | grep -E '^fm' || true)
  echo "$name exports $(echo "$actual" | grep -c . ) fm* functions"
  [[ $actual == "$expected" ]] ||
    fail "$name fm* exports differ from driver/ZORVAUSBDevice.h: $(diff <(echo "$expected") <(echo "$actual") | grep '^[<>]' | tr '\n' ' ')"
  check_imports "$library"
done

if [[ $failures != 0 ]]; then
  echo "export/import check: $failures failure(s)"
  exit 1
fi
echo "export/import check: passed"
