#!/usr/bin/env bash
# The launcher as a service under Wine's Service Control Manager, with the stand-in runtime
# serving until stopped: CYCLES start/stop cycles (default 50) must each reach "Service stopped"
# and leave no process behind; the "/stop" command's wall time (the request, the stop line to the
# child, the child's end and the stopped report) against the do-nothing program's run; the
# service host's resident memory against a sleeping do-nothing program (medians).
set -euo pipefail
source "$(dirname "$0")/common.sh"
cycles=${CYCLES:-50}
out="$root/build/bench/service"
rm -rf "$out"
lay_out_runtime "$out/jre" main=serve
cat >"$out/service.toml" <<'TOML'
[service]
name = "LmxBenchService"
[java]
main_class = "bench.Main"
search = ["directory:jre"]
TOML
pack_launcher "$out/service.toml" "$out/BenchService.exe"
$run --prepare
$run build/win-arm64/bin/service_query.exe remove LmxBenchService >/dev/null 2>&1 || true
$run "$out/BenchService.exe" /install >/dev/null

now_ms() { date +%s%3N; }
processes() { ps -eo pid,rss,args | grep -F "BenchService.exe" | grep -v -e grep -e wine-run || true; }
wait_running() {
  for _ in $(seq 1 60); do
    $run "$out/BenchService.exe" /status 2>/dev/null | grep -q '^Running' && return 0
    sleep 0.5
  done
  return 1
}

stops=() noops=() rss_host=() failures=0
for i in $(seq 1 "$cycles"); do
  $run "$out/BenchService.exe" /start >/dev/null
  wait_running || { echo "cycle $i: never running"; failures=$((failures + 1)); continue; }
  if [ "$i" -le 5 ]; then
    # The host: the service's process whose command line has no child marker.
    rss=$(processes | grep -v __pkx_restart | awk '{print $2}' | head -n 1)
    [ -n "$rss" ] && rss_host+=("$rss")
  fi
  t0=$(now_ms)
  stopped=$($run "$out/BenchService.exe" /stop)
  t1=$(now_ms)
  stops+=($((t1 - t0)))
  grep -q '^Service stopped' <<<"$stopped" || { echo "cycle $i: $stopped"; failures=$((failures + 1)); }
  t0=$(now_ms); $run build/win-arm64/bin/noop.exe; t1=$(now_ms)
  noops+=($((t1 - t0)))
done
sleep 2
left=$(processes | wc -l)

# The least a service can be, under the same record: it pays for the manager's dispatcher
# (sechost, rpcrt4) as the host does, which the sleeping program does not.
$run build/win-arm64/bin/service_query.exe set-path LmxBenchService \
  "$($run winepath -w build/win-arm64/bin/service_sleeper.exe)" >/dev/null
rss_service_sleeper=()
for _ in 1 2 3; do
  $run build/win-arm64/bin/service_query.exe start LmxBenchService >/dev/null
  sleep 4
  rss=$(rss_of service_sleeper.exe)
  [ -n "$rss" ] && rss_service_sleeper+=("$rss")
  $run "$out/BenchService.exe" /stop >/dev/null || true
done
$run "$out/BenchService.exe" /uninstall >/dev/null || true

$run build/win-arm64/bin/sleeper.exe &
sleep 4
rss_sleeper=$(rss_of sleeper.exe)
pkill -f 'bin/sleeper.exe' || true

echo "service: $cycles start/stop cycles, $failures failed, $left launcher processes left afterwards"
echo "service: '/stop' to stopped median $(printf '%s\n' "${stops[@]}" | median) ms," \
  "do-nothing program run median $(printf '%s\n' "${noops[@]}" | median) ms"
echo "service: host resident memory median $(printf '%s\n' "${rss_host[@]}" | median) KB," \
  "sleeping do-nothing program ${rss_sleeper:-?} KB," \
  "least service median $(printf '%s\n' "${rss_service_sleeper[@]}" | median) KB" \
  "(all with Wine's loader under qemu)"
