#!/usr/bin/env bash
# Builds the libFuzzer harnesses listed in fuzz/harnesses.txt with clang and
# runs each on its seed corpus.
#   scripts/fuzz.sh smoke          - a short bounded run of every harness (CI)
#   scripts/fuzz.sh long SECONDS [TARGET...]
#                                  - a longer run of every harness, or of the
#                                    named ones only
# Inputs found to crash are kept in build-fuzz/crashes/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
MODE="${1:-smoke}"
SECONDS_EACH="${2:-15}"
[ "$MODE" = smoke ] && SECONDS_EACH=15
shift $(( $# > 2 ? 2 : $# ))
ONLY=" $* "
wanted() { [ "$ONLY" = "  " ] || [[ "$ONLY" == *" $1 "* ]]; }

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DINSTALLER_FUZZ=ON -DINSTALLER_DEMO=OFF -DINSTALLER_BENCH=OFF >/dev/null

targets=()
while read -r target folder seeds; do
  case "$target" in ''|'#'*) continue ;; esac
  [ -f "fuzz/$folder/CMakeLists.txt" ] && wanted "$target" && targets+=("$target")
done < fuzz/harnesses.txt
cmake --build build-fuzz -j "$(nproc)" --target "${targets[@]}"

# Seeds the decoder harness needs are made by a script.
if [ -f fuzz/unace/make_decoder_seeds.py ] && [ ! -d fuzz/unace/seeds ]; then
  python3 fuzz/unace/make_decoder_seeds.py ../shared/ace-corpus fuzz/unace/seeds >/dev/null 2>&1 || true
fi

status=0
while read -r target folder seeds; do
  case "$target" in ''|'#'*) continue ;; esac
  [ -f "fuzz/$folder/CMakeLists.txt" ] && wanted "$target" || continue
  work="build-fuzz/corpus/$target"
  crashes="build-fuzz/crashes/$target"
  mkdir -p "$work" "$crashes"
  seed_dirs=()
  for dir in $seeds; do [ -d "$dir" ] && seed_dirs+=("$dir"); done
  echo "--- $target for ${SECONDS_EACH}s"
  if ! "build-fuzz/fuzz/$folder/$target" -max_total_time="$SECONDS_EACH" -rss_limit_mb=2048 \
      -timeout=10 -print_final_stats=1 -artifact_prefix="$crashes/" \
      "$work" "${seed_dirs[@]}" > "build-fuzz/$target.log" 2>&1; then
    echo "FAILED: $target (see build-fuzz/$target.log)"; tail -n 30 "build-fuzz/$target.log"; status=1
  else
    grep -E 'stat::number_of_executed_units|Done [0-9]+ runs' "build-fuzz/$target.log" | tail -n 2
  fi
done < fuzz/harnesses.txt
exit $status
