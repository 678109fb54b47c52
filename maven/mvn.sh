#!/usr/bin/env bash
# Debian's Maven, offline: every artifact comes from /usr/share/maven-repo (maven/settings.xml
# mirrors every repository to it, and offline mode lets only file: repositories through); the
# local repository is build/maven/repo of this checkout (MAVEN_REPO_LOCAL overrides it).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
repo=${MAVEN_REPO_LOCAL:-$root/build/maven/repo}
exec /usr/bin/mvn --batch-mode --no-transfer-progress -Dstyle.color=never -s "$root/maven/settings.xml" \
  -Dmaven.repo.local="$repo" -Daether.offline.protocols=file "$@"
