#!/usr/bin/env bash
# Hostile .vmoptions files under Wine for Arm64: "/run" of a launcher whose default file holds
# 40,000 "--add-reads" / value pairs (merged into 40,000 options), and one whose file is one line
# of 100,000 "%LUMEX_PATHLIST_SEPARATOR%" tokens, each against a plain file of the same size and
# line count (options that are neither merged nor expanded); medians of several runs (stand-in
# runtime, version cache warm, log off). STUB=path measures another build of the launcher stub.
set -euo pipefail
source "$(dirname "$0")/common.sh"
runs=${RUNS:-3}
stub=${STUB:-build/win-arm64/bin/launcher.exe}
out="$root/build/bench/vmoptions"
rm -rf "$out"
mkdir -p "$out"
lay_out_runtime "$out/jre" main=return
cat >"$out/launcher.toml" <<'TOML'
[service]
name = "VmOptionsBench"
[java]
main_class = "bench.Main"
class_path = ["app.jar"]
search = ["directory:jre"]
read_vmoptions = true
TOML
python3 - "$out" <<'PY'
import sys
out = sys.argv[1]
pairs = 40000
tokens = 100000
token = "%LUMEX_PATHLIST_SEPARATOR%"
files = {
    # "-Dadd.reads" is as long as "--add-reads" and merges with nothing.
    "pairs": "--add-reads\njava.base=ALL-UNNAMED\n" * pairs,
    "pairs-plain": "-Dadd.reads\njava.base=ALL-UNNAMED\n" * pairs,
    "tokens": "-Dlist=" + token * tokens + "\n",
    "tokens-plain": "-Dlist=" + "x" * (len(token) * tokens) + "\n",
}
for name, text in files.items():
    with open(f"{out}/{name}.vmoptions", "w", newline="\n") as f:
        f.write(text)
PY
names=(pairs pairs-plain tokens tokens-plain)
for name in "${names[@]}"; do
  build/host/tools/pack/pack build --stub "$stub" --input "$out/launcher.toml" \
    --output "$out/$name.exe" >/dev/null
done
$run --prepare
$run "$out/tokens-plain.exe" /run >/dev/null 2>&1 || true  # fills the version cache
commands=()
for name in "${names[@]}"; do commands+=(--command-name "$name" "$run $out/$name.exe /run"); done
hyperfine --runs "$runs" --export-json "$out/vmoptions.json" -N "${commands[@]}" >/dev/null
python3 - "$out/vmoptions.json" "$runs" "$stub" <<'PY'
import json, sys
med = {r["command"]: r["median"] * 1000 for r in json.load(open(sys.argv[1]))["results"]}
print(f"vmoptions ({sys.argv[3]}, median of {sys.argv[2]} runs):")
print(f"  40,000 --add-reads pairs {med['pairs']:.0f} ms, plain file {med['pairs-plain']:.0f} ms")
print(f"  100,000 separator tokens {med['tokens']:.0f} ms, plain line {med['tokens-plain']:.0f} ms")
PY
