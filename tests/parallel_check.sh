#!/bin/sh
# parallel_check.sh QUILLET_CLI: the README's recipe for many pictures on
# many machines, run with GNU parallel on this one, gives what --jobs gives.
set -eu
cli=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/in" "$dir/jobs" "$dir/parallel"
for i in 1 2 3 4 5 6 7 8; do
  convert -size $((60 + i * 7))x$((40 + i * 5)) plasma:fractal -seed "$i" "$dir/in/p$i.png"
done
"$cli" --quiet --jobs 2 --width 50% --palette optimized --output-dir "$dir/jobs" --format png "$dir"/in/*.png
# The recipe: one picture per job, each a pure function of its file and options.
parallel --will-cite --halt now,fail=1 \
  "$cli" --quiet --width 50% --palette optimized {} "$dir/parallel/{/.}.png" ::: "$dir"/in/*.png
for f in "$dir"/jobs/*.png; do
  cmp "$f" "$dir/parallel/$(basename "$f")" || { echo "FAIL: $(basename "$f") differs"; exit 1; }
done
[ "$(ls "$dir/parallel" | wc -l)" -eq 8 ] || { echo "FAIL: not every picture was made"; exit 1; }
echo "8 pictures equal"
