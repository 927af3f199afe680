#!/usr/bin/env bash
# WinterHollow.scr is one file: it may import only DLLs that every Windows
# has (no libgcc, libstdc++ or winpthread beside it).
#   check-imports.sh <WinterHollow.scr>...
set -euo pipefail
allowed='^(ADVAPI32|GDI32|KERNEL32|msvcrt|ole32|SHELL32|USER32|COMCTL32|UxTheme|mpr|WTSAPI32)\.dll$'
status=0
for scr in "$@"; do
  dlls=$(x86_64-w64-mingw32-objdump -p "$scr" | sed -n 's/^\s*DLL Name: //p')
  [ -n "$dlls" ] || { echo "$scr: no imports found" >&2; status=1; continue; }
  while read -r dll; do
    if ! [[ $dll =~ $allowed ]]; then echo "$scr imports $dll" >&2; status=1; fi
  done <<<"$dlls"
  echo "$scr: $(echo $dlls)"
done
exit $status
