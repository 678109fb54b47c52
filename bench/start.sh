#!/usr/bin/env bash
# Class-data sharing at start-up, on HotSpot 17 and Java 25 side by side: a small application
# (bench/java/startup, some 2,500 loaded classes) started through the launch's own JNI calls
# (runtime_driver creates the JVM from libjvm.so and calls the lumex launcher class, which calls
# the application's main), with these mechanisms:
#   17 plain       no archive options (the JDK's base archive only)
#   17 dynamic     -XX:ArchiveClassesAtExit=F on the first run, -XX:SharedArchiveFile=F after
#   25 plain       no archive options
#   25 dynamic     as 17 dynamic, on Java 25
#   25 auto        -XX:+AutoCreateSharedArchive -XX:SharedArchiveFile=F on every run
#   25 aot         -XX:AOTCacheOutput=F on the first run, -XX:AOTCache=F after
# RUNS rounds (default 10), each one plain run, one first run (archive deleted before it) and one
# later run of every mechanism, interleaved so that all meet the same machine load. Every run
# records the time from just before the process starts to the end of main (the application
# prints the wall clock as its last line) and to the process's end; the difference is the exit.
# Prints medians, the ratios first/plain and later/plain, the first run's extra exit time and the
# archive sizes, then hyperfine's medians of the whole process as a cross-check (HYPERFINE=no
# leaves it out), then what a truncated archive and a changed class path do.
# JDK17= and JDK25= name other JDK folders.
set -euo pipefail
source "$(dirname "$0")/common.sh"
runs=${RUNS:-10}
jdk17=${JDK17:-/usr/lib/jvm/java-17-openjdk-amd64}
jdk25=${JDK25:-/usr/lib/jvm/temurin-25-jdk-amd64}
out="$root/build/bench/start"
driver="$root/build/host/runtime/test/runtime_driver"
runtime_jar="$root/build/host/runtime/lumex-runtime.jar"
rm -rf "$out"
mkdir -p "$out/classes" "$out/probe"

for jdk in "$jdk17" "$jdk25"; do
  [ -f "$jdk/lib/server/libjvm.so" ] || { echo "start.sh: no $jdk/lib/server/libjvm.so" >&2; exit 1; }
  [ -f "$jdk/lib/server/classes.jsa" ] ||
    { echo "start.sh: $jdk has no base archive (lib/server/classes.jsa)" >&2; exit 1; }
done
if [ ! -x "$driver" ] || [ ! -f "$runtime_jar" ]; then
  [ -f build/host/build.ninja ] || cmake --preset host >/dev/null
  cmake --build build/host -j 2 --target runtime_driver lumex_runtime_jar >/dev/null
fi
"$jdk17/bin/javac" --release 17 -d "$out/classes" bench/java/startup/Main.java
"$jdk17/bin/jar" --create --file "$out/app.jar" -C "$out/classes" .
# CDS archives only classes from jars, so the application is one.
class_path="$runtime_jar:$out/app.jar"

# launch JDK CLASS-PATH JVM-OPTION...: the application through the driver, as the launcher starts
# it (launcher class, main class, no redirection, append false, program name).
launch() {
  local jdk=$1 path=$2
  shift 2
  RUNTIME_LIBJVM="$jdk/lib/server/libjvm.so" "$driver" "-Djava.class.path=$path" "$@" -- \
    com.lumex.runtime.WinLauncher false startup.Main "" "" false bench
}

# timed NAME JDK JVM-OPTION...: one run; appends "<ms to the end of main> <ms to the exit>".
timed() {
  local name=$1 jdk=$2 start stop end
  shift 2
  start=$EPOCHREALTIME
  if ! launch "$jdk" "$class_path" "$@" >"$out/run.out" 2>"$out/run.err"; then
    echo "start.sh: the $name run failed" >&2
    cat "$out/run.out" "$out/run.err" >&2
    exit 1
  fi
  stop=$EPOCHREALTIME
  end=$(sed -n 's/^main end //p' "$out/run.out")
  [ -n "$end" ] || { echo "start.sh: the $name run printed no end of main" >&2; exit 1; }
  awk -v s="${start/./}" -v e="$end" -v x="${stop/./}" \
    'BEGIN { printf "%.1f %.1f\n", (e - s) / 1000, (x - s) / 1000 }' >>"$out/$name.times"
}

