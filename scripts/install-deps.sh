#!/usr/bin/env bash
# Installs every Debian package that building, testing, packaging and the end-to-end tests
# need, and the packages named as arguments (the benchmark's own peers, from `make bench`).
# Returns at once when all of them are already present.
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
  libpng-dev
  libgtest-dev
  xvfb xauth xdotool openbox x11-utils
  desktop-file-utils appstream man-db
  dpkg-dev file lintian
  weston qt6-wayland
  at-spi2-core python3-pyatspi gir1.2-atspi-2.0 dbus
  imagemagick
  fonts-dejavu-core fonts-liberation
  clang libclang-rt-14-dev
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
