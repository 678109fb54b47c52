#!/usr/bin/env bash
# Fails when the process is ended (fatalMessage, fatalError) outside the places that may: the
# entry (src/launcher/), the fatal exit itself (src/common/fatal*) and the JVM thread's one
# documented exit (src/jvm/launch/launch_win32.cpp: launcher class or main method missing, the
# two argument assertions). Every other floor returns its failure (a RunFailure or its own
# result) up to the entry.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

pattern='\b(fatalMessage|fatalError)[[:space:]]*\('
found=0
while IFS= read -r file; do
    case "$file" in
        src/launcher/* | src/common/fatal* | src/jvm/launch/launch_win32.cpp) continue ;;
    esac
    # Comments may name the exits; code may not call them.
    if hits=$(sed 's#//.*##' "$file" | grep -nE "$pattern"); then
        while IFS= read -r hit; do
            echo "ends the process below the entry: $file:$hit"
            found=$((found + 1))
        done <<<"$hits"
    fi
done < <(find src tools -name '*.h' -o -name '*.cpp' | sort)

if [ "$found" -gt 0 ]; then
    echo "$found fatal exit(s) below the entry: return the failure to the entry"
    exit 1
fi
echo "no fatal exit below the entry"
