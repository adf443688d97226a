#!/usr/bin/env bash
# Builds everything and runs the whole test suite.
#   scripts/test.sh [--sanitize] [--werror] [ctest arguments...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build_args=()
ctest_args=()
for a in "$@"; do
  case "$a" in
    --sanitize|--werror) build_args+=("$a") ;;
    *) ctest_args+=("$a") ;;
  esac
done
dir="$("$root/scripts/build.sh" "${build_args[@]}" | tail -n 1)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
jobs="$(nproc 2>/dev/null || echo 2)"
cd "$dir"
ctest --output-on-failure -j "$jobs" "${ctest_args[@]}"
