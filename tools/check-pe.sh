#!/usr/bin/env bash
# Checks a built installer: a 32-bit GUI PE whose import table names only DLLs Windows loads from the
# system folder (KnownDLLs, plus comctl32 which the manifest binds). Anything else would be looked
# for beside the program first, where a planted copy could run elevated.
set -euo pipefail
exe=$1
allowed='^(kernel32|user32|gdi32|advapi32|shell32|shlwapi|ole32|oleaut32|comdlg32|imm32|msvcrt|ws2_32|comctl32)\.dll$'

kind=$(file -b "$exe")
case "$kind" in
  "PE32 executable (GUI) Intel 80386"*) ;;
  *) echo "FAIL: $exe is not a 32-bit GUI PE: $kind"; exit 1 ;;
esac

status=0
while read -r dll; do
  if ! echo "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$allowed"; then
    echo "FAIL: $exe imports $dll directly; delay-load it"
    status=1
  fi
done < <(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')

if ! grep -aq 'requireAdministrator' "$exe"; then
  echo "FAIL: $exe has no requireAdministrator manifest"
  status=1
fi
[ $status -eq 0 ] && echo "ok: $exe ($kind), imports: $(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr '\n' ' ')"
exit $status
