#!/usr/bin/env bash
# Whole-process cost of one conversion each way (a one-bit BMP, a 24-bit
# BMP, a PNG and an interlaced PNG to a font; a font to a sheet), which is
# mostly start-up,
# against cp copying the same input and against an empty program built as
# the tools are: instructions counted by callgrind (counts, not seconds, so
# they repeat on a busy machine) and, where hyperfine is installed, wall
# time over many runs.
# Usage: bench/startup.sh [build directory]
# (cmake --workflow --preset bench builds the tools and the empty program
# and runs this.)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/bench}
[ -x "$build/glyphrip" ] && [ -x "$build/glyphsheet" ] && [ -x "$build/bench/empty" ] && [ -x "$build/bench/inflate" ] ||
  cmake --workflow --preset bench >/dev/null
empty=$build/bench/empty
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

instructions() {
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
    sed -n 's/.*Collected : *//p'
}
ratio() { python3 -c "import sys; print(f'{float(sys.argv[1]) / float(sys.argv[2]):.3f}')" "$1" "$2"; }

nothing=$(instructions "$empty")
echo "instructions (callgrind), one whole process; empty program: $nothing"
# tool input expected-output target: at most this many times cp's instructions
for run in "glyphrip examples/sheet.bmp examples/font.raw 0.5" \
           "glyphsheet examples/font.raw examples/sheet.bmp 0.5" \
           "glyphrip bench/sheet-24.bmp examples/font.raw 0.5" \
           "glyphrip bench/sheet-rgb.png examples/font.raw 1.0" \
           "glyphrip bench/sheet-rgb-interlaced.png examples/font.raw 1.0"; do
  read -r tool input want target <<<"$run"
  ours=$(instructions "$build/$tool" "$input" "$out/converted")
  cmp -s "$out/converted" "$want" || { echo "bench: wrong output from $tool $input" >&2; exit 1; }
  cps=$(instructions cp "$input" "$out/copy")
  printf '  %-10s %-32s %9d   cp %9d   / cp %s (target: at most %s)   / empty %s\n' \
    "$tool" "$input" "$ours" "$cps" "$(ratio "$ours" "$cps")" "$target" "$(ratio "$ours" "$nothing")"
  case $input in
  *.png)
    floor=$(instructions "$build/bench/inflate" "$input")
    printf '  %-10s %-32s %9d   (only inflating its image data: / cp %s)\n' \
      inflate "$input" "$floor" "$(ratio "$floor" "$cps")" ;;
  esac
done
for tool in glyphrip glyphsheet; do
  printf '  %-10s loads: %s\n' "$tool" "$(ldd "$build/$tool" | awk '{print $1}' | tr '\n' ' ')"
done

if command -v hyperfine >/dev/null; then
  hyperfine -N --warmup 100 --runs 2000 --export-json "$out/times.json" \
    "$build/glyphrip examples/sheet.bmp $out/font.raw" "$build/glyphsheet examples/font.raw $out/sheet.bmp" \
    "$build/glyphrip bench/sheet-rgb.png $out/font.raw" \
    "cp examples/sheet.bmp $out/copy.bmp" "cp examples/font.raw $out/copy.raw" "cp bench/sheet-rgb.png $out/copy.png" \
    "$empty" >/dev/null 2>&1
  python3 - "$out/times.json" <<'PY'
import json, sys
rip, sheet, png, cp_sheet, cp_font, cp_png, empty = (r["mean"] for r in json.load(open(sys.argv[1]))["results"])
print("wall time (hyperfine, mean of 2000 runs)")
for name, t, cp in (("glyphrip", rip, cp_sheet), ("glyphsheet", sheet, cp_font), ("glyphrip PNG", png, cp_png)):
    print(f"  {name:12} {t * 1e6:6.0f} us   cp {cp * 1e6:6.0f} us   / cp {t / cp:.3f}   / empty {t / empty:.3f}")
print(f"  empty        {empty * 1e6:6.0f} us")
PY
else
  echo "wall time: hyperfine is not installed (Debian: apt-get install hyperfine)"
fi
