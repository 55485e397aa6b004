#!/usr/bin/env bash
# Renders the application icon's PNG sizes from its SVG into packaging/icons/hicolor.
# The PNGs are committed, so builds and CI need no SVG renderer; run this after editing the SVG.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
svg="$root/packaging/icons/app.corvane.editor.svg"
out="$root/packaging/icons/hicolor"
sizes=(16 24 32 48 64 128 256 512)

if ! command -v rsvg-convert >/dev/null; then
  echo "render-icons: rsvg-convert is missing (apt-get install librsvg2-bin)" >&2
  exit 1
fi

for size in "${sizes[@]}"; do
  dir="$out/${size}x${size}/apps"
  mkdir -p "$dir"
  rsvg-convert --width "$size" --height "$size" --format png "$svg" --output "$dir/app.corvane.editor.png"
done
echo "render-icons: ${#sizes[@]} sizes written under ${out#"$root"/}"
