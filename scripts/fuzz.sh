#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang and runs each on its seed corpus.
#   scripts/fuzz.sh smoke          - a short bounded run of every harness (CI)
#   scripts/fuzz.sh long SECONDS   - a longer run of every harness
set -euo pipefail
cd "$(dirname "$0")/.."
MODE="${1:-smoke}"
SECONDS_EACH="${2:-20}"
[ "$MODE" = smoke ] && SECONDS_EACH=20

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DINSTALLER_FUZZ=ON -DINSTALLER_DEMO=OFF >/dev/null
harnesses=()
for dir in fuzz/*/; do
  name="fuzz_$(basename "$dir")"
  [ -f "$dir/CMakeLists.txt" ] && harnesses+=("$name")
done
[ ${#harnesses[@]} -eq 0 ] && { echo "no fuzz harnesses"; exit 0; }
cmake --build build-fuzz -j "$(nproc)" --target "${harnesses[@]}"

for name in "${harnesses[@]}"; do
  dir="fuzz/${name#fuzz_}"
  work="build-fuzz/corpus/${name}"
  mkdir -p "$work"
  seeds=()
  [ -d "$dir/seeds" ] && seeds+=("$dir/seeds")
  echo "--- $name for ${SECONDS_EACH}s"
  "build-fuzz/fuzz/${name#fuzz_}/$name" -max_total_time="$SECONDS_EACH" -rss_limit_mb=2048 \
    -timeout=10 -print_final_stats=1 "$work" "${seeds[@]}" 2>&1 | tail -n 12
done
