#!/usr/bin/env bash
# Whole-process cost of one conversion, which is mostly start-up, against cp
# copying the same sheet and against an empty program built as the tool is:
# instructions counted by callgrind (counts, not seconds, so they repeat on
# a busy machine) and, where hyperfine is installed, wall time over many runs.
# Usage: bench/startup.sh [glyphrip executable] [empty executable]
# (cmake --workflow --preset bench builds both and runs this.)
set -euo pipefail
cd "$(dirname "$0")/.."
tool=${1:-build/bench/glyphrip}
empty=${2:-build/bench/bench/empty}
[ -x "$tool" ] && [ -x "$empty" ] || cmake --workflow --preset bench >/dev/null
sheet=examples/sheet.bmp
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

instructions() {
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
    sed -n 's/.*Collected : *//p'
}
ratio() { python3 -c "import sys; print(f'{float(sys.argv[1]) / float(sys.argv[2]):.3f}')" "$1" "$2"; }

ours=$(instructions "$tool" "$sheet" "$out/font.raw")
cmp -s "$out/font.raw" examples/font.raw || { echo "bench: wrong font from $tool" >&2; exit 1; }
cps=$(instructions cp "$sheet" "$out/copy.bmp")
nothing=$(instructions "$empty")
echo "instructions (callgrind), one whole process"
printf '  glyphrip  %9d\n  cp        %9d\n  empty     %9d\n' "$ours" "$cps" "$nothing"
printf '  glyphrip / cp     %s (target: at most 0.5)\n' "$(ratio "$ours" "$cps")"
printf '  glyphrip / empty  %s (target: at most 2)\n' "$(ratio "$ours" "$nothing")"
printf 'loads: %s\n' "$(ldd "$tool" | awk '{print $1}' | tr '\n' ' ')"

if command -v hyperfine >/dev/null; then
  hyperfine -N --warmup 100 --runs 2000 --export-json "$out/times.json" \
    "$tool $sheet $out/font.raw" "cp $sheet $out/copy.bmp" "$empty" >/dev/null 2>&1
  python3 - "$out/times.json" <<'PY'
import json, sys
ours, cp, empty = (r["mean"] for r in json.load(open(sys.argv[1]))["results"])
print("wall time (hyperfine, mean of 2000 runs)")
for name, t in (("glyphrip", ours), ("cp", cp), ("empty", empty)):
    print(f"  {name:9} {t * 1e6:9.0f} us")
print(f"  glyphrip / cp     {ours / cp:.3f}")
print(f"  glyphrip / empty  {ours / empty:.3f}")
PY
else
  echo "wall time: hyperfine is not installed (Debian: apt-get install hyperfine)"
fi
