#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/ with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer in build/fuzz, then runs each one from its seed corpus
# (fuzz/corpus/<target>) for a fixed time and prints its executions per second.
#
#   scripts/fuzz.sh                     every target, about a minute in all
#   scripts/fuzz.sh --long SECONDS      every target for SECONDS each
#   scripts/fuzz.sh [...] TARGET...     only the named targets (profile_fuzz, frame_fuzz, ...)
#
# Exit code 0 when no target found anything; 1 on a finding (a sanitizer report, a failed
# check, a crash, a leak, a timeout or running out of memory): the input that caused it is
# kept as build/fuzz/findings/<target>-<kind>-<hash> and can be replayed with
# build/fuzz/<target> <file>. 2 when the build fails or an argument is wrong.
# Inputs found while running accumulate in build/fuzz/corpus/<target>; the seeds in the tree
# are only read.
set -u -o pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz
budget=56          # seconds for the whole default run
seconds=
targets=()
while [ $# -gt 0 ]; do
  case $1 in
    --long)
      if [ $# -lt 2 ] || ! [[ $2 =~ ^[1-9][0-9]*$ ]]; then
        echo "usage: scripts/fuzz.sh [--long SECONDS] [TARGET...]" >&2
        exit 2
      fi
      seconds=$2
      shift 2 ;;
    -h|--help)
      sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'
      exit 0 ;;
    *) targets+=("$1"); shift ;;
  esac
done

cxx=${FUZZ_CXX:-clang++}
if ! command -v "$cxx" >/dev/null; then
  echo "fuzz: $cxx not found (clang 14 and libclang-rt-14-dev are needed)" >&2
  exit 2
fi
cmake -S "$root/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" >"$build.configure.log" 2>&1 ||
  { cat "$build.configure.log" >&2; echo "fuzz: configure failed" >&2; exit 2; }
if [ ${#targets[@]} -eq 0 ]; then
  mapfile -t targets < <(cd "$root/fuzz" && ls *_fuzz.cpp | sed 's/\.cpp$//')
fi
cmake --build "$build" -j2 --target "${targets[@]}" || { echo "fuzz: build failed" >&2; exit 2; }

if [ -z "$seconds" ]; then
  seconds=$(( budget / ${#targets[@]} ))
  [ "$seconds" -lt 5 ] && seconds=5
fi

# The longest input worth trying, per target: above the 5000-byte message buffers for the
# frame, a whole ini value for the profile reader, the largest arguments of an export.
max_len() {
  case $1 in
    frame_fuzz) echo 12000 ;;
    profile_fuzz) echo 6000 ;;
    *) echo 4096 ;;
  esac
}

# Options of one target: the node logs every event on standard error, which is closed for it
# (libFuzzer's own lines and sanitizer reports still appear; replay a finding to read its
# failed check).
target_options() {
  case $1 in
    node_fuzz) echo -close_fd_mask=2 ;;
  esac
}

mkdir -p "$build/findings"
status=0
report=()
for target in "${targets[@]}"; do
  seeds=$root/fuzz/corpus/$target
  corpus=$build/corpus/$target
  mkdir -p "$corpus"
  log=$build/$target.log
  echo "== $target: ${seconds}s"
  args=(-max_total_time="$seconds" -max_len="$(max_len "$target")" -timeout=10
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/findings/$target-"
        $(target_options "$target"))
  if [ -d "$seeds" ]; then
    "$build/$target" "${args[@]}" "$corpus" "$seeds" >"$log" 2>&1
  else
    "$build/$target" "${args[@]}" "$corpus" >"$log" 2>&1
  fi
  rc=$?
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ $rc -ne 0 ]; then
    status=1
    echo "fuzz: $target FOUND SOMETHING (exit code $rc); its log is $log:" >&2
    grep -E 'ERROR|SUMMARY|_fuzz:|runtime error|Test unit written' "$log" | head -20 >&2
    report+=("$(printf '%-16s %10s exec/s %12s runs  FINDING' "$target" "${rate:-?}" "${runs:-?}")")
  else
    report+=("$(printf '%-16s %10s exec/s %12s runs  clean' "$target" "${rate:-?}" "${runs:-?}")")
  fi
done

echo "== fuzz summary (${seconds}s per target)"
printf '%s\n' "${report[@]}"
exit $status
