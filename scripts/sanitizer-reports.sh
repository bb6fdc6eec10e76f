#!/usr/bin/env bash
# Prints every sanitizer report in a folder of sanitizer logs and exits 1
# when there is one, 0 otherwise.
#
#   scripts/sanitizer-reports.sh LOG_FOLDER [IGNORED]
#
# IGNORED is an extended regular expression: a log whose every line matches
# it is no report (an empty log never is one).
set -euo pipefail
logs="$1"
ignored="${2:-}"
reports=""
for log in $(find "$logs" -type f -size +0); do
  if [ -z "$ignored" ] || grep -Evq "$ignored" "$log"; then reports="$reports $log"; fi
done
[ -z "$reports" ] && exit 0
echo "Sanitizer reports:" >&2
for report in $reports; do
  echo "---- $report" >&2
  head -40 "$report" >&2
done
exit 1
