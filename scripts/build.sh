#!/usr/bin/env bash
# Sets the machine up (when needed) and builds every preset, in the order they need each other:
# the Windows on Arm stub with its Windows tests and helpers, the optimised packing tool and the
# runtime jars (the packing tools carry this stub and these jars), the packing tool for Linux x64,
# Windows x64 and Windows Arm64 with its tests, and the host tools and tests (sanitizer build).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
cmake --preset win-arm64 >/dev/null
cmake --build --preset win-arm64
cmake --preset release >/dev/null
cmake --build --preset release
for preset in pack-linux-x64 pack-win-x64 pack-win-arm64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
cmake --preset host >/dev/null
cmake --build --preset host
