#!/usr/bin/env bash
# Start-up cost of the launcher under Wine for Arm64: one "/?" run of a packed launcher against
# a do-nothing program built the same way, both through the same runner, medians of several runs.
set -euo pipefail
source "$(dirname "$0")/common.sh"
runs=${RUNS:-15}
out="$root/build/bench"
mkdir -p "$out"
pack_launcher examples/sample/service.toml "$out/SampleService.exe"
$run --prepare
hyperfine --warmup 2 --runs "$runs" --export-json "$out/startup.json" -N \
  "$run $out/SampleService.exe /?" "$run build/win-arm64/bin/noop.exe" >/dev/null
python3 - "$out/startup.json" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
launcher, noop = (r["median"] * 1000 for r in results)
print(f"startup: launcher '/?' median {launcher:.0f} ms, do-nothing program median {noop:.0f} ms, "
      f"difference {launcher - noop:.0f} ms ({len(results[0]['times'])} runs each)")
PY
stub=$(stat -c %s build/win-arm64/bin/launcher.exe)
echo "stub size: $stub bytes"
