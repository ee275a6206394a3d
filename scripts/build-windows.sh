#!/bin/sh
# Installs what is missing, cross-builds the Windows screen saver with
# mingw-w64 and packs it for Windows users:
#   build-windows/kelvo.scr, build-windows/kelvo.pak,
#   build-windows/tools/kelvo-check.exe, dist/kelvo-windows.zip
# KELVO_WINDOWS_BUILD names another build folder; KELVO_NATIVE_BUILD a native
# build folder whose generators make the logo, the icon and kelvo.pak (by
# default the cross build makes one of its own); --no-zip skips the zip.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh --windows
JOBS=${KELVO_JOBS:-2}
BUILD=${KELVO_WINDOWS_BUILD:-build-windows}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
  -DKELVO_NATIVE_BUILD="${KELVO_NATIVE_BUILD:-}" -DKELVO_NATIVE_JOBS="$JOBS" >/dev/null
ninja -C "$BUILD" -j"$JOBS"
[ "${1:-}" = "--no-zip" ] && exit 0

# The zip: the saver, the demo package and a read-me with Windows line ends.
mkdir -p dist
STAGE="$BUILD/dist"
rm -rf "$STAGE" dist/kelvo-windows.zip
mkdir -p "$STAGE"
cp "$BUILD/kelvo.scr" "$BUILD/kelvo.pak" "$STAGE/"
sed 's/$/\r/' docs/windows-readme.txt > "$STAGE/README.txt"
ZIP="$(pwd)/dist/kelvo-windows.zip"
(cd "$STAGE" && zip -q -X "$ZIP" kelvo.scr kelvo.pak README.txt)
echo "Built $BUILD/kelvo.scr and dist/kelvo-windows.zip"
