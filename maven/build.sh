#!/usr/bin/env bash
# Builds the Maven plugin offline (maven/mvn.sh), runs its unit tests and installs it into
# build/maven/repo, where the sample project finds it. The plugin carries the pack tools of the
# pack-linux-x64, pack-win-x64 and pack-win-arm64 builds; build them first. With --all every one
# of the three must be there (the release bundle); otherwise those that are built are carried.
# Prints the path of the plugin jar last.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
version=$(tr -d '[:space:]' <VERSION)
pom_version=$(sed -n 's:^  <version>\(.*\)</version>$:\1:p' maven/pom.xml | head -n 1)
if [ "$pom_version" != "$version" ]; then
  echo "maven/build.sh: maven/pom.xml has version '$pom_version', VERSION says '$version'" >&2
  exit 1
fi
packs=$root/build/maven/packs
rm -rf "$packs"
carried=0
for entry in linux-x64:pack-linux-x64/tools/pack/pack windows-x64:pack-win-x64/tools/pack/pack.exe \
             windows-arm64:pack-win-arm64/tools/pack/pack.exe; do
  platform=${entry%%:*}
  built=$root/build/${entry#*:}
  if [ -f "$built" ]; then
    mkdir -p "$packs/$platform"
    cp "$built" "$packs/$platform/"
    carried=$((carried + 1))
  elif [ "${1:-}" = --all ]; then
    echo "maven/build.sh: $built is missing; build its preset first" >&2
    exit 1
  fi
done
if [ "$carried" = 0 ]; then
  echo "maven/build.sh: no pack is built; cmake --build --preset pack-linux-x64 --target pack" >&2
  exit 1
fi
rm -rf maven/target
maven/mvn.sh -q -f maven/pom.xml -Dlumex.packs="$packs" install >&2
echo "$root/maven/target/lumex-maven-plugin-$version.jar"
