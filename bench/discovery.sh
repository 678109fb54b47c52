#!/usr/bin/env bash
# Cost of the JVM search under Wine for Arm64: "/run" of a launcher whose runtime lies beside it
# (the stand-in runtime), cold (no version cache entry: one "-version" process) and warm (cached:
# no process), against the do-nothing program, medians of several runs. After the library loaded
# the run goes on to the stand-in JVM, which returns at once.
set -euo pipefail
source "$(dirname "$0")/common.sh"
runs=${RUNS:-10}
out="$root/build/bench/discovery"
rm -rf "$out"
lay_out_runtime "$out/jre" 'version_text=openjdk version "17.0.9" 2023-10-17\n'
cat >"$out/launcher.toml" <<'TOML'
[service]
name = "DiscoveryBench"
[java]
main_class = "bench.Main"
min_version = "11"
search = ["directory:jre"]
TOML
pack_launcher "$out/launcher.toml" "$out/Bench.exe"
$run --prepare
# The cache key of the runtime's java.exe: its canonical (lower-cased) path with "/" for "\".
java_win=$(printf 'Z:%s/jre/bin/java.exe' "$out" | tr 'A-Z' 'a-z')
printf '#!/bin/sh\n%s reg delete "HKCU\\SOFTWARE\\harbor-works\\lumex\\jvms2\\%s" /f >/dev/null 2>&1 || true\n' \
  "$root/$run" "$java_win" >"$out/forget.sh"
forget="sh $out/forget.sh"
hyperfine --warmup 1 --runs "$runs" --export-json "$out/discovery.json" -N -i \
  --command-name cold --prepare "$forget" "$run $out/Bench.exe /run" \
  --command-name warm --prepare true "$run $out/Bench.exe /run" \
  --command-name do-nothing --prepare true "$run build/win-arm64/bin/noop.exe" >/dev/null
probes=$(grep -c '^run ' "$out/jre/standin-runs.log" || true)
python3 - "$out/discovery.json" "$probes" "$runs" <<'PY'
import json, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
med = {name: r["median"] * 1000 for name, r in results.items()}
print(f"discovery: cold '/run' median {med['cold']:.0f} ms, warm {med['warm']:.0f} ms, "
      f"do-nothing {med['do-nothing']:.0f} ms ({sys.argv[3]} runs each)")
print(f"discovery: '-version' processes started in all runs: {sys.argv[2]} "
      f"(cold runs and their warm-up start one each, warm runs none)")
PY
