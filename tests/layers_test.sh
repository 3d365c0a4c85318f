#!/usr/bin/env bash
# Fails when an include in src/ runs up the layers (session, commands,
# prompts, keys, screen, store, state: each may include only itself and
# what lies below it), or when files include each other in a circle (a
# file and its header count as one: a circle of includes is one of calls).
set -u
cd "${1:-$(dirname "$0")/..}" || exit 2
layers=(session commands prompts keys screen store state)
rank() {
  local i
  for i in "${!layers[@]}"; do
    [ "${layers[$i]}" = "$1" ] && { echo "$i"; return; }
  done
  echo -1
}

status=0
edges=$(mktemp)
trap 'rm -f "$edges"' EXIT
for file in $(find src -name '*.cpp' -o -name '*.h' | sort); do
  path=${file#src/}
  from=${path%%/*}
  unit=${path%.*}
  from_rank=$(rank "$from")
  if [ "$from_rank" -lt 0 ]; then
    echo "$file: a folder outside the layers"
    status=1
  fi
  for included in $(sed -n 's/^#include "\([a-z_]*\/[a-z_]*\)\.h".*/\1/p' "$file"); do
    to=${included%%/*}
    to_rank=$(rank "$to")
    if [ "$to_rank" -lt "$from_rank" ]; then
      echo "$file includes $included.h: $from may not use $to, which lies above it"
      status=1
    fi
    [ "$included" != "$unit" ] && echo "$unit $included" >> "$edges"
  done
done
if ! tsort "$edges" > /dev/null 2> "$edges.loop"; then
  echo "files that include each other in a circle:"
  grep -v 'input contains a loop' "$edges.loop" | sed 's/^tsort: /  /'
  status=1
fi
rm -f "$edges.loop"
[ "$status" -eq 0 ] && echo "the includes of src/ run one way: ${layers[*]}"
exit "$status"
