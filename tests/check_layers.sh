#!/bin/sh
# The library's folders stand in layers, each including only from its own and
# lower ones: platform, time, log, properties, device (the contracts a driver
# implements), comm, export, drivers, api.
set -eu
src="$1/src"
layers="platform time log properties device comm export drivers api"
rank() {
  n=0
  for layer in $layers; do
    [ "$layer" = "$1" ] && { echo "$n"; return; }
    n=$((n + 1))
  done
  echo ""
}
status=0
for folder in $layers; do
  own=$(rank "$folder")
  for include in $(grep -rho '#include "[a-z_]*/' "$src/$folder" | sed 's/#include "//; s#/##' | sort -u); do
    other=$(rank "$include")
    if [ -n "$other" ] && [ "$other" -gt "$own" ]; then
      grep -rn "#include \"$include/" "$src/$folder" | sed "s#^$src/#upward include: #"
      status=1
    fi
  done
done
[ "$status" -eq 0 ] && echo "layers ok: $layers"
exit "$status"
