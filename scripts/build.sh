#!/usr/bin/env bash
# Configures and builds cvspamcmd and its tests into BUILD_DIR (default: build).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
"$root/scripts/install-deps.sh" cmake make g++ pkg-config libpugixml-dev libgtest-dev
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
