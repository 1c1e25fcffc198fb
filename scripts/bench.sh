#!/usr/bin/env bash
# Builds the programs the benchmark suite needs (Release, in build-bench),
# runs every benchmark and prints one markdown table of the figures beside
# their targets, also written to build-bench/bench-table.md.
#
#   scripts/bench.sh            the full suite (about five minutes once the
#                               benchmark data exists; the first run makes it)
#   scripts/bench.sh --quick    fewer repetitions, shorter idle windows
#
# Progress and per-run figures go to standard error; the table to standard
# output. BUILD_DIR overrides the build folder, JOBS the build's parallelism.
set -euo pipefail
cd "$(dirname "$0")/.."
SOURCE="$PWD"
BUILD="${BUILD_DIR:-$SOURCE/build-bench}"
JOBS="${JOBS:-2}"

TARGETS=(installer demo_release acex mkrelease demogen
         bench_installrun bench_titleframe bench_firstframe bench_timer_idle)
# Benchmarks of other components, used when their folders are present.
for optional in d3drm_bench titlescreen_bench; do
  TARGETS+=("$optional")
done

{
  cmake -S "$SOURCE" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DINSTALLER_BENCH=ON \
        -DINSTALLER_DEMO=ON -DINSTALLER_SANITIZE=OFF >/dev/null
  known="$(ninja -C "$BUILD" -t targets all 2>/dev/null | sed -n 's/^\([A-Za-z0-9_]*\): .*/\1/p')"
  wanted=()
  for target in "${TARGETS[@]}"; do
    if grep -qx "$target" <<<"$known"; then wanted+=("$target"); else echo "no target $target: skipped"; fi
  done
  ninja -C "$BUILD" -j "$JOBS" "${wanted[@]}"
} >&2

python3 "$SOURCE/bench/suite/run_suite.py" --build "$BUILD" --source "$SOURCE" \
  --out "$BUILD/bench-table.md" "$@"
