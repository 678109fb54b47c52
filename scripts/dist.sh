#!/usr/bin/env bash
# The release bundle: dist/<name>-<version>/ with pack for Linux x64, Windows x64 and Windows
# Arm64 (each carries the stub and the runtime jars), the runtime jars, the Maven plugin (which
# carries the three), docs/, examples/, a quick start and SHA256SUMS; then one archive per
# platform in dist/. Last, from a copy of the bundle alone (outside the repository), every
# platform's pack builds the sample launcher, the Windows ones under Wine, and the three
# launchers must be the same, byte for byte; and the plugin, installed with the quick start's
# command, packs maven/sample.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
start=$(date +%s.%N)
bash scripts/setup.sh
# The three tools bring the stub (win-arm64) and the jars (release) up to date themselves.
for preset in pack-linux-x64 pack-win-x64 pack-win-arm64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target pack
done
# The Maven plugin carries the three tools; its unit tests run as it is built (offline).
plugin_jar=$(bash maven/build.sh --all)

version=$(tr -d '[:space:]' <VERSION)
name=launcher-$version
dist=$root/dist
bundle=$dist/$name
rm -rf "$bundle" "$dist/$name"-*.tar.gz "$dist/$name"-*.zip "$dist/$name.sha256"
mkdir -p "$bundle"/{bin/linux-x64,bin/windows-x64,bin/windows-arm64,runtime,maven,docs,examples}
cp build/pack-linux-x64/tools/pack/pack "$bundle/bin/linux-x64/pack"
cp build/pack-win-x64/tools/pack/pack.exe "$bundle/bin/windows-x64/pack.exe"
cp build/pack-win-arm64/tools/pack/pack.exe "$bundle/bin/windows-arm64/pack.exe"
cp build/release/runtime/lumex-runtime.jar build/release/runtime/parcelkit-runtime.jar \
  "$bundle/runtime/"
plugin=lumex-maven-plugin-$version
cp "$plugin_jar" "$bundle/maven/$plugin.jar"
cp maven/pom.xml "$bundle/maven/$plugin.pom"
cp -r docs/. "$bundle/docs/"
cp -r examples/. "$bundle/examples/"
cat >"$bundle/QUICKSTART.md" <<TEXT
# Quick start: a Java service launcher for Windows on Arm

