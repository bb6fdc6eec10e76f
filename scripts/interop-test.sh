#!/usr/bin/env bash
# Checks that the Windows build and the POSIX build read each other's
# dictionaries: both train text and XML dictionaries from the same corpus,
# whose tokens hold bytes above 0x7F; each must write what the other writes
# (apart from the CR LF line ends of Windows text files and the line end the
# Windows XML component puts after the document), and each must load the
# other's files with the same rows and totals: loaded and saved again with
# "Bayesian Training Mode" 1, they come out as its own, and a message scores
# the same against them.
# Usage: scripts/interop-test.sh POSIX_TOOL WINDOWS_TOOL.exe
# The Windows tool runs under Wine (WINEPREFIX as set by the caller).
set -euo pipefail
posix_tool="$(realpath "$1")"
windows_tool="$(realpath "$2")"
for program in "$posix_tool" "$windows_tool"; do
  [ -f "$program" ] || { echo "interop: $program is missing" >&2; exit 1; }
done
command -v wine >/dev/null || { echo "interop: wine is missing" >&2; exit 1; }

work="$(mktemp -d "${TMPDIR:-/tmp}/cvspam-interop-XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir -p spam ham posix-host
filter_key='HKLM\SOFTWARE\Wow6432Node\Corvistane\Corvistane\Agents\MTA\Filters\MTAFILTER'
failures=0

fail() {
  echo "interop: FAILED: $*" >&2
  failures=$((failures + 1))
}

# Bytes above 0x7F in Windows-1252: accented letters, the euro sign (0x80),
# a byte the code page leaves undefined (0x81), and the last byte (0xFF).
for i in 1 2 3 4; do
  printf 'Subject: Gro\xdfe Pr\xe4mie %s\r\n\r\ncaf\xe9 cr\xe8me \x80uro gr\xf6\xdfer \xfcber pr\xe4mie gro\xdfe cash\r\nz\x81z \xff\xfe money offer %s\r\n' "$i" "$i" > "spam/s$i.eml"
  printf 'Subject: R\xe9union\r\n\r\nr\xe9union \xe0 l\x27h\xf4tel demain, na\xefve agenda %s\r\nmeeting fa\xe7ade \xe9t\xe9 notes\r\n' "$i" > "ham/h$i.eml"
done
printf 'Subject: caf\xe9\r\n\r\ncaf\xe9 \xfcber \x80uro r\xe9union money\r\n' > message.eml

# The tool's exit status is always 1: only its output tells.
run_posix() { { CVSPAM_HOST_DIR="$work/posix-host" "$posix_tool" "$@" 2>/dev/null || true; } | tr -d '\r'; }
run_windows() { { wine "$windows_tool" "$@" 2>/dev/null || true; } | tr -d '\r'; }
set_training_mode() {
  printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Corvistane\\Corvistane\\Agents\\MTA\\Filters\\MTAFILTER]\n"Bayesian Training Mode"=dword:%08x\n' "$1" > posix-host/registry.reg
  wine reg delete 'HKLM\SOFTWARE\Wow6432Node\Corvistane' /f >/dev/null 2>&1 || true
  wine reg add "$filter_key" /v "Bayesian Training Mode" /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}
# Text as the other platform reads it: CR LF is LF, and a final line end is
# not content.
plain() { tr -d '\r' < "$1" | sed -e '$a\'; }
# The result record and the counts of a score run.
scores() { grep -E '^(Result=|Dictionary Size:|Loading Dictionary Completed)' || true; }

set_training_mode 0
for format in txt xml; do
  run_posix -c "posix.$format" spam ham >/dev/null
  run_windows -c "windows.$format" spam ham >/dev/null
  for file in "posix.$format" "windows.$format"; do
    [ -s "$file" ] || fail "$file was not written"
    LC_ALL=C grep -q $'[\x80-\xff]' "$file" || fail "$file holds no byte above 0x7F"
  done
  cmp -s <(plain "posix.$format") <(plain "windows.$format") ||
    fail "the POSIX and Windows builds write different $format dictionaries"
done

# Each build loads the other's dictionaries and saves them again.
set_training_mode 1
for format in txt xml; do
  cp "windows.$format" "posix-reads-windows.$format"
  cp "posix.$format" "windows-reads-posix.$format"
  own_posix="$(run_posix -s "posix.$format" message.eml | scores)"
  own_windows="$(run_windows -s "windows.$format" message.eml | scores)"
  cross_posix="$(run_posix -s "posix-reads-windows.$format" message.eml | scores)"
  cross_windows="$(run_windows -s "windows-reads-posix.$format" message.eml | scores)"
  [ -n "$own_posix" ] || fail "no score from the POSIX build ($format)"
  [ "$own_posix" = "$own_windows" ] || fail "the builds score differently ($format): $own_posix / $own_windows"
  [ "$own_posix" = "$cross_posix" ] || fail "the POSIX build scores differently on the Windows $format dictionary"
  [ "$own_windows" = "$cross_windows" ] || fail "the Windows build scores differently on the POSIX $format dictionary"
  cmp -s <(plain "posix.$format") <(plain "posix-reads-windows.$format") ||
    fail "the POSIX build does not read the Windows $format dictionary as written"
  cmp -s <(plain "windows.$format") <(plain "windows-reads-posix.$format") ||
    fail "the Windows build does not read the POSIX $format dictionary as written"
done
# The saves above really rewrote the files in each platform's own way.
grep -q $'\r' posix-reads-windows.txt && fail "the POSIX build kept CR LF line ends"
grep -q $'\r' windows-reads-posix.txt || fail "the Windows build wrote no CR LF line ends"
set_training_mode 0
wine reg delete 'HKLM\SOFTWARE\Wow6432Node\Corvistane' /f >/dev/null 2>&1 || true

if [ "$failures" -ne 0 ]; then
  echo "interop: $failures check(s) failed" >&2
  exit 1
fi
echo "interop: text and XML dictionaries read the same in the POSIX and Windows builds"
