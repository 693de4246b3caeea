#!/usr/bin/env bash
# Builds the release programs and makes the Debian package
# build/release/varno_<version>_amd64.deb, then checks it with lintian when
# lintian is installed. The package's dependencies are read from the
# programs by dpkg-shlibdeps, so build it on the release it is meant for
# (Debian 12 here).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/bootstrap.sh

# What cpack needs beyond the build: dpkg-shlibdeps, and file to find the
# programs among the installed files.
missing=()
for p in dpkg-dev file; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "make-deb: installing ${missing[*]}"
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "make-deb: run as root or install sudo" >&2; exit 1; }
    sudo_cmd=(sudo)
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake --preset release >/dev/null
# Only what the package holds; cpack does not build the rest of the release
# (benchmarks, tools) first.
cmake --build --preset release --target varno varno-cli varno_icons varno_man
rm -f build/release/varno_*.deb
(cd build/release && cpack -G DEB)
deb=$(ls build/release/varno_*.deb)
echo "make-deb: $deb"

if command -v lintian >/dev/null; then
  # Exit status 0 unless lintian finds an error; warnings are shown.
  lintian --fail-on error "$deb"
else
  echo "make-deb: lintian is not installed (apt-get install lintian), so the package was not checked"
fi
echo "make-deb: install it with: sudo apt install ./$deb"
