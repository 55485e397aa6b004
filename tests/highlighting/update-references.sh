#!/usr/bin/env bash
# Rewrites the reference colourings (fixtures/golden/**/*.ref) from the current highlighter.
# Run it only after reviewing why a reference changed (`git diff` shows it afterwards).
# usage: tests/highlighting/update-references.sh [BUILD_DIR]   (default: build)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
cmake --build "$build" --target tst_golden
CORVANE_WRITE_REFERENCES=1 QT_QPA_PLATFORM=offscreen "$build/tests/highlighting/tst_golden" >/dev/null
git -C "$here" status --short -- fixtures/golden
