#!/usr/bin/env bash
# Fails when a source of a Qt-free engine library, or a header beside it, includes Qt.
set -euo pipefail
list=${1:?usage: check-boundaries.sh ENGINE_SOURCES_LIST}
files=()
while IFS= read -r source; do
  [ -n "$source" ] || continue
  files+=("$source")
  for header in "${source%.*}.h" "${source%.*}_p.h"; do
    [ -f "$header" ] && files+=("$header")
  done
done < "$list"
if hits=$(grep -nE '^\s*#\s*include\s*[<"](Q[A-Za-z]+|Qt[A-Za-z]*/)' "${files[@]}"); then
  echo "Qt include in an engine source:"
  echo "$hits"
  exit 1
fi
echo "check-boundaries: ${#files[@]} engine files, no Qt include"
