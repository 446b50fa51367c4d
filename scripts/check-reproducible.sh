#!/usr/bin/env bash
# Checks that the downloads of the checked-out commit are reproducible: built twice, in two
# fresh clones in two different folders, they are the same bytes.
#   scripts/check-reproducible.sh [--reuse] [windows] [deb]
# windows: the two zips and the two installers (scripts/package-windows.sh); deb: the three
# Debian packages (scripts/package.sh); both when neither is named.
#
# The second build differs from the first in everything that must not matter: its folder (and
# the length of its path), the time of day it runs at, the time zone, the umask and the
# language. With --reuse the first build is this checkout's own (dist/, build-package/), made
# beforehand by the same scripts from the same commit, so only one more build is needed: that is
# how CI runs it, after making the zips.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

reuse=0 kinds=()
for argument in "$@"; do
  case $argument in
    --reuse) reuse=1 ;;
    windows | deb) kinds+=("$argument") ;;
    *) echo "usage: $0 [--reuse] [windows] [deb]" >&2; exit 2 ;;
  esac
done
((${#kinds[@]})) || kinds=(windows deb)

commit=$(git rev-parse HEAD)
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct "$commit")
export SOURCE_DATE_EPOCH
if ((reuse)) && [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "check-reproducible.sh: --reuse needs a checkout without changes: the downloads here are not the commit's" >&2
  exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tallyx-reproducible.XXXXXX")
# Both builds stay for a look when they differ.
keep=0
trap '((keep)) || rm -rf "$work"' EXIT

# The downloads one build makes, by kind: the files they are in, relative to the tree.
downloads() {  # TREE KIND
  case $2 in
    windows) (cd "$1" && ls dist/*.zip dist/*-setup.exe) ;;
    deb) (cd "$1" && ls build-package/*.deb) ;;
  esac
}

build() {  # TREE KIND
  case $2 in
    windows) bash "$1/scripts/package-windows.sh" ;;
    deb) bash "$1/scripts/package.sh" ;;
  esac
}

# A clone of the commit, as CI makes one.
clone() {  # FOLDER
  git clone --quiet --no-hardlinks "$repo" "$1"
  git -C "$1" checkout --quiet --detach "$commit"
}

start=$SECONDS
first=$repo
if ((!reuse)); then
  first=$work/a
  clone "$first"
fi
second=$work/second-build/in/a/deeper/folder/b
mkdir -p "$(dirname "$second")"
clone "$second"

for kind in "${kinds[@]}"; do
  if ((!reuse)); then
    echo "check-reproducible.sh: building the $kind downloads in $first" >&2
    (umask 022 && TZ=UTC LANG=C.UTF-8 build "$first" "$kind") >"$work/$kind-first.log" 2>&1 ||
      { cat "$work/$kind-first.log" >&2; exit 1; }
  fi
  echo "check-reproducible.sh: building the $kind downloads again in $second" >&2
  (umask 002 && TZ=Pacific/Kiritimati LANG=C build "$second" "$kind") >"$work/$kind-second.log" 2>&1 ||
    { cat "$work/$kind-second.log" >&2; exit 1; }
done

different=0 compared=0
for kind in "${kinds[@]}"; do
  mapfile -t files < <(downloads "$first" "$kind")
  mapfile -t again < <(downloads "$second" "$kind")
  if [ "${files[*]}" != "${again[*]}" ]; then
    echo "$kind: the two builds made different files: ${files[*]} / ${again[*]}" >&2
    different=1
    continue
  fi
  for file in "${files[@]}"; do
    compared=$((compared + 1))
    sum=$(sha256sum <"$first/$file" | cut -c1-16)
    if cmp -s "$first/$file" "$second/$file"; then
      printf '%-40s same       %s...\n' "$(basename "$file")" "$sum"
    else
      printf '%-40s DIFFERENT  %s... / %s...\n' "$(basename "$file")" "$sum" \
        "$(sha256sum <"$second/$file" | cut -c1-16)"
      cmp -l "$first/$file" "$second/$file" 2>/dev/null | head -n 5 | sed 's/^/    byte, octal values: /' || true
      different=1
    fi
  done
done
echo "check-reproducible.sh: $compared downloads of $(git log -1 --format=%h "$commit") compared in $((SECONDS - start)) s"
if ((different)); then
  keep=1
  echo "check-reproducible.sh: the downloads are not reproducible; both builds are in $work" >&2
  exit 1
fi
