#!/usr/bin/env bash
# Installs the Debian 12 packages Corvane needs, in three sets:
#   build  toolchain, Qt 6 and the engines' development packages: enough to build and run
#   run    what the editor needs at run time beyond what `build` brings in
#   test   the test suite, benchmarks, sanitizer and fuzzing builds, end-to-end tests, packaging
# Usage: install-deps.sh [build|run|test|all]...   (no argument: all)
# Idempotent: packages already present are skipped, apt-get update runs at most once, and sudo is
# used when not root.
set -euo pipefail

build=(
  build-essential cmake ninja-build pkg-config
  # Qt 6 (Core, Gui, Widgets, Svg, Network, Concurrent, DBus, Test)
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
  # Engines
  rapidjson-dev libxml2-dev libmd4c-dev libpcre2-dev libutf8proc-dev
)
run=(
  # The Qt libraries come with `build`; the editor's fixed-width font is the system's, and this
  # one makes it the same everywhere (the tests' screenshots depend on it)
  fonts-dejavu-core
)
test=(
  # Sanitizer and libFuzzer builds, benchmarks
  clang libclang-rt-14-dev libbenchmark-dev
  # Offscreen and screenshot tooling
  xvfb xauth imagemagick
  # The end-to-end tests drive the real editor as a user would, under a real window manager;
  # x11-utils brings xmessage (another application to move the focus to); the accessibility
  # bus (a session bus, at-spi2-core, gdbus) tells them which dialog button has the focus
  xdotool python3 openbox wmctrl x11-utils dbus-daemon at-spi2-core libglib2.0-bin
  # Desktop integration: validators and cache tools for the installed tree, icon rendering
  desktop-file-utils appstream shared-mime-info libxml2-utils librsvg2-bin
  # The Debian package: dpkg-shlibdeps and dpkg-buildflags, lintian, man to read the manual
  # pages. No fakeroot: cpack writes the archive's owners itself.
  dpkg-dev lintian man-db
)

sets=("$@")
[ ${#sets[@]} -gt 0 ] || sets=(all)
packages=()
for set in "${sets[@]}"; do
  case $set in
    build) packages+=("${build[@]}") ;;
    run) packages+=("${run[@]}") ;;
    test) packages+=("${test[@]}") ;;
    all) packages+=("${build[@]}" "${run[@]}" "${test[@]}") ;;
    *)
      echo "usage: install-deps.sh [build|run|test|all]..." >&2
      exit 2
      ;;
  esac
done

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi

missing=()
for p in $(printf '%s\n' "${packages[@]}" | sort -u); do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: ${sets[*]}: all packages present"
  exit 0
fi

echo "install-deps: ${sets[*]}: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
