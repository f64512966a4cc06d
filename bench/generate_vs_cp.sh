#!/usr/bin/env bash
# The command line end to end: `tweenwright generate` of the 10-minute block
# (30 frames per second, all 105 registers moving, about 120 MB) as a process,
# beside `cp` of the same file, the limit of writing those bytes. generate
# puts its record on the disk before it reports (fdatasync), so `cp` is also
# timed followed by `sync --data` of the copy. Prints the median of each over
# the rounds and checks that every run wrote the same bytes. Then `tweenwright
# load-last` of that file (its one block is the last) beside `cat` of the file
# to /dev/null, both from the page cache, every run's printed document
# compared with the first; and beside `wc -l` of the file, the system's own
# reading that finds every line end and does nothing else with the lines;
# and beside bench_line_ends (built with the benchmarks), the floor under
# any load: the file read backwards in windows, its line ends counted in one
# pass over the bytes, its count checked against wc's.
#   bench/generate_vs_cp.sh BUILD_DIR [ROUNDS] [FOLDER]
set -euo pipefail
program=${1:?usage: generate_vs_cp.sh BUILD_DIR [ROUNDS] [FOLDER]}/tweenwright
floor=$1/bench/bench_line_ends
[[ -x $floor ]] || { echo "no $floor: configure with -DTW_BUILD_BENCHMARKS=ON and build it" >&2; exit 1; }
rounds=${2:-7}
work=$(mktemp -d "${3:-${TMPDIR:-/tmp}}/tw-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The document: every register from r/100 to 1 - 0.013 r over 600 s at 30 fps,
# the bench header of the generation benchmark.
column() {  # awk expression of r
  awk -v n=105 "BEGIN { printf \"[\"; for (r = 0; r < n; ++r) printf \"%s\\\"%.15g\\\"\", r ? \",\" : \"\", $1; printf \"]\" }"
}
cat >"$work/doc.json" <<JSON
{"fileHeader": "\\\\load [file= [bench.htr]]", "startTime": "0", "dKeyframe": "600",
 "framesPSec": "30", "acceleration": "0",
 "initial": $(column 'r * 0.01'),
 "final": $(column '1 - r * 0.013')}
JSON

now() { date +%s%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ms() { awk -v ns="$1" 'BEGIN { printf "%.1f ms", ns / 1e6 }'; }

"$program" generate "$work/doc.json" --append "$work/reference.hap" >/dev/null
bytes=$(stat -c %s "$work/reference.hap")
: >"$work/generate.ns"; : >"$work/cp.ns"; : >"$work/cpsync.ns"; : >"$work/load.ns"; : >"$work/cat.ns"; : >"$work/wc.ns"; : >"$work/floor.ns"
"$program" load-last "$work/reference.hap" >"$work/reference.json"
# Each write starts on a quiet disk: a sync (not timed) first lets the writes
# and the freeing of blocks left by the side before finish, which would
# otherwise fall on whichever side comes next.
for ((i = 0; i < rounds; ++i)); do
  rm -f "$work/out.hap" "$work/copy.hap"
  sync
  start=$(now)
  "$program" generate "$work/doc.json" --append "$work/out.hap" >/dev/null
  echo $(($(now) - start)) >>"$work/generate.ns"
  cmp -s "$work/out.hap" "$work/reference.hap" || { echo "round $i wrote different bytes" >&2; exit 1; }
  rm -f "$work/out.hap"
  sync

  start=$(now)
  cp "$work/reference.hap" "$work/copy.hap"
  echo $(($(now) - start)) >>"$work/cp.ns"
  rm -f "$work/copy.hap"
  sync

  start=$(now)
  cp "$work/reference.hap" "$work/copy.hap"
  sync --data "$work/copy.hap"
  echo $(($(now) - start)) >>"$work/cpsync.ns"
  cmp -s "$work/copy.hap" "$work/reference.hap" || { echo "the copy differs" >&2; exit 1; }
  rm -f "$work/copy.hap"
  sync

  start=$(now)
  "$program" load-last "$work/reference.hap" >"$work/loaded.json"
  echo $(($(now) - start)) >>"$work/load.ns"
  cmp -s "$work/loaded.json" "$work/reference.json" || { echo "round $i loaded a different document" >&2; exit 1; }

  start=$(now)
  cat "$work/reference.hap" >/dev/null
  echo $(($(now) - start)) >>"$work/cat.ns"

  start=$(now)
  lines=$(wc -l <"$work/reference.hap")
  echo $(($(now) - start)) >>"$work/wc.ns"

  start=$(now)
  counted=$("$floor" "$work/reference.hap")
  echo $(($(now) - start)) >>"$work/floor.ns"
  [[ $counted == "$lines" ]] || { echo "round $i: bench_line_ends counted $counted line ends, wc $lines" >&2; exit 1; }
done

gen=$(median <"$work/generate.ns") cp=$(median <"$work/cp.ns") cpsync=$(median <"$work/cpsync.ns")
load=$(median <"$work/load.ns") cat=$(median <"$work/cat.ns") wc=$(median <"$work/wc.ns") floor=$(median <"$work/floor.ns")
echo "10-minute block: $bytes bytes, $rounds rounds, medians (in $work's file system)"
echo "  tweenwright generate --append : $(ms "$gen")  ($(awk -v b="$bytes" -v ns="$gen" 'BEGIN { printf "%.0f", b / ns * 1e3 }') MB/s)"
echo "  cp                            : $(ms "$cp")  ratio generate/cp $(awk -v a="$gen" -v b="$cp" 'BEGIN { printf "%.2f", a / b }')"
echo "  cp + sync --data              : $(ms "$cpsync")  ratio generate/(cp+sync) $(awk -v a="$gen" -v b="$cpsync" 'BEGIN { printf "%.2f", a / b }')"
echo "  tweenwright load-last         : $(ms "$load")"
echo "  cat FILE > /dev/null          : $(ms "$cat")  ratio load-last/cat $(awk -v a="$load" -v b="$cat" 'BEGIN { printf "%.2f", a / b }')"
echo "  wc -l FILE                    : $(ms "$wc")  ratio load-last/wc $(awk -v a="$load" -v b="$wc" 'BEGIN { printf "%.2f", a / b }')"
echo "  bench_line_ends FILE          : $(ms "$floor")  ratio load-last/floor $(awk -v a="$load" -v b="$floor" 'BEGIN { printf "%.2f", a / b }'), floor/cat $(awk -v a="$floor" -v b="$cat" 'BEGIN { printf "%.2f", a / b }')"
