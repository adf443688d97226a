#!/usr/bin/env bash
# The layer check: every include in the library's folders goes to the
# folder's own layer or a lower one (docs/ARCHITECTURE.md, "Layers"):
#   framework < core < memory < rete < parser < engine < functions
#     < libraries < api
# An include that goes up fails the check with the file, the line and the
# rule it breaks. The build enforces the same order (CMakeLists.txt: each
# layer's include root); this check runs first and names every offender.
#   scripts/check-layers.sh            check
#   scripts/check-layers.sh --upward   list every upward include
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

layers=(framework core memory rete parser engine functions libraries api)
declare -A rank
for i in "${!layers[@]}"; do rank[${layers[$i]}]=$i; done
order="$(IFS='<'; echo "${layers[*]}" | sed 's/</ < /g')"

list_only=0
[ "${1:-}" = "--upward" ] && list_only=1

# Every include of a path with a folder, as "file:line:path", one awk pass
# over all files.
includes="$(git ls-files --cached --others --exclude-standard -- "${layers[@]/%//}" |
  grep -E '\.(h|cpp)$' | sort |
  xargs grep -nHE '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<][^">]*/' |
  sed -E 's/^([^:]+):([0-9]+):[[:space:]]*#[[:space:]]*include[[:space:]]*["<]([^">]+)[">].*/\1:\2:\3/')"

# The layer of an included path is its first folder; the public headers
# (<deducer/...>) are the api layer's, except the generated version header,
# which every layer may read.
failures=0
while IFS=: read -r file lineno inc; do
  [ -z "$file" ] && continue
  own="${file%%/*}"
  top="${inc%%/*}"
  case "$inc" in
    deducer/Version.h) continue ;;
    deducer/*) target=api ;;
    *) [ -n "${rank[$top]+x}" ] || continue; target="$top" ;;
  esac
  [ "${rank[$target]}" -le "${rank[$own]}" ] && continue
  if [ $list_only = 1 ]; then
    echo "$file -> $inc"
  else
    echo "$file:$lineno: includes $inc: the $own layer may include only its own and lower layers ($order)" >&2
    failures=$((failures + 1))
  fi
done <<<"$includes"

[ $list_only = 1 ] && exit 0
if [ $failures -gt 0 ]; then
  echo "check-layers: $failures problem(s); see docs/ARCHITECTURE.md, \"Layers\"" >&2
  exit 1
fi
echo "check-layers: every include goes to its own or a lower layer"