\`pack\` $version turns a short TOML description into \`MyService.exe\`, a launcher that runs your
Java application as a Windows service on 64-bit Arm Windows. It carries the launcher stub and
the Java-side runtime jars; nothing else is needed. Pick the tool of the machine you build on:

| machine | tool |
|---|---|
| Linux x64 | \`bin/linux-x64/pack\` |
| Windows x64 | \`bin\\windows-x64\\pack.exe\` |
| Windows on Arm | \`bin\\windows-arm64\\pack.exe\` |

1. Describe the service (\`examples/sample/service.toml\` is a complete sample):

   \`\`\`toml
   [service]
   name = "MyService"

   [java]
   main_class = "com.example.Main"
   class_path = ["app.jar"]
   \`\`\`

2. Build the launcher and look at what it holds:

   \`\`\`sh
   bin/linux-x64/pack build --input service.toml --output MyService.exe
   bin/linux-x64/pack inspect MyService.exe
   \`\`\`

3. On the Windows on Arm machine, put \`MyService.exe\` beside \`app.jar\` (and a Java runtime in
   \`jre\\\`, or set \`JAVA_HOME\`), then: \`MyService.exe /install\`, \`MyService.exe /start\`,
   \`MyService.exe /status\`, \`MyService.exe /stop\`, \`MyService.exe /uninstall\`.

A Maven build makes the launcher, and a folder to ship with the project's jars in \`lib/\`, in
\`mvn package\` with the plugin in \`maven/\` (\`docs/maven.md\` has a complete POM). Install it
into your local Maven repository once:

\`\`\`sh
mvn install:install-file -Dfile=maven/$plugin.jar -DpomFile=maven/$plugin.pom
\`\`\`

\`pack --version\` prints the version and the SHA-256 of the stub and jars the tool carries;
\`runtime/\` holds the same jars for reference. \`docs/pack.md\` lists every key of the
description; \`pack --help\` and \`pack build --help\` list the commands and keys. SHA256SUMS
lists the checksums of these files (\`sha256sum -c --ignore-missing SHA256SUMS\`).
TEXT
(cd "$bundle" && find . -type f ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort |
  xargs -d '\n' sha256sum >SHA256SUMS)

# One archive per platform: the tool of that platform and everything the platforms share.
common=(QUICKSTART.md SHA256SUMS runtime maven docs examples)
(cd "$dist" && tar -czf "$name-linux-x64.tar.gz" "${common[@]/#/$name/}" "$name/bin/linux-x64")
for platform in windows-x64 windows-arm64; do
  (cd "$dist" && python3 - "$name-$platform.zip" "${common[@]/#/$name/}" "$name/bin/$platform" <<'PY'
import os, sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as archive:
    for top in sys.argv[2:]:
        paths = [top] if os.path.isfile(top) else sorted(
            os.path.join(d, f) for d, _, files in os.walk(top) for f in files)
        for path in paths:
            archive.write(path)
PY
  )
done
(cd "$dist" && sha256sum "$name"-*.tar.gz "$name"-*.zip >"$name.sha256")

# The check: a copy of the bundle alone, in a folder of its own; the sample built by each tool.
check=$(mktemp -d)
trap 'rm -rf "$check"' EXIT
cp -r "$bundle" "$check/"
cd "$check/$name"
sha256sum --quiet -c SHA256SUMS
bin/linux-x64/pack build --input examples/sample/service.toml --output linux.exe >/dev/null
winpath="Z:$(pwd | tr / '\\')"
"$root/tests/wine/wine-x64-run.sh" 'bin\windows-x64\pack.exe' build \
  --input 'examples\sample\service.toml' --output "$winpath\\x64.exe" >/dev/null
"$root/tests/wine/wine-run.sh" 'bin\windows-arm64\pack.exe' build \
  --input "$winpath\\examples\\sample\\service.toml" --output 'arm64.exe' >/dev/null
"$root/tests/wine/wine-x64-run.sh" --stop
"$root/tests/wine/wine-run.sh" --stop
for made in x64.exe arm64.exe; do
  if ! cmp linux.exe "$made"; then
    echo "dist: $made differs from the launcher the Linux pack made" >&2
    exit 1
  fi
done
sample_size=$(stat -c %s linux.exe)
install=$(grep '^mvn install:install-file ' QUICKSTART.md)
cp -r "$root/maven/sample" "$check/greeter"
MAVEN_REPO_LOCAL=$check/m2 "$root/maven/mvn.sh" -q ${install#mvn } >/dev/null
MAVEN_REPO_LOCAL=$check/m2 "$root/maven/mvn.sh" -q -f "$check/greeter/pom.xml" \
  -Dlumex.version="$version" package >/dev/null
if ! cmp -s "$check/greeter/target/lumex/lib/commons-cli-1.5.0.jar" \
    /usr/share/maven-repo/commons-cli/commons-cli/1.5.0/commons-cli-1.5.0.jar ||
  [ ! -f "$check/greeter/target/lumex/greeter.exe" ]; then
  echo "dist: the Maven plugin installed from the bundle did not pack maven/sample" >&2
  exit 1
fi
cd "$root"

end=$(date +%s.%N)
echo "== $bundle"
(cd "$dist" && find "$name" -type f -printf '%10s  %p\n' | LC_ALL=C sort -k2)
echo "== archives"
(cd "$dist" && find . -maxdepth 1 -type f -name "$name*" -printf '%10s  %P\n' | LC_ALL=C sort -k2)
echo "== the sample launcher ($sample_size bytes) is the same from pack on Linux x64, Windows x64 and Windows Arm64"
echo "== the Maven plugin installed from the bundle packs maven/sample"
awk -v s="$start" -v e="$end" 'BEGIN { printf "== dist.sh took %.1f s\n", e - s }'
