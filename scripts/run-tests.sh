#!/usr/bin/env bash
# Installs what is missing, builds the sanitizer test configuration and runs
# the whole suite through ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/bootstrap.sh
cmake --preset test >/dev/null
cmake --build --preset test
ctest --preset test "$@"
