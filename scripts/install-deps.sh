#!/usr/bin/env bash
# Installs every Debian 12 package Corvane needs to build, test, benchmark and fuzz.
# Idempotent: packages already present are skipped, and apt-get update runs at most once.
set -euo pipefail

packages=(
  # Toolchain
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  # Qt 6 (Core, Gui, Widgets, Svg, Network, Concurrent, DBus, Test)
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
  # Engines
  rapidjson-dev libxml2-dev libmd4c-dev libpcre2-dev libutf8proc-dev
  # Tests and benchmarks
  libbenchmark-dev
  # Offscreen and screenshot tooling, fonts for deterministic rendering
  xvfb xauth imagemagick fonts-dejavu-core
  # The end-to-end tests drive the real editor as a user would, under a real window manager;
  # x11-utils brings xmessage (another application to move the focus to); the accessibility
  # bus (a session bus, at-spi2-core, gdbus) tells them which dialog button has the focus
  xdotool python3 openbox wmctrl x11-utils dbus-daemon at-spi2-core libglib2.0-bin
  # Desktop integration: validators and cache tools for the installed tree, icon rendering
  desktop-file-utils appstream shared-mime-info libxml2-utils librsvg2-bin
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
