#!/bin/sh
# Compares the defined dynamic symbols of the library with the ten exports.
set -eu
library="$1"
expected="GetFirstValue GetNextValue GetProperty Init ReadDevice SetProgressCallback SetPromptCallback SetProperty Term WriteDevice"
actual=$(nm -D --defined-only "$library" | awk '$2 != "A" { print $3 }' | sed 's/@.*//' | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$actual" != "$expected" ]; then
  echo "exported: $actual"
  echo "expected: $expected"
  exit 1
fi
echo "exports ok: $actual"
