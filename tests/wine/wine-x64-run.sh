#!/usr/bin/env bash
# Runs one x86-64 Windows program (a console program: no display) under Debian's amd64 Wine,
# with a prefix of its own:
#   wine-x64-run.sh PROGRAM.exe [ARGS...]
#   wine-x64-run.sh --stop        ends the prefix's server
# Prepares on first use: the prefix (wineboot --init, once) and a persistent wineserver.
# Environment: LAUNCHER_WINEPREFIX_X64 (default build/wineprefix-x64).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
wine_dir=/usr/lib/wine
export WINEPREFIX="${LAUNCHER_WINEPREFIX_X64:-$root/build/wineprefix-x64}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINESERVER="$wine_dir/wineserver64"
unset DISPLAY

if [ ! -x "$wine_dir/wine64" ]; then
  echo "wine-x64-run.sh: Debian's amd64 Wine is missing (scripts/setup.sh installs wine64)" >&2
  exit 2
fi

prepare() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/.ready" ]; then
    "$wine_dir/wine64" wineboot --init </dev/null >/dev/null 2>&1 || true
    "$WINESERVER" -w || true
    touch "$WINEPREFIX/.ready"
  fi
  # A persistent server keeps each start short; a second one for the prefix just exits. The
  # first program of a server starts Wine's own processes with its standard handles: a quiet one
  # goes first, so that they never hold a caller's output pipe open.
  "$WINESERVER" -p </dev/null >/dev/null 2>&1 || true
  "$wine_dir/wine64" cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
  flock -u 9
}

case "${1:-}" in
  --prepare) prepare; exit 0 ;;
  --stop) "$WINESERVER" -k >/dev/null 2>&1 || true; exit 0 ;;
esac
prepare
exec "$wine_dir/wine64" "$@"
