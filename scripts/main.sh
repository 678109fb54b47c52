#!/usr/bin/env bash
# The main job: build what it runs, pack a sample service launcher for Windows on Arm and show it
# working under Wine for Arm64.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
# Only what this job runs: the stub, the stand-in runtime it lays beside the sample and the
# service helper it cleans up with; the optimised packing tool, which carries that stub and the
# runtime jars.
cmake --preset win-arm64 >/dev/null
cmake --build --preset win-arm64 --target launcher standin_java standin_javaw standin_unpack200 \
  standin_jvm service_query
cmake --preset release >/dev/null
cmake --build --preset release
pack=build/release/tools/pack/pack
out="$root/build/sample"
mkdir -p "$out"
# The sample's description (examples/sample/service.toml) names no runtime jar: pack embeds the
# lumex family's jar that it carries, beside the stub it carries.
$pack --version
$pack build --input examples/sample/service.toml --output "$out/SampleService.exe"
echo "== packed $out/SampleService.exe ($(stat -c %s "$out/SampleService.exe") bytes)"
$pack inspect "$out/SampleService.exe"
run() {
  echo "== SampleService.exe $* (under Wine for Arm64)"
  local code=0
  tests/wine/wine-run.sh "$out/SampleService.exe" "$@" || code=$?
  echo "exit code $code"
}
run '/?'
# No Windows Java runtime exists on this machine: the stand-in runtime of the tests
# (tests/standin: a java.exe that answers "-version", a jvm.dll that plays the JVM and the
# application's launcher class) lies beside the launcher in jre/. "/run" finds it through the
# search sequence ("bundled:jre" first), loads its jvm.dll, creates the JVM and calls the launcher class, whose
# stand-in returns at once.
echo "== the Java runtime here is the stand-in runtime of the tests (no Windows JVM on this machine)"
rm -rf "$out/jre" && mkdir -p "$out/jre/bin/server"
cp build/win-arm64/bin/standin/{java.exe,javaw.exe,unpack200.exe} "$out/jre/bin/"
cp build/win-arm64/bin/standin/jvm.dll "$out/jre/bin/server/"
run /run
echo "   jvm.dll loads recorded by the runtime: $(grep -c '^load ' "$out/jre/standin-loads.log" || true)"
# The launcher as a service under Wine's Service Control Manager. The stand-in's launcher class
# now serves until the service host sends it the stop line, as a real application would run.
printf 'main=serve\n' >"$out/jre/standin.cfg"
rm -f "$out/jre/standin-jvm.log"
tests/wine/wine-run.sh build/win-arm64/bin/service_query.exe remove SampleService >/dev/null 2>&1 || true
run /install
run /start
sleep 3
run /status
run /stop
echo "   what the application saw: $(grep -E '^(main args|serve)' "$out/jre/standin-jvm.log" | tr '\n' ' ')"
run /status
run /uninstall
tests/wine/wine-run.sh --stop
