#!/usr/bin/env bash
# Builds the editor alone (the release preset, no tests) and starts it on
# the arguments given, as pym would be: ./run.sh notes.txt. What the build
# needs is installed first with apt-get when it is missing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

# What building the editor needs, as Debian packages.
packages=(cmake g++ make libutf8proc-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo=
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi

(
  cd "$here"
  [ -f build-release/CMakeCache.txt ] || cmake --preset release >/dev/null
  cmake --build --preset release --target pym -j"$(nproc)"
)
exec "$here/build-release/pym" "$@"