# Each mechanism's archive and its options on the first run and on later runs.
archive() { echo "$out/$1.$([ "$1" = j25-aot ] && echo aot || echo jsa)"; }
# options MECHANISM first|later
options() {
  local file
  file=$(archive "$1")
  case $1-$2 in
    j*-dynamic-first) echo "-Xlog:cds=off -XX:ArchiveClassesAtExit=$file" ;;
    j*-dynamic-later) echo "-XX:SharedArchiveFile=$file" ;;
    j25-auto-*) echo "-XX:+AutoCreateSharedArchive -XX:SharedArchiveFile=$file" ;;
    j25-aot-first) echo "-Xlog:cds=off,aot=off -XX:AOTCacheOutput=$file" ;;
    j25-aot-later) echo "-XX:AOTCache=$file" ;;
  esac
}
jdk_of() { case $1 in j17*) echo "$jdk17" ;; *) echo "$jdk25" ;; esac; }
mechanisms=(j17-dynamic j25-dynamic j25-auto j25-aot)

# round: the plain runs, then each mechanism's first and later run. Paths hold no spaces, so
# the options are split on them on purpose.
round() {
  timed j17-plain "$jdk17"
  timed j25-plain "$jdk25"
  local m
  for m in "${mechanisms[@]}"; do
    rm -f "$(archive "$m")"
    # shellcheck disable=SC2046
    timed "$m-first" "$(jdk_of "$m")" $(options "$m" first)
    # shellcheck disable=SC2046
    timed "$m-later" "$(jdk_of "$m")" $(options "$m" later)
  done
}
echo "start: $runs rounds of 10 runs on $("$jdk17/bin/java" -version 2>&1 | sed -n 2p) and" \
  "$("$jdk25/bin/java" -version 2>&1 | sed -n 2p)"
