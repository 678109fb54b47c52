#!/usr/bin/env bash
# The service host's watchdog under Wine's Service Control Manager, with the stand-in runtime:
# - the time from a hang (the first ping the runtime leaves unanswered) to the new child's JVM
#   creation, HANGS times (default 5), with interval = 1, timeout = 3 and a restart delay of 1 s
#   (so at best about timeout + delay + the child's start);
# - the host's resident memory with the watchdog on (a runtime that answers every ping) against
#   the least service, bench/service.sh's service sleeper (medians of three); it must stay within
#   1.10 times the latter.
# The packing tool: build/release's, or PACK_TOOL.
set -euo pipefail
source "$(dirname "$0")/common.sh"
hangs=${HANGS:-5}
pack_tool=${PACK_TOOL:-build/release/tools/pack/pack}
[ -x "$pack_tool" ] || pack_tool=build/host/tools/pack/pack
out="$root/build/bench/watchdog"
name=LmxBenchWatchdog
rm -rf "$out"
mkdir -p "$out"
cat >"$out/service.toml" <<TOML
[service]
name = "$name"
stop_timeout = 5
[service.restart]
on_exit = "failure"
delay = 1
max_delay = 1
successful_run = 60
max_failures = 1000
[service.watchdog]
interval = 1
timeout = 3
[java]
main_class = "bench.Main"
search = ["directory:jre"]
TOML
"$pack_tool" build --stub build/win-arm64/bin/launcher.exe --input "$out/service.toml" \
  --output "$out/WatchdogService.exe" >/dev/null
# The same service without the watchdog and restarts, for comparison.
sed -e '/^\[service.restart\]/,$d' "$out/service.toml" >"$out/plain.toml"
cat >>"$out/plain.toml" <<'TOML'
[service.watchdog]
interval = 0
[java]
main_class = "bench.Main"
search = ["directory:jre"]
TOML
"$pack_tool" build --stub build/win-arm64/bin/launcher.exe --input "$out/plain.toml" \
  --output "$out/PlainService.exe" >/dev/null
trace="$out/jre/standin-jvm.log"

now_ms() { date +%s%3N; }
count() {
  [ -f "$trace" ] || { echo 0; return; }
  grep -c -e "^$1" "$trace" || true
}
# The pings child $1 (counted from 1) got.
pings_of() { awk -v i="$1" '/^create /{c++} c==i && /^ping /{p++} END{print p+0}' "$trace" 2>/dev/null || echo 0; }
# wait_until SECONDS COMMAND...: until the command's number reaches the last argument.
wait_until() {
  local deadline=$(($(now_ms) + $1 * 1000)) want=${*: -1}
  local cmd=("${@:2:$#-2}")
  while [ "$("${cmd[@]}")" -lt "$want" ]; do
    [ "$(now_ms)" -lt "$deadline" ] || return 1
    sleep 0.05
  done
}
# wait_count PREFIX N SECONDS: until the trace holds N lines starting with PREFIX.
wait_count() {
  local deadline=$(($(now_ms) + $3 * 1000))
  while [ "$(count "$1")" -lt "$2" ]; do
    [ "$(now_ms)" -lt "$deadline" ] || return 1
    sleep 0.05
  done
}
service() { $run build/win-arm64/bin/service_query.exe "$@"; }

$run --prepare
service remove "$name" >/dev/null 2>&1 || true

# Hangs: every child answers one ping and then no more.
lay_out_runtime "$out/jre" main=serve watchdog=hang-after=1
$run "$out/WatchdogService.exe" /install >/dev/null
$run "$out/WatchdogService.exe" /start >/dev/null
recoveries=() failures=0
for i in $(seq 1 "$hangs"); do
  # The child i's second ping is the first it leaves unanswered.
  wait_count "create " "$i" 60 && wait_until 60 pings_of "$i" 2 ||
    { echo "hang $i: the child never got its second ping"; failures=$((failures + 1)); break; }
  t0=$(now_ms)
  wait_count "create " $((i + 1)) 60 ||
    { echo "hang $i: no new JVM within 60 s"; failures=$((failures + 1)); break; }
  recoveries+=($(($(now_ms) - t0)))
done
service remove "$name" >/dev/null 2>&1 || true
sleep 2

# Memory: a runtime that answers every ping, the host after 5 s of pings; then the host of the
# same service without the watchdog.
lay_out_runtime "$out/jre" main=serve
# host_rss EXE: the medians of three runs' host resident memory, in KB.
host_rss() {
  local exe=$1 samples=() rss
  $run "$out/$exe" /install >/dev/null
  for _ in 1 2 3; do
    $run "$out/$exe" /start >/dev/null
    sleep 5
    rss=$(rss_of "$exe" __pkx_restart)
    [ -n "$rss" ] && samples+=("$rss")
    $run "$out/$exe" /stop >/dev/null || true
  done
  printf '%s\n' "${samples[@]}" | median
}
host=$(host_rss WatchdogService.exe)
service remove "$name" >/dev/null 2>&1 || true
sleep 2
plain=$(host_rss PlainService.exe)
service set-path "$name" "$($run winepath -w build/win-arm64/bin/service_sleeper.exe)" >/dev/null
rss_sleeper=()
for _ in 1 2 3; do
  service start "$name" >/dev/null
  sleep 4
  rss=$(rss_of service_sleeper.exe)
  [ -n "$rss" ] && rss_sleeper+=("$rss")
  $run "$out/WatchdogService.exe" /stop >/dev/null || true
done
service remove "$name" >/dev/null 2>&1 || true

least=$(printf '%s\n' "${rss_sleeper[@]}" | median)
echo "watchdog: $hangs hangs, $failures failed; from the first unanswered ping to the new" \
  "child's JVM: median $(printf '%s\n' "${recoveries[@]}" | median) ms" \
  "(all: ${recoveries[*]}; interval 1 s, timeout 3 s, delay 1 s)"
echo "watchdog: host resident memory with the watchdog on, median $host KB (without it" \
  "$plain KB); least service" \
  "median $least KB; ratio $(awk -v a="$host" -v b="$least" 'BEGIN {printf "%.3f", a / b}')" \
  "(at most 1.10; all with Wine's loader under qemu)"
