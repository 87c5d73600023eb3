#!/usr/bin/env bash
# Every translation is finished and current: it holds no unfinished, vanished or
# obsolete message, and lupdate run over the window's sources leaves it unchanged (a
# text added, changed or removed in the sources shows here).
# Usage: check_ts.sh LUPDATE SOURCE_DIR TS_FILE...
set -euo pipefail
lupdate=$1
src=$2
shift 2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
status=0
for ts in "$@"; do
  name=$(basename "$ts")
  if grep -n -E 'type="(unfinished|vanished|obsolete)"' "$ts"; then
    echo "$name: the messages above have no current translation" >&2
    status=1
  fi
  cp "$ts" "$tmp/$name"
  # The options of the build's lupdate target (src/CMakeLists.txt).
  "$lupdate" -silent -locations none -no-obsolete -I "$src" "$src/gui" -ts "$tmp/$name" 2>/dev/null
  if ! diff -u "$ts" "$tmp/$name"; then
    echo "$name: out of date with the sources; run lupdate and translate the new messages" >&2
    status=1
  fi
done
exit $status
