#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
BUILD_DIR="$build" "$root/scripts/build.sh"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
# The Windows build: cross-built with MinGW-w64, tested under Wine, and its
# dictionaries checked against the POSIX build's.
BUILD_DIR="$build" "$root/scripts/test-windows.sh"
