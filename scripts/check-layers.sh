#!/usr/bin/env bash
# The house rule, checked: one folder is one library and one layer, and a file
# includes only its own folder and the layers below it. Run by "./corvane.sh test"
# before the tests; prints every include that reaches sideways or upward and fails.
set -euo pipefail
cd "$(dirname "$0")/.."

# Layer of each folder, from the ground up (docs/ARCHITECTURE.md says what each holds).
# Folders of one rank are peers: they do not include each other.
declare -A RANK=(
  [base]=1 [media]=2 [text]=3 [core]=4 [playback]=5 [render]=6 [output]=7
  [script]=8 [remote]=8 [plugin]=8 [control]=8
  [app]=9 [ui]=10 [tools]=10
  [tests]=11 [bench]=12 [fuzz]=12
)

status=0
fail() { echo "layers: $*" >&2; status=1; }

while IFS= read -r file; do
  folder=${file%%/*}
  if [ -z "${RANK[$folder]+x}" ]; then
    fail "$file: folder '$folder' is not a layer (add it to scripts/check-layers.sh and docs/ARCHITECTURE.md)"
    continue
  fi
  rank=${RANK[$folder]}
  while IFS=: read -r line target; do
    [ -n "$target" ] || continue
    to=${target%%/*}
    [ "$to" = "$target" ] && { fail "$file:$line: includes \"$target\" without its folder"; continue; }
    [ "$to" = "$folder" ] && continue
    if [ -z "${RANK[$to]+x}" ]; then
      fail "$file:$line: includes \"$target\" from '$to', which is not a layer"
    elif [ "${RANK[$to]}" -ge "$rank" ]; then
      fail "$file:$line: includes \"$target\": $to (layer ${RANK[$to]}) is not below $folder (layer $rank)"
    fi
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
             sed -E 's/^([0-9]+):[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1:\2/')
done < <(git ls-files --cached --others --exclude-standard -- '*.h' '*.hpp' '*.cpp' '*.cc' | grep '/')

# A library builds only the files of its own folder.
while IFS= read -r list; do
  if grep -nE '(^|[[:space:](])\.\./' "$list" >/dev/null; then
    fail "$list: names a file of another folder: $(grep -nE '(^|[[:space:](])\.\./' "$list" | head -n 1)"
  fi
done < <(git ls-files --cached --others --exclude-standard -- '*/CMakeLists.txt')

[ $status -eq 0 ] && echo "layers: every include goes down"
exit $status
