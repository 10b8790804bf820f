#!/usr/bin/env bash
# Reads the Microsoft-ABI host half's calls into the plugin's objects back from
# its disassembly and checks each uses the virtual-table offset of the
# Microsoft layout: the destructor takes slot 0 alone, so the first operation
# after it is at +8 (g++'s layout would put it at +0x10).
# Usage: check_offsets.sh <objdump> <MsHost.obj>
set -euo pipefail
objdump=${1:?usage: check_offsets.sh <objdump> <object>}
object=${2:?usage: check_offsets.sh <objdump> <object>}

declare -A expected=(
  [mscall_value_GetType]=0x8 [mscall_value_CopyTo]=0x10 [mscall_value_ReadFrom]=0x18
  [mscall_value_GetFlagA]=0x28 [mscall_value_GetFlagB]=0x38 [mscall_value_GetFlagC]=0x48
  [mscall_value_IsEqual]=0x50 [mscall_double_GetValue]=0x60
  [mscall_device_Attach]=0x8 [mscall_device_ParametersChanged]=0x10 [mscall_device_Arm]=0x18
  [mscall_device_StartCapture]=0x28 [mscall_device_Disarm]=0x30 [mscall_device_GetState]=0x38
)

# For each function: the offset of the first load through the object's
# virtual-table pointer (`mov (%rcx),%rax`, then `*0xN(%rax)` or `mov 0xN(%rax),...`).
offsets=$("$objdump" -d --no-show-raw-insn "$object" | awk '
  /^[0-9a-f]+ <[^>]+>:$/ { name = substr($2, 2, length($2) - 3); vptr = 0; done = 0; next }
  done || name == "" { next }
  /mov +\(%rcx\),%rax/ { vptr = 1; next }
  vptr && match($0, /0x[0-9a-f]+\(%rax\)/) {
    print name, substr($0, RSTART, RLENGTH - 6); done = 1
  }')

failures=0
for function in $(printf "%s\n" "${!expected[@]}" | sort); do
  actual=$(awk -v f="$function" '$1 == f { print $2 }' <<<"$offsets")
  if [[ $actual != "${expected[$function]}" ]]; then
    echo "FAIL: $function calls slot offset ${actual:-none}, expected ${expected[$function]}"
    failures=$((failures + 1))
  else
    echo "$function: +$actual"
  fi
done
if [[ $failures != 0 ]]; then
  exit 1
fi
echo "virtual-table offsets of the Microsoft layout: all ${#expected[@]} as expected"
