#!/usr/bin/env bash
# Rules of the tree that a call can break, checked on the sources (comments may name the calls;
# code may not make them):
#   config-reads  no read of the process-wide configuration table (getConfig*, dupConfigString)
#                 outside src/config/ (the table and its accessors) and src/launcher/ (the entry,
#                 which builds the settings value once); lower floors take settings as parameters
#                 and only the message texts stay process-wide.
#   fatal-exits   no end of the process (fatalMessage, fatalError) outside the entry
#                 (src/launcher/), the fatal exit itself (src/common/fatal*) and the JVM thread's
#                 one documented exit (src/jvm/launch/launch_win32.cpp); every other floor returns
#                 its failure up to the entry.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

case "${1:-}" in
  config-reads)
    pattern='\b(getConfig[A-Za-z]*|dupConfigString)[[:space:]]*\('
    allowed='^src/(config|launcher)/'
    what='reads the configuration table below the entry'
    fix='pass the settings as parameters'
    ;;
  fatal-exits)
    pattern='\b(fatalMessage|fatalError)[[:space:]]*\('
    allowed='^src/(launcher/|common/fatal|jvm/launch/launch_win32\.cpp$)'
    what='ends the process below the entry'
    fix='return the failure to the entry'
    ;;
  *)
    echo "usage: check_calls.sh config-reads|fatal-exits" >&2
    exit 2
    ;;
esac

found=0
while IFS= read -r file; do
  [[ $file =~ $allowed ]] && continue
  if hits=$(sed 's#//.*##' "$file" | grep -nE "$pattern"); then
    while IFS= read -r hit; do
      echo "$what: $file:$hit"
      found=$((found + 1))
    done <<<"$hits"
  fi
done < <(find src tools tests -path tests/fuzz/corpus -prune -o \( -name '*.h' -o -name '*.cpp' \) \
  -print | sort)

if [ "$found" -gt 0 ]; then
  echo "$found call(s) break the rule: $fix"
  exit 1
fi
echo "$1: no call breaks the rule"
