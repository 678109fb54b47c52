#!/usr/bin/env bash
# Sets the machine up (when needed) and builds every preset: the Windows on Arm stub with its
# Windows tests and helpers, the host tools and tests (sanitizer build), and the optimised
# packing tool and runtime jars that users run (and the sample embeds).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
cmake --preset win-arm64 >/dev/null
cmake --build --preset win-arm64
cmake --preset host >/dev/null
cmake --build --preset host
cmake --preset release >/dev/null
cmake --build --preset release
