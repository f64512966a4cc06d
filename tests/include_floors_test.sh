#!/usr/bin/env bash
# The include test itself: on a copy of the floors' table it passes a tree
# that keeps the rules and fails each kind of break (a core floor including
# Qt, the render floor including a widget, a floor including one above it,
# two core floors including each other, the starting command including Qt, a
# folder the table lacks).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=${1:?usage: include_floors_test.sh SRC_DIR}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

tree() {  # a small tree on the real table: every floor with a file that keeps the rules
  rm -rf "$work/src"
  mkdir -p "$work/src"
  cp "$src/floors.txt" "$work/src/"
  while read -r floor kind below; do
    [[ -z $floor || $floor == \#* || $floor == main || $floor == launch ]] && continue
    mkdir -p "$work/src/$floor"
    printf '#include "%s/A.h"\n' "$floor" > "$work/src/$floor/A.cpp"
  done < "$src/floors.txt"
  printf '#include <QImage>\n#include "session/Player.h"\n' > "$work/src/render/B.cpp"
  printf '#include <QWidget>\n#include "render/B.h"\n' > "$work/src/windows/B.cpp"
  printf '#include "windows/MainForm.h"\n' > "$work/src/main.cpp"
  printf '#include "cli/CommandLine.h"\n' > "$work/src/launch.cpp"
}

expect() {  # pass|fail, what
  local want=$1 what=$2 got=pass
  bash "$here/include_floors.sh" "$work/src" > "$work/out" || got=fail
  if [[ $got != "$want" ]]; then
    echo "include_floors.sh should $want on: $what"
    cat "$work/out"
    exit 1
  fi
}

tree; expect pass "a tree that keeps the rules"
tree; echo '#include <QString>' >> "$work/src/session/A.cpp"; expect fail "a core floor including Qt"
tree; echo '#include <QWidget>' >> "$work/src/render/A.cpp"; expect fail "render including a widget"
tree; echo '#include <QtWidgets/QMenu>' >> "$work/src/render/A.cpp"; expect fail "render including Qt Widgets"
tree; echo '#include "windows/MainForm.h"' >> "$work/src/render/A.cpp"; expect fail "render including the windows"
tree; echo '#include "session/Player.h"' >> "$work/src/reading/A.cpp"; expect fail "reading including session"
tree; echo '#include "reading/FileBytes.h"' >> "$work/src/generation/A.cpp"; expect fail "generation including reading"
tree; echo '#include "windows/MainForm.h"' >> "$work/src/cli/A.cpp"; expect fail "the command line including the windows"
tree; echo '#include <QString>' >> "$work/src/launch.cpp"; expect fail "the command that starts the full program including Qt"
tree; mkdir "$work/src/stray"; echo '' > "$work/src/stray/A.cpp"; expect fail "a folder the table lacks"
echo "include_floors.sh: every rule caught"
