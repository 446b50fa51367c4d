#!/bin/sh
# The reader binds nine of the library's ten functions: all but WriteDevice.
set -eu
program="$1"
expected="GetFirstValue GetNextValue GetProperty Init ReadDevice SetProgressCallback SetPromptCallback SetProperty Term"
actual=$(nm -D --undefined-only "$program" | awk '$1 == "U" { print $2 }' | grep '@TALLYX_1' \
  | sed 's/@.*//' | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$actual" != "$expected" ]; then
  echo "imported: $actual"
  echo "expected: $expected"
  exit 1
fi
echo "imports ok: $actual"
