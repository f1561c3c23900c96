#!/usr/bin/env bash
# Builds everything with a sanitizer in its own folder and runs the tests there:
#   scripts/sanitize.sh address   # AddressSanitizer + UndefinedBehaviorSanitizer (build-asan)
#   scripts/sanitize.sh thread    # ThreadSanitizer (build-tsan)
# Extra arguments go to ctest (for example -R '^unit\.' to run a part). Any report fails
# the test that made it (AddressSanitizer ends it at the first; ThreadSanitizer's exit
# status says so at its end). tests/tsan.supp says which reports are Qt's own and why.
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:?address or thread}
shift
case "$kind" in
  address) folder=build-asan ;;
  thread) folder=build-tsan ;;
  *) echo "address or thread" >&2; exit 2 ;;
esac
scripts/install-deps.sh --tests
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$folder" -G Ninja -DORVANE_SANITIZE="$kind" -DORVANE_BUILD_TESTS=ON "${launcher[@]}" >/dev/null
cmake --build "$folder"
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1"
export LSAN_OPTIONS="suppressions=$(pwd)/tests/lsan.supp"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# die_after_fork=0: tests start mount and umount through QProcess, whose child starts a
# thread before it runs the program; ThreadSanitizer would end that child.
export TSAN_OPTIONS="second_deadlock_stack=1:die_after_fork=0:suppressions=$(pwd)/tests/tsan.supp"
ctest --test-dir "$folder" --output-on-failure -j2 -E 'fuzz|style' "$@"
