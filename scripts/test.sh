#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.  Tests that need an
# X display run under Xvfb (the whole ctest run gets one display).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh "$@"
cd "${BUILD_DIR:-build}"
mkdir -p artifacts
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j"$(nproc)"
