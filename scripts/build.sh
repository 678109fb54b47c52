#!/usr/bin/env bash
# Sets the machine up (when needed) and builds both presets: the Windows on Arm stub with its
# Windows tests and helpers, and the host tools and tests.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
cmake --preset win-arm64 >/dev/null
cmake --build --preset win-arm64
cmake --preset host >/dev/null
cmake --build --preset host
