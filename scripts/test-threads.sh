#!/usr/bin/env bash
# Builds the tool and every test with ThreadSanitizer into build-tsan
# (TSAN_BUILD_DIR) and runs the test suite, so that the threads that read
# and tokenize messages ahead, and the listing, are checked for data races.
# Reports go to log files (the tests throw the tool's standard error away);
# the run fails when a test fails or any report was written.
#
# One test is left out: a named mutex abandoned by another process's death
# is a robust mutex in shared memory, whose owner ThreadSanitizer cannot see
# across processes, so it reports every release there as wrong.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TSAN_BUILD_DIR:-$root/build-tsan}"
"$root/scripts/install-deps.sh" cmake make g++ pkg-config libpugixml-dev libgtest-dev
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCVSPAM_SANITIZE_THREAD=ON \
  >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null
logs="$build/sanitizer-logs"
rm -rf "$logs"
mkdir -p "$logs"
export TSAN_OPTIONS="log_path=$logs/tsan:halt_on_error=1"
status=0
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" \
  -E 'PlatformMutex.NamedMutexExcludesAnotherProcessAndIsAbandonedByItsDeath' || status=1
"$root/scripts/sanitizer-reports.sh" "$logs" || status=1
exit "$status"
