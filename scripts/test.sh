#!/usr/bin/env bash
# Installs what is missing, builds (warnings are errors), and runs every
# test: once in the normal build (build/) and once more with AddressSanitizer
# and UndefinedBehaviorSanitizer (build-asan/; KV_TEST_SANITIZE=0 skips that
# pass).  The korvald end-to-end tests run on SQLite and on PostgreSQL (in
# a cluster of their own); KV_TEST_POSTGRES=OFF leaves PostgreSQL out.  Tests
# that need an X display run under Xvfb (each ctest run gets one display).
# Screenshots the GUI tests take land in <build>/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

run_tests() {  # build dir, extra cmake arguments...
  local dir=$1; shift
  BUILD_DIR=$dir scripts/build.sh "$@"
  mkdir -p "$dir/artifacts"
  (cd "$dir" && xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j"$(nproc)")
}

PG="-DKV_TEST_POSTGRES=${KV_TEST_POSTGRES:-ON}"
run_tests "${BUILD_DIR:-build}" -DKV_WERROR=ON "$PG"
if [ "${KV_TEST_SANITIZE:-1}" != 0 ]; then
  echo "== again with AddressSanitizer and UndefinedBehaviorSanitizer =="
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 run_tests build-asan -DKV_SANITIZE=ON -DKV_WERROR=ON "$PG"
fi
