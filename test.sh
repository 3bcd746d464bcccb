#!/usr/bin/env bash
# Sets up, builds and runs every test (windows on the offscreen platform),
# then the sanitizer builds' tests and a short fuzzing run (scripts/sanitize.sh).
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
"$top/scripts/setup.sh"
export QT_QPA_PLATFORM=offscreen
cd "$top/build"
ctest --output-on-failure -j "$(nproc)"
"$top/scripts/sanitize.sh"
