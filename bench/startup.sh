#!/usr/bin/env bash
# Whole-process cost of one conversion, which is mostly start-up: instructions
# counted by callgrind for glyphrip converting the example sheet, against cp
# copying the same file. Counts, not seconds, so the figures repeat on a busy
# machine. Usage: bench/startup.sh [glyphrip executable]
set -euo pipefail
cd "$(dirname "$0")/.."
tool=${1:-build/release/glyphrip}
[ -x "$tool" ] || cmake --workflow --preset release >/dev/null
sheet=examples/sheet.bmp
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

instructions() {
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
    sed -n 's/.*Collected : *//p'
}

ours=$(instructions "$tool" "$sheet" "$out/font.raw")
cmp -s "$out/font.raw" examples/font.raw || { echo "bench: wrong font from $tool" >&2; exit 1; }
theirs=$(instructions cp "$sheet" "$out/copy.bmp")
printf 'glyphrip  %9d instructions\n' "$ours"
printf 'cp        %9d instructions\n' "$theirs"
printf 'ratio     %9.3f (target: at most 0.5)\n' "$(echo "$ours / $theirs" | bc -l)"
printf 'loads     %s\n' "$(ldd "$tool" | awk '{print $1}' | tr '\n' ' ')"
