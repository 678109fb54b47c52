#!/usr/bin/env bash
# Fails when a read of the process-wide configuration table (getConfig*, dupConfigString) appears
# outside src/config/ (the table and its accessors) and src/launcher/ (the entry, which builds
# the settings value once). Every lower floor takes its settings as parameters; only the message
# texts (getMessageText, getLocalizedString) stay process-wide.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

pattern='\b(getConfig[A-Za-z]*|dupConfigString)[[:space:]]*\('
found=0
while IFS= read -r file; do
    case "$file" in
        src/config/* | src/launcher/*) continue ;;
    esac
    # Comments may name the accessors; code may not call them.
    if hits=$(sed 's#//.*##' "$file" | grep -nE "$pattern"); then
        while IFS= read -r hit; do
            echo "reads the configuration table: $file:$hit"
            found=$((found + 1))
        done <<<"$hits"
    fi
done < <(find src tools tests -path tests/fuzz/corpus -prune -o \( -name '*.h' -o -name '*.cpp' \) \
    -print | sort)

if [ "$found" -gt 0 ]; then
    echo "$found configuration read(s) below the entry: pass the settings as parameters"
    exit 1
fi
echo "no configuration read below the entry"
