#!/usr/bin/env bash
# Measures the benchmark workloads as the shell runs them (deducer --run).
#
#   bench/measure.sh [--instructions] [--profile DIR] [--runs N] [--keep DIR]
#                    [WORKLOAD...]
#
# WORKLOAD is mannersN, joinsN[xDEGREE] (degree 6 by default),
# churnN[xSTEPS] (N steps by default) or zebra; without any, the set in
# default_set below.
# For each workload it
#   - writes the program (build/release/bench/run_bench print WORKLOAD);
#   - runs it once with -w statistics and checks the result lines and the
#     number of rules fired (run_bench check WORKLOAD);
#   - runs it N times (default 5; 0 skips this) as a whole process and takes
#     the median wall and CPU times and the peak resident memory
#     (build/release/bench/process_stats);
#   - with --instructions, runs it once under valgrind and takes the total
#     of the "summary:" line of callgrind's output, that is the instructions
#     executed by the whole process:
#       valgrind --tool=callgrind --callgrind-out-file=OUT \
#         build/release/deducer --run PROGRAM
#     This is slow (Manners 128 takes minutes): select the workloads.
#   - with --profile DIR (implies --instructions), keeps callgrind's output
#     in DIR/WORKLOAD.callgrind, the top of
#       callgrind_annotate --inclusive=yes DIR/WORKLOAD.callgrind
#     in DIR/WORKLOAD.txt and the top by own cost (without --inclusive)
#     in DIR/WORKLOAD.self.txt.
# --keep DIR keeps the programs and the checked output in DIR.
#
# Prints one line per workload: rules fired, millions of instructions,
# instructions per rule fired, peak resident memory in KiB, median wall and
# CPU seconds ("-" where not measured). Exits with 1 when a workload prints
# a wrong result. Builds deducer, run_bench and process_stats in
# build/release first.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

default_set=(zebra manners16 manners32 manners64 manners128 joins100 joins200 joins400 churn300)

usage() {
  sed -n '2,/^set -euo/p' "$0" | sed '$d' | sed 's/^# \{0,1\}//' >&2
  exit "${1:-2}"
}

instructions=0 profile="" runs=5 keep="" workloads=()
while [ $# -gt 0 ]; do
  case "$1" in
    --instructions) instructions=1 ;;
    --profile) [ $# -ge 2 ] || usage; profile="$2"; instructions=1; shift ;;
    --runs)
      if [ $# -lt 2 ] || ! [[ "$2" =~ ^[0-9]+$ ]]; then usage; fi
      runs="$2"
      shift
      ;;
    --keep) [ $# -ge 2 ] || usage; keep="$2"; shift ;;
    -h | --help) usage 0 ;;
    -*) usage ;;
    *) workloads+=("$1") ;;
  esac
  shift
done
[ ${#workloads[@]} -gt 0 ] || workloads=("${default_set[@]}")

if [ "$instructions" = 1 ] && ! command -v valgrind >/dev/null 2>&1; then
  echo "measure.sh: counting instructions needs valgrind (apt-get install valgrind)" >&2
  exit 2
fi

dir="$("$root/scripts/build.sh" deducer run_bench process_stats | tail -n 1)"
deducer="$dir/deducer"
bench="$dir/bench/run_bench"
stats="$dir/bench/process_stats"

if [ -n "$keep" ]; then
  mkdir -p "$keep"
  work="$(cd "$keep" && pwd)"
else
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
fi
if [ -n "$profile" ]; then
  mkdir -p "$profile"
  profile="$(cd "$profile" && pwd)"
fi

printf '%-14s %9s %10s %12s %10s %9s %9s\n' workload fired M_instr instr/fired peak_KiB wall_s cpu_s
status=0
for w in "${workloads[@]}"; do
  program="$work/$w.clp"
  # A workload that cannot be written or prints a wrong result is reported
  # (run_bench says why) and not measured.
  if ! "$bench" print "$w" >"$program" ||
    ! { "$deducer" -w statistics --run "$program" >"$work/$w.out" || true; } ||
    ! fired="$("$bench" check "$w" <"$work/$w.out")"; then
    printf '%-14s %9s\n' "$w" wrong
    status=1
    continue
  fi
  fired="${fired#fired=}"

  peak="-" wall="-" cpu="-"
  if [ "$runs" -gt 0 ]; then
    line="$("$stats" "$runs" "$deducer" --run "$program")"
    wall="$(sed -E 's/.*wall_s=([0-9.]+).*/\1/' <<<"$line")"
    cpu="$(sed -E 's/.*cpu_s=([0-9.]+).*/\1/' <<<"$line")"
    peak="$(sed -E 's/.*peak_kib=([0-9]+).*/\1/' <<<"$line")"
  fi

  minstr="-" perfired="-"
  if [ "$instructions" = 1 ]; then
    out="${profile:-$work}/$w.callgrind"
    valgrind --tool=callgrind --callgrind-out-file="$out" "$deducer" --run "$program" \
      >/dev/null 2>"$work/$w.valgrind"
    total="$(sed -n 's/^summary: *//p' "$out")"
    minstr="$(awk -v t="$total" 'BEGIN { printf "%.1f", t / 1e6 }')"
    perfired="$(awk -v t="$total" -v f="$fired" 'BEGIN { printf "%.0f", (f > 0 ? t / f : 0) }')"
    if [ -n "$profile" ]; then
      # Source paths shortened to the tree's, objects to their names.
      annotate() {
        callgrind_annotate "$@" "$out" 2>/dev/null | sed -n '1,70p' |
          sed -E 's#[^ :]*\.\./\.\./##g; s#\[/[^]]*/([^]/]*)\]#[\1]#g'
      }
      annotate --inclusive=yes >"$profile/$w.txt"
      annotate >"$profile/$w.self.txt"
    fi
  fi
  printf '%-14s %9s %10s %12s %10s %9s %9s\n' "$w" "$fired" "$minstr" "$perfired" "$peak" "$wall" "$cpu"
done
exit "$status"
