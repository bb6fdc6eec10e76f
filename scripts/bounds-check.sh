#!/usr/bin/env bash
# Generates large and hostile inputs in a temporary folder, runs the built
# tool on each through /usr/bin/time -v, and checks that it ran to its end
# (no crash), that inputs of up to 1 MB took less than a second, and that no
# run needed more than 256 MB of memory. Prints a table of the figures and
# of the line where the tool refused or reported the input.
#
# Usage: scripts/bounds-check.sh   (BUILD_DIR: the build folder, default
# build; the tool is built there first when it is missing)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
"$root/scripts/install-deps.sh" time
if [ ! -x "$build/cvspamcmd" ]; then BUILD_DIR="$build" "$root/scripts/build.sh" >/dev/null; fi
tool="$build/cvspamcmd"
work="$(mktemp -d "${TMPDIR:-/tmp}/cvspam-bounds-XXXXXX")"
trap 'rm -rf "$work"' EXIT
megabyte=1048576
memory_limit_kb=$((256 * 1024))

mkdir -p "$work/host" "$work/in"
export CVSPAM_HOST_DIR="$work/host"
# The tool's exit status is always 1.
"$tool" -c "$work/small.txt" "$root/samples/spam" "$root/samples/ham" >/dev/null || true

repeat() { head -c "$2" /dev/zero | tr '\0' "$1"; }

# ---- Messages, scored against the small dictionary.
for n in 2047 2048 2049; do
  { printf 'Subject: line\n\n'; repeat a "$n"; printf '\n'; } >"$work/in/line-$n.eml"
done
{ printf 'Subject: no line end\n\n'; repeat z $megabyte; } >"$work/in/line-1mb-no-eol.eml"
for n in 15999 16000 16001; do
  { printf '\n'; repeat b "$n"; } >"$work/in/text-$n.eml"
done
for n in 399 400 401; do
  { printf 'Subject: tokens\n\n'; awk -v n="$n" 'BEGIN { for (i = 0; i < n; i++) printf "token%05d ", i; print "" }'; } >"$work/in/tokens-$n.eml"
done
awk 'BEGIN {
  n = 100000
  print "Content-Type: multipart/alternative; boundary=\"b0\"\n"
  for (i = 0; i < n; i++) print "--b" i "\nContent-Type: multipart/alternative; boundary=\"b" i + 1 "\"\n"
  print "--b" n "\nContent-Type: text/plain\n\ninnermost\n--b" n "--"
}' >"$work/in/nested-100k.eml"
awk 'BEGIN {
  print "Content-Type: multipart/mixed; boundary=\"p\"\n"
  for (i = 0; i < 100000; i++) print "--p\nContent-Type: text/plain\n\nab"
  print "--p--"
}' >"$work/in/parts-100k.eml"
{ printf 'Subject: huge\n\n'; yes 'a line of body text with several words in it' | head -c $((100 * megabyte)) || true; } >"$work/in/message-100mb.eml"
{ printf '\x89PNG\r\n\x1a\n'; head -c 300000 /dev/urandom; } >"$work/in/image.png"
cp "$tool" "$work/in/executable"

# ---- Dictionaries, loaded to score one message.
message="$root/samples/score-me.eml"
for n in 199999 200000 200001; do
  awk -v n="$n" 'BEGIN { print "Token\t1\t1"; for (i = 0; i < n; i++) printf "r%07d\t1\t1\n", i }' >"$work/in/rows-$n.txt"
