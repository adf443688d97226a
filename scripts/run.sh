#!/usr/bin/env bash
# Builds the deducer shell and runs it. Without arguments it runs the
# example knowledge base; otherwise the arguments go to deducer.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="$("$root/scripts/build.sh" deducer | tail -n 1)"
if [ $# -eq 0 ]; then
  exec "$dir/deducer" "$root/examples/savings.clp"
fi
exec "$dir/deducer" "$@"
