#!/bin/sh
# bench_line_ends counts the line ends wc -l counts, on a file of many
# windows: the lowest only 3 bytes, all line ends, and a line end on each side
# of two edges between the others.
#   line_ends_test.sh BENCH_LINE_ENDS
set -eu
tool=$1
file=$(mktemp)
trap 'rm -f "$file"' EXIT
printf '\n\n\n' >"$file"
head -c 3145728 /dev/urandom >>"$file"
# The windows are read from the file's end (3145731 bytes), 262144 at a time.
for edge in 1048579 2097155; do
  printf '\n\n' | dd of="$file" bs=1 seek=$((edge - 1)) conv=notrunc status=none
done
test "$("$tool" "$file")" = "$(wc -l <"$file")"
