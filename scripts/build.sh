#!/usr/bin/env bash
# Configures and builds into build/<name>.
#   scripts/build.sh [--sanitize] [--werror] [--release] [targets...]
# Prints the build directory on the last line of standard output.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh"

name="release"
sanitize=OFF
werror=OFF
targets=()
for a in "$@"; do
  case "$a" in
    --sanitize) sanitize=ON; name="sanitize" ;;
    --werror) werror=ON ;;
    --release) ;;
    *) targets+=("$a") ;;
  esac
done
dir="$root/build/$name"
launcher=()
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
build_type=RelWithDebInfo
[ "$sanitize" = ON ] && build_type=Debug
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$build_type" \
  -DKB_SANITIZE="$sanitize" -DKB_WERROR="$werror" "${launcher[@]}" >/dev/null
cmake --build "$dir" ${targets[@]:+--target "${targets[@]}"} >&2
echo "$dir"
