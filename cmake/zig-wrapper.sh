#!/bin/sh
# Runs one zig tool: invoked through the links beside this script. zig-cc, zig-c++, zig-ar,
# zig-ranlib and zig-rc serve the Windows on Arm build; zig-TARGET-cc and zig-TARGET-c++ compile
# for another zig target (the packing tool's release builds).
here=$(CDPATH= cd -- "$(dirname -- "$0")" && pwd)
zig="${LAUNCHER_ZIG:-$here/../.tools/zig/zig}"
name=$(basename -- "$0")
case "$name" in
  zig-cc) exec "$zig" cc -target aarch64-windows-gnu "$@" ;;
  zig-c++) exec "$zig" c++ -target aarch64-windows-gnu "$@" ;;
  zig-ar) exec "$zig" ar "$@" ;;
  zig-ranlib) exec "$zig" ranlib "$@" ;;
  zig-rc) exec "$zig" rc "$@" ;;
  zig-*-c++) target=${name#zig-}; exec "$zig" c++ -target "${target%-c++}" "$@" ;;
  zig-*-cc) target=${name#zig-}; exec "$zig" cc -target "${target%-cc}" "$@" ;;
esac
echo "zig-wrapper: unknown tool $name" >&2
exit 2
