#!/usr/bin/env bash
# Installs what is missing, builds a release and starts VARNO MUSIC.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/bootstrap.sh
cmake --preset release >/dev/null
cmake --build --preset release
exec ./build/release/src/varno "$@"
