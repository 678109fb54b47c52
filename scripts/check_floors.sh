#!/usr/bin/env bash
# Lists every include that climbs a floor and fails when there is one. The launcher's floors,
# bottom up: common, config, log, env, jvm/discovery, jvm/options, jvm/launch, instance,
# service, launcher (the entry). A file may include its own floor and the ones below. The packing
# tool stands beside the launcher on common and config. Unit tests (*_test.cpp) follow the rule
# of their folder and may also use the packing library and the shared test support to build
# their inputs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

floor_of() {  # path relative to the repository -> floor number, or nothing
    case "$1" in
        src/common/*) echo 0 ;;
        src/config/*) echo 1 ;;
        src/log/*) echo 2 ;;
        src/env/*) echo 3 ;;
        src/jvm/discovery/*) echo 4 ;;
        src/jvm/options/*) echo 5 ;;
        src/jvm/launch/*) echo 6 ;;
        src/instance/*) echo 7 ;;
        src/service/*) echo 8 ;;
        src/launcher/*) echo 9 ;;
        tools/pack/*) echo pack ;;
        tests/support/*) echo support ;;
        *) echo unknown ;;
    esac
}

# Where an include names a file: beside the includer, under src/, in the packing tool or in
# the test support.
resolve() {
    local includer_dir=$1 name=$2
    for candidate in "$includer_dir/$name" "src/$name" "tools/pack/$name" "tests/support/$name"; do
        if [ -f "$candidate" ]; then
            realpath --relative-to="$root" "$candidate"
            return
        fi
    done
}

climbs=0
while IFS= read -r file; do
    from=$(floor_of "$file")
    is_test=0
    [[ "$file" == *_test.cpp ]] && is_test=1
    while IFS= read -r name; do
        target=$(resolve "$(dirname "$file")" "$name")
        [ -n "$target" ] || continue
        to=$(floor_of "$target")
        ok=1
        case "$from:$to" in
            pack:pack | pack:0 | pack:1) ;;
            pack:support) [ "$is_test" = 1 ] || ok=0 ;;
            pack:*) ok=0 ;;
            *:pack | *:support) [ "$is_test" = 1 ] || ok=0 ;;
            *:unknown) ok=0 ;;
            *) [ "$to" -le "$from" ] || ok=0 ;;
        esac
        if [ "$ok" = 0 ]; then
            echo "climbs a floor: $file includes \"$name\" ($target)"
            climbs=$((climbs + 1))
        fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find src tools/pack -name '*.h' -o -name '*.cpp' | sort)

if [ "$climbs" -gt 0 ]; then
    echo "$climbs include(s) climb a floor"
    exit 1
fi
echo "no include climbs a floor"
