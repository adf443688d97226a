#!/usr/bin/env bash
# One unit per header: no header of the library, the tools or the editors
# grows past 500 lines (docs/ARCHITECTURE.md, "Folders"). A header that
# does names itself here; split it by the units it holds.
set -euo pipefail
cd "$(dirname "$0")/.."
limit=500
status=0
while IFS= read -r header; do
  lines=$(wc -l < "$header")
  if [ "$lines" -gt "$limit" ]; then
    echo "$header: $lines lines (at most $limit)"
    status=1
  fi
done < <(git ls-files --cached --others --exclude-standard -- \
  framework core memory rete parser engine functions libraries api tools kbforms | grep -E '\.h$')
[ "$status" -eq 0 ] && echo "check-headers: every header has at most $limit lines"
exit "$status"
