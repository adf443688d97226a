#!/usr/bin/env bash
# Renders each editor dialog and the workbench, loaded from an example
# knowledge base, to PNG files in OUTDIR on Qt's offscreen platform (no
# display needed).
#   scripts/screenshots.sh OUTDIR [EXAMPLE.clp]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
[ $# -ge 1 ] || { echo "usage: scripts/screenshots.sh OUTDIR [EXAMPLE.clp]" >&2; exit 2; }
out="$(mkdir -p "$1" && cd "$1" && pwd)"
example="$(cd "$(dirname "${2:-$root/examples/diagnosis.clp}")" && pwd)/$(basename "${2:-$root/examples/diagnosis.clp}")"
dir="$("$root/scripts/build.sh" forms_screenshots | tail -n 1)"
QT_QPA_PLATFORM=offscreen "$dir/tests/forms/forms_screenshots" "$out" "$example"
# The workbench with the example loaded and reset.
dir="$("$root/scripts/build.sh" deducer-workbench | tail -n 1)"
QT_QPA_PLATFORM=offscreen "$dir/deducer-workbench" "$example" -e "(reset)" -e "(agenda)" \
  --screenshot "$out/workbench.png"
echo "$out/workbench.png"
