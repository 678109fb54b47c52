#!/bin/sh
# Runs one zig tool for the Windows on Arm target: invoked through the links zig-cc, zig-c++,
# zig-ar, zig-ranlib and zig-rc beside this script.
here=$(CDPATH= cd -- "$(dirname -- "$0")" && pwd)
zig="${LAUNCHER_ZIG:-$here/../.tools/zig/zig}"
case "$(basename -- "$0")" in
  zig-cc) exec "$zig" cc -target aarch64-windows-gnu "$@" ;;
  zig-c++) exec "$zig" c++ -target aarch64-windows-gnu "$@" ;;
  zig-ar) exec "$zig" ar "$@" ;;
  zig-ranlib) exec "$zig" ranlib "$@" ;;
  zig-rc) exec "$zig" rc "$@" ;;
esac
echo "zig-wrapper: unknown tool $(basename -- "$0")" >&2
exit 2