round
rm -f "$out"/*.times
for _ in $(seq 1 "$runs"); do round; done

# Classes the later run took from an archive (base or own), of all it loaded.
shared_share() {
  local m=$1 jdk
  jdk=$(jdk_of "$m")
  # shellcheck disable=SC2046
  launch "$jdk" "$class_path" $(options "$m" later) -Xlog:class+load:file="$out/classes.log" \
    >/dev/null 2>&1
  echo "$(grep -c 'source: shared objects file' "$out/classes.log") of $(wc -l <"$out/classes.log")"
}
{
  echo "j17-plain $(launch "$jdk17" "$class_path" -Xlog:class+load:file="$out/classes.log" >/dev/null 2>&1
    echo "$(grep -c 'source: shared objects file' "$out/classes.log") of $(wc -l <"$out/classes.log")")"
  echo "j25-plain $(launch "$jdk25" "$class_path" -Xlog:class+load:file="$out/classes.log" >/dev/null 2>&1
    echo "$(grep -c 'source: shared objects file' "$out/classes.log") of $(wc -l <"$out/classes.log")")"
  for m in "${mechanisms[@]}"; do echo "$m $(shared_share "$m")"; done
} >"$out/shared.txt"
for m in "${mechanisms[@]}"; do echo "$m $(stat -c %s "$(archive "$m")")"; done >"$out/sizes.txt"

python3 - "$out" <<'PY'
import pathlib, statistics, sys
out = pathlib.Path(sys.argv[1])
def times(name):
    rows = [list(map(float, l.split())) for l in (out / f"{name}.times").read_text().split("\n") if l]
    return ([r[0] for r in rows], [r[1] - r[0] for r in rows])
shared = dict(l.split(" ", 1) for l in (out / "shared.txt").read_text().splitlines())
sizes = dict(l.split() for l in (out / "sizes.txt").read_text().splitlines())
med = statistics.median
print(f"\nmedians of {len(times('j17-plain')[0])} runs, ms from the process start to the end of main"
      " (and to the exit)")
print(f"{'mechanism':12} {'plain':>13} {'first':>13} {'later':>13} {'first/plain':>11}"
      f" {'later/plain':>11} {'first exit +ms':>14} {'archive':>12}  classes from archives (later)")
targets = {"j17": 0.85, "j25": 0.75}
verdicts = []
for plain_name, name in [("j17-plain", "j17-dynamic"), ("j25-plain", "j25-dynamic"),
                         ("j25-plain", "j25-auto"),
                         ("j25-plain", "j25-aot")]:
    pm, pe = times(plain_name)
    fm, fe = times(name + "-first")
    lm, le = times(name + "-later")
    first, later = med(fm) / med(pm), med(lm) / med(pm)
    extra = med(fe) - med(pe)
    cell = lambda m, e: f"{med(m):6.0f} ({med(m) + med(e):4.0f})"
    print(f"{name:12} {cell(pm, pe):>13} {cell(fm, fe):>13} {cell(lm, le):>13} {first:11.2f}"
          f" {later:11.2f} {extra:14.0f} {int(sizes[name]):12,}  {shared[name]}"
          f" (plain {shared[plain_name]})")
    limit = targets[name[:3]]
    verdicts.append(f"{name}: later {later:.2f}x plain (target <= {limit}) "
                    f"{'holds' if later <= limit else 'MISSED'}; first {first:.2f}x plain "
                    f"(target <= 1.15) {'holds' if first <= 1.15 else 'MISSED'}; first exit "
                    f"+{extra:.0f} ms (target <= 2000) {'holds' if extra <= 2000 else 'MISSED'}")
print("\n".join(verdicts))
PY

if [ "${HYPERFINE:-yes}" != no ]; then
  # hyperfine COMMAND-NAME PREPARE JDK JVM-OPTION...: the median wall time of the whole process.
  fine() {
    local name=$1 prepare=$2 jdk=$3 command
    shift 3
    command=$(printf '%q ' env "RUNTIME_LIBJVM=$jdk/lib/server/libjvm.so" "$driver" \
      "-Djava.class.path=$class_path" "$@" -- com.lumex.runtime.WinLauncher false startup.Main \
      "" "" false bench)
    hyperfine --runs "$runs" --warmup 1 --style none --output null --prepare "$prepare" \
      --export-json "$out/fine.json" -n "$name" "$command" >/dev/null
    python3 - "$out/fine.json" <<'PY'
import json, sys
result = json.load(open(sys.argv[1]))["results"][0]
print(f"  {result['command']:18} {result['median'] * 1000:6.0f} ms")
PY
  }
  echo
  echo "hyperfine, median wall time of the whole process ($runs runs each):"
  fine j17-plain true "$jdk17"
  fine j25-plain true "$jdk25"
  for m in "${mechanisms[@]}"; do
    # shellcheck disable=SC2046
    fine "$m-first" "rm -f $(archive "$m")" "$(jdk_of "$m")" $(options "$m" first)
    # shellcheck disable=SC2046
    fine "$m-later" true "$(jdk_of "$m")" $(options "$m" later)
  done
fi

# probe MECHANISM TITLE CLASS-PATH OPTIONS: one run on a damaged or mismatched archive; prints
# the exit code, whether main ran to its end, the classes taken from archives and what the JVM
# printed besides the application's and the driver's own lines. "(changed code)": the changed
# application ran, not the one in the archive.
probe() {
  local m=$1 title=$2 path=$3 options=$4 code=0 ended=no said
  rm -f "$out/probe/classes.log" "$out/probe"/hs_err_pid*.log
  # A JVM that crashes writes its report into the working folder: the probe's own.
  # shellcheck disable=SC2086
  (cd "$out/probe" && launch "$(jdk_of "$m")" "$path" $options \
    -Xlog:class+load:file="$out/probe/classes.log") >"$out/probe/run.out" 2>&1 || code=$?
  touch "$out/probe/classes.log"
  grep -q '^main end ' "$out/probe/run.out" && ended=yes
  grep -q '^check changed ' "$out/probe/run.out" && ended+=" (changed code)"
  said=$({ grep -v -e '^check ' -e '^main end ' -e '^param ' -e '^main class: ' -e '^calling main' \
    -e '^main returned' -e '^ERROR: did not find com/parcelkit' -e '^#$' -e '^# *[A-Z]' \
    -e 'line [0-9]*: *[0-9]* Aborted' "$out/probe/run.out" || true; } |
    sed -e 's/^\[[0-9.]*s\]//' -e "s|$out/||g" | sort | uniq -c | sort -rn | head -n 3 |
    sed 's/^ *//' | paste -sd '|' -)
  if compgen -G "$out/probe/hs_err_pid*.log" >/dev/null; then
    said="CRASH: $(grep -h -m 1 -E '^# +SIG' "$out/probe"/hs_err_pid*.log | sed 's/^# *//') in"
    said+=" $(grep -h -m 1 -A 1 '^# Problematic frame' "$out/probe"/hs_err_pid*.log | tail -n 1 |
      sed 's/^# *//')"
  fi
  printf '  %-12s %-34s exit %s, main ended %-18s, %4s of %4s classes from archives; printed: %s\n' \
    "$m" "$title" "$code" "$ended" "$(grep -c 'source: shared objects file' "$out/probe/classes.log")" \
    "$(wc -l <"$out/probe/classes.log")" "${said:-nothing}"
}

