#!/usr/bin/env bash
# kestal-export is safe to run many at once: eight exports at a time write into one
# folder, and eight frame sequences create one new folder together. Every file must be
# byte for byte what the same command writes when it runs alone, and no temporary
# file may be left behind.
# Usage: parallel_exports.sh KESTAL_EXPORT PHOTO
set -euo pipefail
exporter=$1 photo=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A small copy of the photo keeps the test quick; eight names for eight sequences.
convert "$photo" -resize 160x "$work/lake.png"
for i in 1 2 3 4 5 6 7 8; do cp "$work/lake.png" "$work/photo$i.png"; done

# One job a line: options and output name; {dir} is the run's output folder.
jobs() {
  cat <<JOBS
-n 4 $work/lake.png {dir}/plain.gif
-n 3 -c 16 -r $work/lake.png {dir}/reflection.gif
--html -s fast $work/lake.png {dir}/page.gif
-m regular -w long $work/lake.png {dir}/regular.gif
-n 3 $work/lake.png {dir}/clip.avi
-R 3 -s slow -r $work/lake.png {dir}/repeat.avi
-f jpg -n 2 $work/lake.png {dir}/
-n 2 -p 50 $work/lake.png {dir}/frames/
JOBS
  for i in 1 2 3 4 5 6 7 8; do echo "-n 2 $work/photo$i.png {dir}/new/"; done
}

run() {  # run FOLDER PARALLELISM
  mkdir -p "$1"
  jobs | sed "s|{dir}|$1|g" | xargs -P "$2" -L 1 "$exporter" -q >/dev/null
}

run "$work/alone" 1
run "$work/together" 8

( cd "$work/alone" && find . -type f | sort ) >"$work/alone.list"
( cd "$work/together" && find . -type f | sort ) >"$work/together.list"
diff -u "$work/alone.list" "$work/together.list"
count=$(wc -l <"$work/alone.list")
# 4 GIFs, 1 page, 2 AVIs, 2 JPG and 2 BMP frames, 8 sequences of 2 frames.
(( count == 27 )) || { echo "expected 27 files, found $count"; cat "$work/alone.list"; exit 1; }
if grep -q '\.part' "$work/together.list"; then echo "temporary files left behind"; exit 1; fi
while read -r f; do
  # The test page names the files by their full paths, which differ between the runs.
  [[ $f == *.htm ]] && continue
  cmp "$work/alone/$f" "$work/together/$f"
done <"$work/alone.list"
echo "$count files written by 16 exports, 8 at a time, identical to the exports run alone"
