#!/usr/bin/env bash
# Cross-builds the Windows executable and its tests with MinGW-w64 into
# WIN_BUILD_DIR (default: build-win64), runs the tests under Wine in a Wine
# prefix of that folder, then checks that dictionaries written by the Windows
# build and by the POSIX build (BUILD_DIR, default: build) read the same in
# the other.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${WIN_BUILD_DIR:-$root/build-win64}"
posix_build="${BUILD_DIR:-$root/build}"

"$root/scripts/install-deps.sh" cmake make g++-mingw-w64-x86-64 googletest wine wine64

cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" >/dev/null
cmake --build "$build" -j "$(nproc)"

# A prefix of our own, made once: its first start takes a while.
export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
# No downloads of Wine's .NET and HTML engines; the tool needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix $WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wineserver -w
fi

status=0
ctest --test-dir "$build" --output-on-failure || status=$?

if [ ! -x "$posix_build/cvspamcmd" ]; then
  BUILD_DIR="$posix_build" "$root/scripts/build.sh" >/dev/null
fi
"$root/scripts/interop-test.sh" "$posix_build/cvspamcmd" "$build/cvspamcmd.exe" || status=$?

wineserver -k 2>/dev/null || true
exit "$status"
