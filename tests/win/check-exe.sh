#!/usr/bin/env bash
# klavix.exe must run on a clean Windows: GUI subsystem and imports from system DLLs only.
set -eu
exe=$1
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
headers=$("$objdump" -p "$exe")
fail=0
if ! grep -q "^Subsystem[[:space:]]*00000002" <<<"$headers"; then
  echo "FAIL: not a GUI-subsystem program"
  fail=1
fi
system='^(ADVAPI32|GDI32|KERNEL32|msvcrt|SHELL32|USER32|COMCTL32|VERSION|ole32|OLEAUT32)\.dll$'
while read -r dll; do
  if ! grep -qiE "$system" <<<"$dll"; then
    echo "FAIL: imports $dll, which a clean Windows does not have"
    fail=1
  fi
done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
[ "$fail" = 0 ] && echo "PASS: GUI subsystem, system DLLs only"
exit $fail
