#!/usr/bin/env bash
# Start-up cost of the launcher under Wine for Arm64: "/?" of a packed launcher against a
# do-nothing program built the same way, both through the same runner, run in RUNS interleaved
# pairs (default 15) so that both meet the same machine load; medians of the wall time and of
# the peak resident memory (/usr/bin/time), and their ratios.
set -euo pipefail
source "$(dirname "$0")/common.sh"
runs=${RUNS:-15}
out="$root/build/bench"
mkdir -p "$out"
pack_launcher examples/sample/service.toml "$out/SampleService.exe"
$run --prepare
# One run: "<wall seconds> <peak KiB>".
measure() { /usr/bin/time -f '%e %M' -o "$out/startup.time" "$@" >/dev/null 2>&1 || true; cat "$out/startup.time"; }
for _ in 1 2; do measure $run "$out/SampleService.exe" '/?' >/dev/null; measure $run build/win-arm64/bin/noop.exe >/dev/null; done
: >"$out/startup.pairs"
for _ in $(seq 1 "$runs"); do
  echo "$(measure $run "$out/SampleService.exe" '/?') $(measure $run build/win-arm64/bin/noop.exe)" >>"$out/startup.pairs"
done
python3 - "$out/startup.pairs" <<'PY'
import statistics, sys
rows = [list(map(float, line.split())) for line in open(sys.argv[1]) if line.strip()]
wall_l, rss_l, wall_n, rss_n = (statistics.median(r[i] for r in rows) for i in range(4))
print(f"startup: launcher '/?' median {wall_l * 1000:.0f} ms, do-nothing {wall_n * 1000:.0f} ms "
      f"(x{wall_l / wall_n:.2f}); peak memory {rss_l / 1024:.1f} MiB against {rss_n / 1024:.1f} MiB "
      f"(+{(rss_l - rss_n) / 1024:.1f} MiB); {len(rows)} pairs")
PY
stub=$(stat -c %s build/win-arm64/bin/launcher.exe)
echo "stub size: $stub bytes"