done
{ printf 'Token\t1\t2\n'; repeat x $megabyte; printf 'tail\t4\t5\n'; } >"$work/in/line-1mb.txt"
cat >"$work/in/billion-laughs.xml" <<'XML'
<!DOCTYPE ELEMENTS [<!ENTITY a "aaaaaaaaaa"><!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;"><!ENTITY c "&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;"><!ENTITY d "&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;"><!ENTITY e "&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;"><!ENTITY f "&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;"><!ENTITY g "&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;"><!ENTITY h "&g;&g;&g;&g;&g;&g;&g;&g;&g;&g;"><!ENTITY i "&h;&h;&h;&h;&h;&h;&h;&h;&h;&h;">]>
<ELEMENTS><ENTRIES W="1" B="1"><E W="3" B="3">&i;</E></ENTRIES></ELEMENTS>
XML
cat >"$work/in/external-entity.xml" <<'XML'
<!DOCTYPE ELEMENTS [<!ENTITY x SYSTEM "file:///etc/passwd">]>
<ELEMENTS><ENTRIES W="1" B="1"><E W="3" B="3">&x;</E></ENTRIES></ELEMENTS>
XML
awk -v n=200000 'BEGIN { printf "<ELEMENTS><ENTRIES W=\"1\" B=\"2\">"; for (i = 0; i < n; i++) printf "<E>"; printf "deep"; for (i = 0; i < n; i++) printf "</E>"; print "</ENTRIES></ELEMENTS>" }' >"$work/in/nested-200k.xml"
awk -v n=52000 'BEGIN { printf "<ELEMENTS><ENTRIES W=\"1\" B=\"2\">"; for (i = 0; i < n; i++) printf "<E W=\"3\" B=\"4\">"; printf "deep"; for (i = 0; i < n; i++) printf "</E>"; print "</ENTRIES></ELEMENTS>" }' >"$work/in/nested-1mb.xml"

# ---- Registry files, read at start-up.
head -c 100000 /dev/urandom >"$work/in/registry-garbage.reg"
{ printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Corvistane\\Corvistane\\Agents\\MTA\\Filters\\MTAFILTER]\n"Bayesian Purge Significance"="'; repeat 9 $megabyte; printf '"\n'; } >"$work/in/registry-huge-value.reg"
printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Corvistane\\Corvistane\\Agents\\MTA\\Filters\\MTAFILTER]\n"Bayesian Training Mode"=dword:00000001\n' >"$work/in/registry-missing-header.reg"

# Runs one case: name, input file, then the tool's arguments.
failed=0
printf '%-26s %10s %8s %9s  %-5s %s\n' input bytes seconds "peak MB" check "what the tool said"
run_case() {
  local name="$1" input="$2"
  shift 2
  local out="$work/out.txt" err="$work/err.txt" timing="$work/time.txt"
  /usr/bin/time -v -o "$timing" "$tool" "$@" >"$out" 2>"$err" || true
  local bytes seconds peak verdict said
  bytes=$(stat -c %s "$input")
  seconds=$(awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s }' "$timing")
  peak=$(awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' "$timing")
  verdict=ok
  if grep -q 'terminated by signal' "$timing" || ! grep -q '^Dictionary Released\.$' "$out"; then
    verdict=CRASH
  elif [ "$bytes" -le $megabyte ] && awk -v s="$seconds" 'BEGIN { exit !(s >= 1.0) }'; then
    verdict=SLOW
  elif awk -v p="$peak" -v l=$memory_limit_kb 'BEGIN { exit !(p * 1024 > l) }'; then
    verdict=MEMORY
  fi
  said=$(grep -h -m1 -E 'registry\.reg line|Dictionary full|Loading Dictionary Failed|Error Description|nested too deeply|Entries with|left out' "$err" "$out" || true)
  [ -n "$said" ] || said=$(grep -m1 -E '^Result=|^Dictionary Size' "$out" || true)
  printf '%-26s %10s %8s %9s  %-5s %s\n' "$name" "$bytes" "$seconds" "$peak" "$verdict" "${said:0:70}"
  [ "$verdict" = ok ] || failed=1
}

for file in line-2047 line-2048 line-2049 line-1mb-no-eol text-15999 text-16000 text-16001 \
            tokens-399 tokens-400 tokens-401 nested-100k parts-100k message-100mb; do
  run_case "$file.eml" "$work/in/$file.eml" -s "$work/small.txt" "$work/in/$file.eml"
done
for file in image.png executable; do
  run_case "$file" "$work/in/$file" -s "$work/small.txt" "$work/in/$file"
done
for file in rows-199999.txt rows-200000.txt rows-200001.txt line-1mb.txt billion-laughs.xml \
            external-entity.xml nested-200k.xml nested-1mb.xml; do
  run_case "$file" "$work/in/$file" -s "$work/in/$file" "$message"
done
for file in registry-garbage registry-huge-value registry-missing-header; do
  cp "$work/in/$file.reg" "$work/host/registry.reg"
  run_case "$file.reg" "$work/in/$file.reg" -s "$work/small.txt" "$message"
done
rm -f "$work/host/registry.reg"
exit "$failed"
