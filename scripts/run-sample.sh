#!/usr/bin/env bash
# Builds cvspamcmd and runs its main job on the sample corpus in samples/:
# create a dictionary from the spam and ham folders, score one message and
# verify a folder. The host folder (registry, event log) is a fresh one in
# the build folder unless CVSPAM_HOST_DIR is set.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
BUILD_DIR="$build" "$root/scripts/build.sh" >/dev/null
tool="$build/cvspamcmd"
work="$build/sample-run"
rm -rf "$work"
mkdir -p "$work/host"
export CVSPAM_HOST_DIR="${CVSPAM_HOST_DIR:-$work/host}"
dictionary="$work/sample-dictionary.txt"
"$tool" -c "$dictionary" "$root/samples/spam" "$root/samples/ham" || true
"$tool" -s "$dictionary" "$root/samples/score-me.eml" || true
"$tool" -v "$dictionary" "$root/samples/verify" || true
