#!/usr/bin/env bash
# tallyx.dll exports exactly the ten functions, undecorated, by ordinals 1 to 10 in the order of
# the exported interface; every file needs only the system's own DLLs.
set -euo pipefail
dll=$1
objdump=$2
expected="1 Init
2 Term
3 ReadDevice
4 WriteDevice
5 SetProgressCallback
6 SetPromptCallback
7 GetProperty
8 SetProperty
9 GetFirstValue
10 GetNextValue"

table=$("$objdump" -p "$dll")
base=$(printf '%s\n' "$table" | sed -nE 's/^Ordinal Base[[:space:]]+([0-9]+).*/\1/p')
count=$(printf '%s\n' "$table" | sed -nE 's/^[[:space:]]*Export Address Table[[:space:]]+([0-9a-f]+)$/\1/p' | head -n 1)
# The rows of the name table, "[   0] Init": the index plus the ordinal base is the ordinal.
actual=$(printf '%s\n' "$table" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -nE 's/^[[:space:]]*\[[[:space:]]*([0-9]+)\][[:space:]]+(.*)$/\1 \2/p' |
  while read -r index name; do echo "$((index + base)) $name"; done | sort -n)
if [ "$((16#${count:-0}))" != 10 ]; then
  echo "$dll: the export address table has $((16#${count:-0})) entries instead of 10" >&2
  exit 1
fi
if [ "$actual" != "$expected" ]; then
  echo "$dll: the export table is not the ten functions by ordinal:" >&2
  printf '%s\n' "$actual" >&2
  exit 1
fi

folder=$(dirname "$dll")
system_dlls='^(kernel32|user32|advapi32|version|msvcrt|ws2_32|mswsock|shell32|ole32)\.dll$'
for file in "$dll" "$folder"/tallyread.exe "$folder"/tallyx.exe; do
  [ -f "$file" ] || continue
  while read -r imported; do
    lower=$(printf '%s' "$imported" | tr 'A-Z' 'a-z')
    [ "$lower" = tallyx.dll ] && continue
    if ! [[ $lower =~ $system_dlls || $lower == api-ms-win-* ]]; then
      echo "$file needs $imported, which is not a system DLL" >&2
      exit 1
    fi
  done < <("$objdump" -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p')
done
echo "$dll: ten exports by ordinal, system DLLs only"
