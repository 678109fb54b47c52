#!/usr/bin/env bash
# The Java runtime on the machine's HotSpot (host build): the size of each runtime jar, and the
# time from the launcher class's main to the application's main (the sample application prints
# it), median of several runs per family and mode, through runtime_driver as the launcher
# (RUNTIME_LIBJVM=path/to/libjvm.so measures another JVM than the build's JDK 17).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
runs=${RUNS:-21}
build=build/host/runtime
out=build/bench/runtime
[ -x $build/test/runtime_driver ] || { echo "build the host preset first" >&2; exit 1; }
mkdir -p "$out"

for family in lumex parcelkit; do
  echo "$family-runtime.jar: $(stat -c %s $build/$family-runtime.jar) bytes"
done

for family in lumex parcelkit; do
  launcher=com.lumex.runtime.WinLauncher
  [ $family = parcelkit ] && launcher=com.parcelkit.runtime.launcher.WinLauncher
  jars=$build/$family-runtime.jar:$build/test/sample-$family
  for mode in class-path module; do
    if [ $mode = module ]; then
      options=(--module-path=$jars --add-opens=sample.app/sample.app=com.$family.runtime
               --add-modules=sample.app,com.$family.runtime)
      main=/sample.app/sample.app.Main
    else
      options=(-Djava.class.path=$jars)
      main=sample.app.Main
    fi
    : >"$out/times"
    for _ in $(seq "$runs"); do
      rm -f "$out/report"
      $build/test/runtime_driver "${options[@]}" -Dsample.report="$out/report" -- \
        $launcher false $main "" "" false bench >/dev/null 2>&1
      sed -n 's/^main-to-main \([0-9]*\).*/\1/p' "$out/report" >>"$out/times"
    done
    median=$(sort -n "$out/times" | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}')
    awk -v f=$family -v m=$mode -v n="$runs" -v t="$median" \
      'BEGIN {printf "%s %s: main to main median %.1f ms (%d runs)\n", f, m, t / 1e6, n}'
  done
done
