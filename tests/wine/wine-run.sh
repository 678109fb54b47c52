#!/usr/bin/env bash
# Runs one Windows program under Wine for Arm64 with the project's test prefix:
#   wine-run.sh PROGRAM.exe [ARGS...]
# Prepares on first use (and reuses afterwards): an Xvfb display shared by every Wine program of
# the prefix, the prefix itself (wineboot --init, about 20 s once), and a persistent wineserver.
# Environment: LAUNCHER_WINEPREFIX (default build/wineprefix), LAUNCHER_DISPLAY (default :73).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
wine_dir="$root/.tools/wine/lib/wine"
export WINEPREFIX="${LAUNCHER_WINEPREFIX:-$root/build/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export DISPLAY="${LAUNCHER_DISPLAY:-:73}"
export WINESERVER="$wine_dir/wineserver"
# Without binfmt_misc the Arm64 loader itself is started through qemu (the setup script then
# put wrappers for the server and the preloader beside it).
wine64=("$wine_dir/wine64")
[ -e /proc/sys/fs/binfmt_misc/qemu-aarch64 ] || wine64=(/usr/bin/qemu-aarch64-static "$wine_dir/wine64")

# Whether an X server answers on display number $1 (a socket file alone may be stale).
display_alive() {
  python3 -c 'import socket,sys; s=socket.socket(socket.AF_UNIX); s.connect(sys.argv[1])' \
    "/tmp/.X11-unix/X$1" 2>/dev/null
}

prepare() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  local n="${DISPLAY#:}"
  if ! display_alive "$n"; then
    rm -f "/tmp/.X11-unix/X$n" "/tmp/.X$n-lock"
    # Its own session: a runner that ends its process group must not end the shared display.
    setsid nohup Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    echo $! >"$WINEPREFIX.xvfb.pid"
    for _ in $(seq 100); do display_alive "$n" && break; sleep 0.1; done
    # A Wine desktop bound to a display that went away never shows a window again.
    "$wine_dir/wineserver" -k >/dev/null 2>&1 || true
  fi
  if [ ! -f "$WINEPREFIX/.ready" ]; then
    "${wine64[@]}" wineboot --init >/dev/null 2>&1 || true
    "$wine_dir/wineserver" -w || true
    touch "$WINEPREFIX/.ready"
  fi
  # A persistent server keeps start-up fast and keeps services alive between programs. When it
  # was not running, one quiet program starts Wine's own processes (services.exe, ...) with no
  # standard handles of ours: otherwise they would hold the caller's output pipes open. Their
  # standard error, which the services they start inherit with their debug channels, goes to
  # $WINEPREFIX.services.log: Wine's event log functions store nothing, they only print each
  # report there (its id on the advapi fixme channel, its strings on the eventlog channel).
  local id
  id=$(stat -c '%d %i' "$WINEPREFIX")
  local name
  name="server-$(printf '%x-%x' $id)"
  if ! compgen -G "/tmp/.wine-$(id -u)/$name/socket" >/dev/null &&
     ! compgen -G "/tmp/wine-*/$name/socket" >/dev/null; then
    "$wine_dir/wineserver" -p </dev/null >/dev/null 2>&1 || true
    WINEDEBUG=-all,fixme+advapi,err+eventlog,warn+eventlog,trace+eventlog \
      "${wine64[@]}" cmd.exe /c exit </dev/null >/dev/null 2>>"$WINEPREFIX.services.log" || true
  fi
  flock -u 9
}

case "${1:-}" in
  --prepare) prepare; exit 0 ;;
  --stop)
    "$wine_dir/wineserver" -k >/dev/null 2>&1 || true
    if [ -f "$WINEPREFIX.xvfb.pid" ]; then
      kill "$(cat "$WINEPREFIX.xvfb.pid")" 2>/dev/null || true
      rm -f "$WINEPREFIX.xvfb.pid"
    fi
    exit 0 ;;
  --wine-dir) echo "$wine_dir"; exit 0 ;;
esac
prepare
exec "${wine64[@]}" "$@"
