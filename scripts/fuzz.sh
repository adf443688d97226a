#!/usr/bin/env bash
# Builds the fuzz target (fuzz/, clang with libFuzzer, ASan and UBSan) in
# build/fuzz and runs it for SECONDS (default 60) on one core, seeded with
# the language tests and the examples. New inputs are kept in
# build/fuzz/corpus (it grows from run to run), crashing inputs go to
# build/fuzz/findings; the status is non-zero after a finding.
#   scripts/fuzz.sh [SECONDS] [libFuzzer options...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
[ $# -gt 0 ] && shift
"$root/scripts/deps.sh" clang libclang-rt-dev

dir="$root/build/fuzz"
launcher=()
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DKB_FUZZ=ON -DKB_BUILD_TESTS=OFF -DKB_BUILD_BENCH=OFF \
  "${launcher[@]}" >/dev/null
cmake --build "$dir" --target deducer_fuzz >&2

# The seeds: every script of the language tests and every example.
seeds="$dir/seeds"
rm -rf "$seeds"
mkdir -p "$seeds" "$dir/corpus" "$dir/findings"
(cd "$root" && find tests/language examples -name '*.clp' -print0) |
  while IFS= read -r -d '' f; do cp "$root/$f" "$seeds/${f//\//_}"; done

export ASAN_OPTIONS="detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
"$dir/deducer_fuzz" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
  -dict="$root/fuzz/clips.dict" -artifact_prefix="$dir/findings/" -print_final_stats=1 \
  "$@" "$dir/corpus" "$seeds"
