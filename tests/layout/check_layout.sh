#!/usr/bin/env bash
# Checks that each library includes only what the layout lets it use (CONTRIBUTING.md):
# every quoted include is matched to the tracked file it names, and the folder of that file
# must be one the including folder may use. Qt's GUI headers are checked for the libraries
# that must build with Qt Core alone.
set -u
cd "${1:-$(dirname "$0")/../..}" || exit 2

mapfile -t tracked < <(git ls-files -- '*.h' '*.cpp')
[ ${#tracked[@]} -gt 0 ] || { echo "no tracked files: not a checkout?"; exit 2; }

# The folder a quoted include names: the tracked file whose path ends with it.
resolve() {
  local name=$1 f
  for f in "${tracked[@]}"; do
    case "$f" in */"$name" | "$name") echo "${f%/*}"; return ;; esac
  done
}

# What a source folder may include, as path prefixes; the folder itself is always allowed.
allowed() {
  case "$1" in
    app/linkrules*) echo "app/linkrules" ;;
    app/engine) echo "app/linkrules platform/transfer" ;;
    app/enginebrowser) echo "app/engine app/linkrules platform/" ;;
    app/cli) echo "app/enginebrowser app/engine app/linkrules platform/" ;;
    app/mainwindow) echo "app/enginebrowser app/engine app/linkrules platform/ folderpick/ids" ;;
    app/shell* | app) echo "app/ platform/ folderpick/ids" ;;
    platform/*) echo "platform/" ;;
    folderpick*) echo "folderpick platform/" ;;
    *) echo "" ;;
  esac
}

qt_core_only='app/linkrules app/engine app/cli'

faults=0 checked=0
for file in "${tracked[@]}"; do
  case "$file" in tests/* | bench/* | fuzz/*) continue ;; esac
  folder=${file%/*}
  rules=$(allowed "$folder")
  while IFS= read -r include; do
    target=$(resolve "$include")
    [ -n "$target" ] || continue # a system or generated header
    checked=$((checked + 1))
    ok=0
    [[ "$target" == "$folder" || "$target" == "$folder"/* ]] && ok=1
    for prefix in $rules; do
      [[ "$target" == "$prefix"* ]] && ok=1
    done
    if [ $ok -eq 0 ]; then
      echo "$file includes \"$include\" from $target, which $folder may not use"
      faults=$((faults + 1))
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
  for core in $qt_core_only; do
    [ "$folder" = "$core" ] || continue
    [ "$core" = app/cli ] && [[ "$file" == app/cli/unattended* ]] && continue
    if grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<(QtWidgets|QtGui|QtWebEngine|QtNetwork|QWidget|QApplication|QWebEngine|QNetwork|QPainter|QPixmap|QImage)' "$file"; then
      echo "$file: $folder builds with Qt Core alone"
      faults=$((faults + 1))
    fi
  done
done

# A folder of app/ is one library (a program may sit beside it): two would share the folder's
# include rules while depending on different things.
while IFS= read -r cmake; do
  libraries=$(grep -cE '^[[:space:]]*add_library\(' "$cmake")
  if [ "$libraries" -gt 1 ]; then
    echo "${cmake%/*} builds $libraries libraries: one folder, one library"
    faults=$((faults + 1))
  fi
done < <(git ls-files -- 'app/*CMakeLists.txt')

echo "$checked includes checked, $faults out of place"
[ "$checked" -gt 0 ] && [ "$faults" -eq 0 ]
