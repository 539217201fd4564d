#!/bin/sh
# Every file in docs/pipelines appears in the README as one fenced block,
# byte for byte, so what people copy is what the tests run.
set -eu
source=$1
. "$source/tests/scripts/lib.sh"
make_scratch

awk -v dir="$scratch" '
  /^```/ { if (inside) { close(file); inside = 0 } else { inside = 1; file = sprintf("%s/block%03d", dir, ++n) } next }
  inside { print > file }
' "$source/README.md"

for pipeline in "$source"/docs/pipelines/*.sh; do
  shown=no
  for block in "$scratch"/block*; do
    [ -f "$block" ] || continue
    if cmp -s "$pipeline" "$block"; then shown=yes; fi
  done
  [ "$shown" = yes ] || fail "README.md does not show ${pipeline#"$source"/} word for word"
done
echo "README shows every pipeline"
