#!/bin/sh
# Installs every Debian package the project builds, runs and tests with.
# With --windows also the cross compiler, the resource compiler, zip and Wine
# (the Windows build and its tests).
set -eu
PACKAGES="build-essential cmake ninja-build pkg-config git
  libsdl2-dev libsdl2-mixer-dev libosmesa6-dev libgl-dev libgl1-mesa-dri
  libpng-dev libfreetype-dev fonts-dejavu-core timgm6mb-soundfont
  libimgui-dev googletest libgtest-dev libbenchmark-dev
  lib3ds-dev assimp-testmodels gl-117-data glmark2-data
  libx11-dev xvfb xauth xdotool x11-utils xscreensaver libxml2-utils
  clang libclang-rt-dev"
if [ "${1:-}" = "--windows" ]; then
  PACKAGES="$PACKAGES g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 zip wine wine64"
fi
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "Installing:$missing"
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
