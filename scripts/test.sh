#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
# groff renders the manual page in one of the tests.
"$root/scripts/install-deps.sh" groff
BUILD_DIR="$build" "$root/scripts/build.sh"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
# The Debian package, built and checked by lintian.
"$root/scripts/package.sh" >/dev/null
# The Windows build: cross-built with MinGW-w64, tested under Wine, and its
# dictionaries checked against the POSIX build's.
BUILD_DIR="$build" "$root/scripts/test-windows.sh"
# Hostile input: the whole suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, every fuzz target for a minute, and the large
# inputs checked for time and memory.
"$root/scripts/test-sanitizers.sh"
# The threads that read messages ahead, under ThreadSanitizer.
"$root/scripts/test-threads.sh"
"$root/scripts/fuzz.sh" 60
BUILD_DIR="$build" "$root/scripts/bounds-check.sh"