# fresh MECHANISM CLASS-PATH: a new archive made by one first run with that class path.
fresh() {
  rm -f "$(archive "$1")"
  # shellcheck disable=SC2046
  launch "$(jdk_of "$1")" "$2" $(options "$1" first) >/dev/null 2>&1
}

echo
echo "an archive cut to half its size, then the later run's options:"
for m in "${mechanisms[@]}"; do
  fresh "$m" "$class_path"
  size=$(stat -c %s "$(archive "$m")")
  truncate -s $((size / 2)) "$(archive "$m")"
  probe "$m" "truncated" "$class_path" "$(options "$m" later)"
  echo "  $m archive after that run: $(stat -c %s "$(archive "$m")") bytes (was cut to $((size / 2)))"
done

echo
echo "a changed class path after the first run:"
# extra.jar: the application changed (it prints "check changed"), to see which one runs.
mkdir -p "$out/probe/src" "$out/probe/classes"
sed 's/"check " + check/"check changed " + check/' bench/java/startup/Main.java \
  >"$out/probe/src/Main.java"
"$jdk17/bin/javac" --release 17 -d "$out/probe/classes" "$out/probe/src/Main.java"
"$jdk17/bin/jar" --create --file "$out/probe/extra.jar" -C "$out/probe/classes" .
probe_path="$runtime_jar:$out/probe/app.jar"
for m in "${mechanisms[@]}"; do
  cp "$out/app.jar" "$out/probe/app.jar"
  fresh "$m" "$probe_path"
  probe "$m" "unchanged" "$probe_path" "$(options "$m" later)"
  probe "$m" "a jar appended" "$probe_path:$out/probe/extra.jar" "$(options "$m" later)"
  fresh "$m" "$probe_path"
  probe "$m" "a jar put ahead of the app" "$runtime_jar:$out/probe/extra.jar:$out/probe/app.jar" \
    "$(options "$m" later)"
  fresh "$m" "$probe_path"
  cp "$out/probe/extra.jar" "$out/probe/app.jar"
  probe "$m" "the app jar replaced by the change" "$probe_path" "$(options "$m" later)"
  probe "$m" "  and once more" "$probe_path" "$(options "$m" later)"
done
