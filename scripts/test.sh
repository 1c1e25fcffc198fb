#!/usr/bin/env bash
# Runs every test: the unit and GUI tests of the normal build, the same
# tests built with AddressSanitizer and UndefinedBehaviorSanitizer, the
# end-to-end tests of the real program under Xvfb, and a short fuzzing pass
# over each parser of outside input. Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS="$(nproc)"

step() { printf '\n=== %s ===\n' "$*"; }

step "build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$JOBS"

step "unit, GUI and end-to-end tests"
ctest --test-dir build --output-on-failure -j "$JOBS" --timeout 600

if [ "${SKIP_SANITIZERS:-}" != 1 ]; then
  step "unit and GUI tests under ASan + UBSan"
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DINSTALLER_SANITIZE=ON \
        -DINSTALLER_DEMO=OFF -DINSTALLER_BENCH=OFF >/dev/null
  cmake --build build-asan -j "$JOBS"
  ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j "$JOBS" --timeout 900 -LE "e2e|slow"
fi

if [ "${SKIP_FUZZ:-}" != 1 ] && command -v clang++ >/dev/null; then
  step "fuzz smoke run"
  bash scripts/fuzz.sh smoke
fi
echo "all tests passed"
