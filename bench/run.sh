#!/usr/bin/env bash
# Runs every engine benchmark of bench/run_bench several times (whole
# processes, the engine inside run_bench) and prints the medians as a table.
# bench/measure.sh measures the workloads as the deducer shell runs them.
#   bench/run.sh [RUNS]        (default 5)
# Builds run_bench in build/release first.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
runs="${1:-5}"
dir="$("$root/scripts/build.sh" run_bench | tail -n 1)"
bench="$dir/bench/run_bench"

programs=("zebra" "manners16" "manners32" "manners64" "manners128" "joins200" "joins400"
          "churn300" "api-joins 2000" "api-churn 20000" "cycles 1000")

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

printf '%-16s %10s %12s %14s %12s\n' program fired seconds rules/second peak_KiB
for p in "${programs[@]}"; do
  secs=() kib=() fired=0
  for ((i = 0; i < runs; i++)); do
    # shellcheck disable=SC2086
    line="$(KB_BENCH_DIR="$root/bench" "$bench" $p | tail -n 1)"
    fired="$(sed -E 's/.*fired=([0-9]+).*/\1/' <<<"$line")"
    secs+=("$(sed -E 's/.*seconds=([0-9.]+).*/\1/' <<<"$line")")
    kib+=("$(sed -E 's/.*peak_kib=([0-9]+).*/\1/' <<<"$line")")
  done
  s="$(printf '%s\n' "${secs[@]}" | median)"
  k="$(printf '%s\n' "${kib[@]}" | median)"
  rate="$(awk -v f="$fired" -v s="$s" 'BEGIN { printf "%.0f", (s > 0 ? f / s : 0) }')"
  printf '%-16s %10s %12.4f %14s %12s\n' "${p/ /-}" "$fired" "$s" "$rate" "$k"
done
