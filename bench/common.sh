# Shared by the benchmarks: the repository root as working folder, the Wine runner, and a stand-in
# Java runtime laid out in a folder (tests/standin; no Windows JVM exists here).
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
run=tests/wine/wine-run.sh

# lay_out_runtime DIR [standin.cfg line...]: DIR/bin/{java,javaw}.exe, jli.dll, unpack200.exe and
# DIR/bin/server/jvm.dll, configured by the given lines.
lay_out_runtime() {
  local home=$1 standin=build/win-arm64/bin/standin
  shift
  mkdir -p "$home/bin/server"
  cp "$standin/java.exe" "$standin/javaw.exe" "$standin/jli.dll" "$standin/unpack200.exe" \
    "$home/bin/"
  cp "$standin/jvm.dll" "$home/bin/server/"
  : >"$home/standin.cfg"
  for line in "$@"; do printf '%s\n' "$line" >>"$home/standin.cfg"; done
}

# pack_launcher INPUT OUTPUT: the stub with the configuration of a launcher description appended.
pack_launcher() {
  build/release/tools/pack/pack build --stub build/win-arm64/bin/launcher.exe --input "$1" \
    --output "$2" >/dev/null
}

# median: the median of the numbers on standard input, one a line.
median() { sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }

# rss_of TEXT [EXCLUDED...]: the resident memory (KB) of the first process whose command line holds
# TEXT and none of the excluded texts (the runner and the search itself are never counted).
rss_of() {
  local text=$1 word excluded=(-e grep -e wine-run)
  shift
  for word in "$@"; do excluded+=(-e "$word"); done
  ps -eo rss,args | grep -F "$text" | grep -v "${excluded[@]}" | awk '{print $1}' | head -n 1
}
