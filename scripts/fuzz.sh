#!/usr/bin/env bash
# Longer fuzzing than the test command's 20 seconds a target:
#   scripts/fuzz.sh TIME [TARGET...]
# TIME is seconds, or a number with s, m or h (90s, 30m, 2h); TARGET is one of config_block,
# command_line, java_version, toml_input, vmoptions (all of them when none is named). Each target
# runs for TIME, one after the other, starting from the corpus kept in the repository
# (tests/fuzz/corpus/TARGET), its seeds and what earlier runs in this build folder found. Then the
# kept corpus is minimised with libFuzzer's -merge=1 over itself and the new finds: only inputs
# that add coverage stay. Commit tests/fuzz/corpus to keep them; the test command replays it.
# A failing input is written to build/host/tests/fuzz/crashes/ and the script ends with 1.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

all_targets=(config_block command_line java_version toml_input vmoptions)
usage() {
  echo "usage: scripts/fuzz.sh TIME [TARGET...]   (TIME: 600, 90s, 30m, 2h; TARGET: ${all_targets[*]})" >&2
  exit 2
}
[ $# -ge 1 ] || usage
if [[ "$1" =~ ^([0-9]+)([smh]?)$ ]]; then
  case "${BASH_REMATCH[2]}" in
    h) seconds=$((BASH_REMATCH[1] * 3600)) ;;
    m) seconds=$((BASH_REMATCH[1] * 60)) ;;
    *) seconds=${BASH_REMATCH[1]} ;;
  esac
else
  usage
fi
[ "$seconds" -gt 0 ] || usage
shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all_targets[@]}")
for target in "${targets[@]}"; do
  [[ " ${all_targets[*]} " == *" $target "* ]] || usage
done

build=build/host/tests/fuzz
[ -f build/host/CMakeCache.txt ] || cmake --preset host >/dev/null
cmake --build build/host --target fuzz_seeds "${targets[@]/%/_fuzz}"
mkdir -p "$build/crashes"

failed=()
for target in "${targets[@]}"; do
  fuzzer="$build/${target}_fuzz"
  found="$build/corpus/$target"
  kept="tests/fuzz/corpus/$target"
  mkdir -p "$found" "$kept"
  inputs=("$found" "$kept")
  case "$target" in
    config_block)
      "$build/fuzz_seeds" "$build/seeds/config_block"
      inputs+=("$build/seeds/config_block") ;;
    toml_input) inputs+=(tests/fuzz/seeds/toml_input) ;;
  esac
  options=(-rss_limit_mb=2048 -timeout=30)
  [ -f "tests/fuzz/$target.dict" ] && options+=("-dict=tests/fuzz/$target.dict")

  echo "== $target: ${seconds} s" >&2
  if ! "$fuzzer" "${options[@]}" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$build/crashes/$target-" "${inputs[@]}"; then
    failed+=("$target")
  fi

  # Minimise into a fresh folder, so that inputs another one now covers leave the kept corpus.
  # Edges only (-use_counters=0): hit counts would keep several times as many inputs.
  merged=$(mktemp -d)
  if "$fuzzer" "${options[@]}" -merge=1 -use_counters=0 -artifact_prefix="$build/crashes/$target-" \
      "$merged" "$kept" "$found" >"$build/$target-merge.log" 2>&1; then
    rm -rf "$kept"
    mkdir -p "$kept"
    cp "$merged"/* "$kept"/ 2>/dev/null || true
  else
    echo "$target: merging failed, the kept corpus is unchanged (see $build/$target-merge.log)" >&2
    failed+=("$target (merge)")
  fi
  rm -rf "$merged"
  echo "$target: kept corpus $(find "$kept" -type f | wc -l) files, $(du -sb "$kept" | cut -f1) bytes" >&2
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "failed: ${failed[*]}; inputs in $build/crashes/" >&2
  exit 1
fi
echo "no failures in ${#targets[@]} targets, ${seconds} s each" >&2
