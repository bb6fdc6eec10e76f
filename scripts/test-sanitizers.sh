#!/usr/bin/env bash
# Builds the tool and every test with AddressSanitizer and
# UndefinedBehaviorSanitizer into build-asan (ASAN_BUILD_DIR) and runs the
# whole test suite. The tests run the tool with its standard error thrown
# away, so every sanitizer report goes to a log file instead; the run fails
# when a test fails or when any report was written. (A run of the tool that
# a test kills on purpose can leave an empty log file, which is no report.)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${ASAN_BUILD_DIR:-$root/build-asan}"
"$root/scripts/install-deps.sh" cmake make g++ pkg-config libpugixml-dev libgtest-dev
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCVSPAM_SANITIZE=ON >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null
logs="$build/sanitizer-logs"
rm -rf "$logs"
mkdir -p "$logs"
export ASAN_OPTIONS="log_path=$logs/asan:detect_leaks=1:halt_on_error=1:abort_on_error=0"
export UBSAN_OPTIONS="log_path=$logs/ubsan:print_stacktrace=1:halt_on_error=1"
status=0
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" || status=1
# A run killed on purpose while LeakSanitizer stops its threads at exit
# leaves only the leak checker's own complaint that it could not read them;
# that is no finding about the tool. Every other line counts as a report.
lsanNoise='Unable to get registers from thread|LeakSanitizer has encountered a fatal error|^HINT: |Tracer caught signal|^==[0-9]+==$'
"$root/scripts/sanitizer-reports.sh" "$logs" "$lsanNoise" || status=1
exit "$status"
