#!/usr/bin/env bash
# Installs what the tests need (only what is missing), builds PYM twice --
# plainly and with AddressSanitizer and UndefinedBehaviorSanitizer -- and
# runs every test in both builds (the plain one also builds the Debian
# package and runs the editor out of it), then runs the fuzz target for a
# bounded time. The builds are those of CMakePresets.json, with warnings
# as errors.
set -euo pipefail
cd "$(dirname "$0")"

packages=(cmake g++ make pkg-config libutf8proc-dev libgtest-dev libvterm-dev clang libclang-rt-14-dev dpkg-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi

jobs=$(nproc)
for preset in dev asan fuzz; do
  echo "== $preset"
  cmake --preset "$preset" -DPYM_WERROR=ON >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  if [ "$preset" = fuzz ]; then
    ctest --preset "$preset"          # one long test: no point in -j
  else
    ctest --preset "$preset" -j"$jobs"
  fi
done
