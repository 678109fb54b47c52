#!/usr/bin/env bash
# Time from process start to JNI_CreateJavaVM under Wine for Arm64: "/run" of a launcher whose
# stand-in runtime lies beside it (version cache warm; the stand-in's launcher class returns at
# once), against a bare program that only loads the same jvm.dll and calls JNI_CreateJavaVM, and
# the do-nothing program; medians of several runs in one hyperfine run.
set -euo pipefail
source "$(dirname "$0")/common.sh"
runs=${RUNS:-10}
out="$root/build/bench/launch"
rm -rf "$out"
lay_out_runtime "$out/jre" main=return
cat >"$out/launcher.toml" <<'TOML'
[service]
name = "LaunchBench"
[java]
main_class = "bench.Main"
class_path = ["app.jar"]
search = ["directory:jre"]
TOML
pack_launcher "$out/launcher.toml" "$out/Bench.exe"
$run --prepare
$run "$out/Bench.exe" /run >/dev/null 2>&1 || true  # fills the version cache
jvm_win="Z:$(printf '%s' "$out/jre/bin/server/jvm.dll" | tr '/' '\\')"
hyperfine --warmup 2 --runs "$runs" --export-json "$out/launch.json" -N \
  --command-name launcher "$run $out/Bench.exe /run" \
  --command-name bare "$run build/win-arm64/bin/jvm_probe.exe '$jvm_win'" \
  --command-name do-nothing "$run build/win-arm64/bin/noop.exe" >/dev/null
python3 - "$out/launch.json" "$runs" <<'PY'
import json, sys
med = {r["command"]: r["median"] * 1000 for r in json.load(open(sys.argv[1]))["results"]}
print(f"launch: launcher '/run' median {med['launcher']:.0f} ms, bare JNI_CreateJavaVM caller "
      f"{med['bare']:.0f} ms, do-nothing {med['do-nothing']:.0f} ms ({sys.argv[2]} runs each); "
      f"launcher over bare: {med['launcher'] - med['bare']:.0f} ms")
PY
echo "stub size: $(stat -c %s build/win-arm64/bin/launcher.exe) bytes"
