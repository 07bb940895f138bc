#!/usr/bin/env bash
# Installs what is missing, builds, and then starts Linkhauler (run) or runs every test (test).
# Works as root and as a user with sudo; a second call reinstalls and rebuilds nothing needlessly.
set -euo pipefail

usage() { echo "usage: $0 run|test|build" >&2; exit 2; }
[ $# -ge 1 ] || usage
action=$1; shift
cd "$(dirname "$(readlink -f "$0")")"

packages=(
  cmake make g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libqt6test6
  qt6-webengine-dev qt6-webengine-dev-tools libqt6webenginecore6-bin libqt6webengine6-data
  libgl-dev libvulkan-dev libxkbcommon-dev
  libcurl4-openssl-dev libbenchmark-dev
  xvfb xauth fonts-dejavu-core fonts-liberation
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"
  elif command -v sudo >/dev/null 2>&1; then sudo "$@"
  else echo "Installing packages needs root: run this again as root or install sudo." >&2; exit 1
  fi
}

install_missing() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build() {
  # Configuring again is cheap and keeps what is already built.
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build --parallel "$(nproc)"
}

install_missing
build

case "$action" in
  build) ;;
  run)
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
      echo "No display: Linkhauler is a desktop program and needs an X11 or Wayland display." >&2
      echo "On a machine without one, start it under Xvfb: xvfb-run -a $0 run" >&2
      exit 1
    fi
    exec build/bin/linkhauler "$@"
    ;;
  test)
    export QT_QPA_PLATFORM=offscreen
    ctest --test-dir build --output-on-failure --no-tests=error --parallel 2 "$@"
    ;;
  *) usage ;;
esac
