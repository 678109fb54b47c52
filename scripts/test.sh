#!/usr/bin/env bash
# The test command: every test layer (host unit tests under ASan/UBSan, fuzzing, the packing
# tool, the shipped-artifact checks, the Windows tests and the end-to-end tests under Wine for
# Arm64 with message boxes on Xvfb, among them the Maven plugin's: maven/build.sh builds it
# offline with its unit tests, then maven/sample is packed with it).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/build.sh
tests/wine/wine-run.sh --prepare
status=0
ctest --test-dir build/host --output-on-failure -j 2 || status=$?
tests/wine/wine-run.sh --stop
# The release bundle, and the check that pack on every platform makes the same launcher from it.
bash scripts/dist.sh || status=$?
exit $status
