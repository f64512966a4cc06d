#!/usr/bin/env bash
# Checks every #include in src/ against the table of floors in src/floors.txt:
# a folder includes only itself and the floors its line names; a floor whose
# line allows no Qt includes no Qt header, and one allowed Qt Gui includes no
# widget. Prints each include that breaks the rule and fails if there is one.
set -euo pipefail
src=${1:?usage: include_floors.sh SRC_DIR}

declare -A allowed=() qt=()
while read -r floor kind below; do
  [[ -z $floor || $floor == \#* ]] && continue
  allowed[$floor]="$floor $below"
  qt[$floor]=$kind
done < "$src/floors.txt"

# Headers of Qt Widgets (and of the modules above it), which a Gui floor may not use.
widgets='^(QtWidgets|QtConcurrent|QtMultimediaWidgets)/|^Q(Widget|Application|Abstract(Button|ScrollArea|Slider|SpinBox|ItemView)|Action|Box|ButtonGroup|CheckBox|ComboBox|Dialog|DialogButtonBox|FileDialog|Frame|GraphicsView|GridLayout|GroupBox|HBoxLayout|VBoxLayout|Label|Layout|LineEdit|ListWidget|MainWindow|Menu|MenuBar|MessageBox|ProgressBar|PushButton|RadioButton|ScrollArea|ScrollBar|Slider|SpinBox|Splitter|StatusBar|Style|TabWidget|TextEdit|ToolButton|ToolTip|TreeWidget)$|^QtConcurrent'

bad=0
check() {  # file, its floor
  local file=$1 floor=$2 line target header
  while IFS= read -r line; do
    if [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([a-z]+)/ ]]; then
      target=${BASH_REMATCH[1]}
      if [[ " ${allowed[$floor]} " != *" $target "* ]]; then
        echo "$file: $floor may not include $target: $line"
        bad=1
      fi
    elif [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<(Q[^>]*)\> ]]; then
      header=${BASH_REMATCH[1]}
      if [[ ${qt[$floor]} == none ]]; then
        echo "$file: $floor may not include Qt: $line"
        bad=1
      elif [[ ${qt[$floor]} == gui && $header =~ $widgets ]]; then
        echo "$file: $floor may not include widgets: $line"
        bad=1
      fi
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
check "$src/launch.cpp" launch
exit $bad
