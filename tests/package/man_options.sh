#!/usr/bin/env bash
# Every option that `kestal-export --help` lists must be described in its manual page,
# so that a new option cannot be added to one and forgotten in the other.
# Usage: man_options.sh KESTAL_EXPORT MANUAL_PAGE
set -euo pipefail
exporter=$1 page=$2

options=$("$exporter" --help | grep -oE '(^|[ ,[(])--?[A-Za-z][A-Za-z-]*' | sed 's/^[ ,[(]//' | sort -u)
[[ -n "$options" ]] || { echo "no options found in $exporter --help"; exit 1; }
# The page as a reader sees it: roff escapes such as \- rendered, no overstrike.
text=$(LC_ALL=C MANWIDTH=200 man -l "$page" 2>/dev/null | col -b)

missing=0
for option in $options; do
  if ! grep -qE -- "(^|[^A-Za-z-])$option([^A-Za-z-]|$)" <<<"$text"; then
    echo "$page: does not describe $option, which kestal-export --help lists"
    missing=1
  fi
done
(( missing == 0 )) && echo "$(wc -w <<<"$options") options of kestal-export --help are all in $page"
exit $missing
