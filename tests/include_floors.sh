#!/usr/bin/env bash
# Checks every #include "folder/..." in src/ against the floors: document is the
# ground; generation, reading and figure stand on it and not on each other;
# windows stands on all of them, cli (the command line) on generation and
# reading; main.cpp on windows and cli. The core sees no Qt.
# Prints each include that breaks the rule and fails if there is one.
set -euo pipefail
src=${1:?usage: include_floors.sh SRC_DIR}

declare -A allowed=(
  [document]="document"
  [generation]="document generation"
  [reading]="document reading"
  [figure]="document figure"
  [windows]="document generation reading figure windows"
  [cli]="document generation reading cli"
  [main]="windows cli"
)

bad=0
check() {  # file, its floor
  local file=$1 floor=$2 line target
  while IFS= read -r line; do
    if [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([a-z]+)/ ]]; then
      target=${BASH_REMATCH[1]}
      if [[ " ${allowed[$floor]} " != *" $target "* ]]; then
        echo "$file: $floor may not include $target: $line"
        bad=1
      fi
    elif [[ $floor != windows && $floor != main && $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<Q ]]; then
      echo "$file: the core includes Qt: $line"
      bad=1
    fi
  done < "$file"
}

for dir in "$src"/*/; do
  floor=$(basename "$dir")
  if [[ -z ${allowed[$floor]+set} ]]; then
    echo "$dir: a folder with no floor in the table"
    bad=1
    continue
  fi
  for file in "$dir"*; do check "$file" "$floor"; done
done
check "$src/main.cpp" main
exit $bad
