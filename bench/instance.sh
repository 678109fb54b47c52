#!/usr/bin/env bash
# The single-instance guard under Wine for Arm64: how long a second start of a single-instance
# application takes to find the first one and leave (exit code 0, no JVM), against "/?" of the
# same launcher and the do-nothing program; medians of several runs in one hyperfine run. The
# first instance is the stand-in application waiting until released.
set -euo pipefail
source "$(dirname "$0")/common.sh"
runs=${RUNS:-10}
out="$root/build/bench/instance"
rm -rf "$out"
lay_out_runtime "$out/jre" main=wait
cat >"$out/launcher.toml" <<'TOML'
[service]
name = "InstanceBench"
[java]
main_class = "bench.Main"
search = ["directory:jre"]
[launcher]
single_instance = true
TOML
pack_launcher "$out/launcher.toml" "$out/Bench.exe"
$run --prepare
$run "$out/Bench.exe" /run >/dev/null 2>&1 &
first=$!
trap 'touch "$out/jre/standin-release"; wait $first || true' EXIT
for _ in $(seq 600); do grep -q '^wait pid=' "$out/jre/standin-jvm.log" 2>/dev/null && break; sleep 0.1; done
hyperfine --warmup 2 --runs "$runs" --export-json "$out/instance.json" -N \
  --command-name second "$run $out/Bench.exe /run" \
  --command-name help "$run $out/Bench.exe /?" \
  --command-name do-nothing "$run build/win-arm64/bin/noop.exe" >/dev/null
loads=$(grep -c '^load ' "$out/jre/standin-loads.log" || true)
python3 - "$out/instance.json" "$runs" "$loads" <<'PY'
import json, sys
med = {r["command"]: r["median"] * 1000 for r in json.load(open(sys.argv[1]))["results"]}
print(f"instance: second start median {med['second']:.0f} ms, '/?' {med['help']:.0f} ms, "
      f"do-nothing {med['do-nothing']:.0f} ms ({sys.argv[2]} runs each); "
      f"jvm.dll loads in all: {sys.argv[3]} (the first instance's)")
PY
