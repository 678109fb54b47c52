#!/usr/bin/env bash
# The main job: build everything, pack a sample service launcher for Windows on Arm and show it
# working under Wine for Arm64.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/build.sh
out="$root/build/sample"
mkdir -p "$out"
build/host/tools/pack/pack build --stub build/win-arm64/bin/launcher.exe \
  --input examples/sample/service.pack --output "$out/SampleService.exe"
echo "== packed $out/SampleService.exe ($(stat -c %s "$out/SampleService.exe") bytes)"
build/host/tools/pack/pack inspect "$out/SampleService.exe"
run() {
  echo "== SampleService.exe $* (under Wine for Arm64)"
  local code=0
  tests/wine/wine-run.sh "$out/SampleService.exe" "$@" || code=$?
  echo "exit code $code"
}
run '/?'
# A Java runtime beside the launcher (the stand-in runtime of the tests): "/run" finds it through
# the search sequence "Ajre;Y", loads its jvm.dll, creates the JVM and calls the launcher class,
# whose stand-in returns at once.
rm -rf "$out/jre" && mkdir -p "$out/jre/bin/server"
cp build/win-arm64/bin/standin/{java.exe,javaw.exe,unpack200.exe} "$out/jre/bin/"
cp build/win-arm64/bin/standin/jvm.dll "$out/jre/bin/server/"
run /run
echo "   jvm.dll loads recorded by the runtime: $(grep -c '^load ' "$out/jre/standin-loads.log" || true)"
# Service control against Wine's Service Control Manager. Starting the service needs the service
# host, which this launcher build does not carry yet.
run /install
run /status
run /uninstall
run /status
tests/wine/wine-run.sh --stop
