#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ (clang, with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs every one of them for SECONDS
# (default 60), as many at a time as there are processors. Fails when any
# target finds a crash, a leak, a sanitizer report or a broken property; the
# input that did it is kept in BUILD/artifacts/TARGET/.
#
# Usage: scripts/fuzz.sh [SECONDS]   (FUZZ_BUILD_DIR: build folder, default
# build-fuzz; the corpora grow in BUILD/corpus/TARGET from one run to the next)
set -euo pipefail
seconds="${1:-60}"
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${FUZZ_BUILD_DIR:-$root/build-fuzz}"
"$root/scripts/install-deps.sh" cmake make pkg-config libpugixml-dev clang-14 libclang-rt-14-dev

CXX=clang++-14 cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCVSPAM_FUZZ=ON -DCVSPAM_BUILD_TESTS=OFF >/dev/null
targets=(message_reader base64 quoted_printable tokenizers text_dictionary xml_dictionary registry)
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/#/fuzz_}" >/dev/null

# Seed corpora (read only) and token dictionaries of each target.
seeds_of() {
  case "$1" in
    message_reader) echo "$root/samples/spam $root/samples/ham $root/samples/verify $root/tests/fixtures/messages" ;;
    tokenizers) echo "$root/samples/spam $root/samples/ham" ;;
    *) echo "$root/fuzz/seeds/$1" ;;
  esac
}
dict_of() {
  case "$1" in
    message_reader | tokenizers) echo "$root/fuzz/dicts/mime.dict" ;;
    xml_dictionary) echo "$root/fuzz/dicts/xml.dict" ;;
    *) echo "$root/fuzz/dicts/$1.dict" ;;
  esac
}
# Messages must be long enough to pass the line and text limits.
max_len_of() {
  case "$1" in
    message_reader | tokenizers) echo 20000 ;;
    *) echo 4096 ;;
  esac
}

run_target() {
  local target="$1"
  mkdir -p "$build/corpus/$target" "$build/artifacts/$target" "$build/logs"
  # shellcheck disable=SC2046
  "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len="$(max_len_of "$target")" -dict="$(dict_of "$target")" -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$target/" \
    "$build/corpus/$target" $(seeds_of "$target") >"$build/logs/$target.log" 2>&1
}

declare -A status
pids=()
names=()
for target in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$(nproc)" ]; do wait -n || true; done
  run_target "$target" &
  pids+=($!)
  names+=("$target")
done
for i in "${!pids[@]}"; do
  if wait "${pids[$i]}"; then status[${names[$i]}]=clean; else status[${names[$i]}]=FAILED; fi
done

failed=0
printf '%-18s %8s %12s %10s %s\n' target seconds executions corpus result
for target in "${targets[@]}"; do
  log="$build/logs/$target.log"
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  corpus=$(find "$build/corpus/$target" -type f | wc -l)
  printf '%-18s %8s %12s %10s %s\n' "$target" "$seconds" "${executions:-?}" "$corpus" "${status[$target]}"
  if [ "${status[$target]}" != clean ]; then
    failed=1
    echo "---- $target: $log" >&2
    grep -E 'ERROR|SUMMARY|property broken|Test unit written' "$log" >&2 || tail -20 "$log" >&2
  fi
done
exit "$failed"
