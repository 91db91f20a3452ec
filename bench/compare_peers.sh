#!/usr/bin/env bash
# Times Tabrix against other DBF-to-text converters on one generated dBase III
# table, then checks that Tabrix's peak memory stays flat as the table grows.
#
#   BENCH_BUILD_DIR=build-release bench/compare_peers.sh [RECORDS]
#
# See bench/README.md, "Comparing with other tools". Installs nothing: peers
# that are missing are named and left out.
set -euo pipefail

die() {
  echo "compare_peers: $*" >&2
  exit 1
}

root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${BENCH_BUILD_DIR:-$root/build}
records=${1:-${BENCH_RECORDS:-1000000}}
runs=${BENCH_RUNS:-3}
[[ $records =~ ^[1-9][0-9]*$ ]] || die "RECORDS must be a positive whole number, not '$records'"
[[ $runs =~ ^[1-9][0-9]*$ ]] || die "BENCH_RUNS must be a positive whole number, not '$runs'"
((records >= 4)) || die "RECORDS must be at least 4 (the growth check uses a quarter of it)"

tabrix=$build_dir/tabrix
make_table=$build_dir/bench/bench_make_table
for tool in "$tabrix" "$make_table"; do
  [[ -x $tool ]] || die "$tool is missing; build it with
  cmake -S $root -B $build_dir -G Ninja -DCMAKE_BUILD_TYPE=Release && ninja -C $build_dir tabrix bench_make_table
(bench_make_table needs libbenchmark-dev), or name another build folder in BENCH_BUILD_DIR"
done
[[ -x /usr/bin/time ]] || die "/usr/bin/time is missing (Debian package 'time'); it measures peak memory"
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build_dir/CMakeCache.txt" 2>/dev/null || true)
[[ $build_type == Release ]] || echo "warning: $build_dir is a '${build_type:-default}' build; measure Release builds"

cache=${TMPDIR:-/tmp}/tabrix-peerbench
mkdir -p "$cache"
work=$(mktemp -d "${TMPDIR:-/tmp}/tabrix-peerbench-run.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The dbfread peer: the loop a Python user would write, with dbfread's own
# value conversion and the csv module's quoting.
cat >"$work/dbfread_to_csv.py" <<'EOF'
import csv
import sys

from dbfread import DBF

table = DBF(sys.argv[1])
with open(sys.argv[2], "w", newline="", encoding="utf-8") as out:
    writer = csv.writer(out)
    writer.writerow(table.field_names)
    for record in table:
        writer.writerow(record.values())
EOF

# Peers, in the order of the table; each found one gets its version noted.
peers=()
declare -A version
echo "Peers:"
if command -v pgdbf >/dev/null; then
  peers+=(pgdbf)
  version[pgdbf]=$(pgdbf -h 2>&1 | sed -n 's/^\(PgDBF [0-9.]*\).*/\1/p' | head -n 1 || true)
  echo "  pgdbf     ${version[pgdbf]:-found}"
else
  echo "  pgdbf     missing (Debian package pgdbf)"
fi
if command -v ogr2ogr >/dev/null; then
  peers+=(ogr2ogr)
  version[ogr2ogr]=$(ogr2ogr --version 2>/dev/null | cut -d, -f1 || true)
  echo "  ogr2ogr   ${version[ogr2ogr]:-found}"
else
  echo "  ogr2ogr   missing (Debian package gdal-bin)"
fi
if [[ -x /usr/bin/python3 ]] && /usr/bin/python3 -c 'import dbfread' 2>/dev/null; then
  peers+=(dbfread)
  version[dbfread]=$(/usr/bin/python3 -c 'import dbfread, sys; print("dbfread", dbfread.__version__, "on Python", sys.version.split()[0])')
  echo "  dbfread   ${version[dbfread]}"
else
  echo "  dbfread   missing (Debian packages python3 and python3-dbfread, run by /usr/bin/python3)"
fi

# Prints the path of a cached table of $1 records, generating it when it is
# missing or older than the generator. Written aside and renamed, so an
# interrupted run never leaves a short table to reuse.
table_of() {
  local path=$cache/dbase3-$1.dbf
  if [[ ! -f $path || $path -ot $make_table ]]; then
    echo "Generating $1 records into $path" >&2
    "$make_table" "$1" dbase3 "$path.part" >&2 || die "bench_make_table failed for $1 records"
    mv "$path.part" "$path"
  fi
  echo "$path"
}

# Runs tool $1 on table $2 once, writing into $work/out.$1, under /usr/bin/time.
# Sets seconds (wall clock) and rss_kb; returns the tool's exit status.
run_once() {
  local tool=$1 table=$2 out=$work/out.$1 status=0 start end
  local -a argv
  case $tool in
    tabrix) argv=("$tabrix" "$table" "$out.csv" /HDR) ;;
    # pgdbf has no CSV form: -C -D -T drop the CREATE, DROP and transaction
    # statements, leaving its COPY text: one tab-separated line per record.
    pgdbf) argv=(pgdbf -C -D -T -P "$table") ;;
    ogr2ogr) argv=(ogr2ogr -f CSV "$out.csv" "$table") ;;
    dbfread) argv=(/usr/bin/python3 "$work/dbfread_to_csv.py" "$table" "$out.csv") ;;
  esac
  rm -f "$out" "$out.csv" "$work/time.txt"
  start=$EPOCHREALTIME
  /usr/bin/time -v -o "$work/time.txt" "${argv[@]}" >"$out" 2>"$work/stderr.txt" || status=$?
  end=$EPOCHREALTIME
  seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
  rss_kb=$(sed -n 's/^[[:space:]]*Maximum resident set size (kbytes): //p' "$work/time.txt")
  if [[ -f $out.csv ]]; then mv "$out.csv" "$out"; fi
  return "$status"
}

# Records written by tool $1 in its last output: lines less the names line,
# or less pgdbf's \COPY and \. lines. No generated value holds a line break.
rows_written() {
  local lines
  lines=$(awk 'END { print NR }' "$work/out.$1")
  if [[ $1 == pgdbf ]]; then echo $((lines - 2)); else echo $((lines - 1)); fi
}

declare -A secs peak rowcount

# Runs tool $2 once on table $3 and folds the result into the best time, the
# highest peak RSS and the record count kept under key $1. Returns 1 when the
# run fails.
record_run() {
  local key=$1 tool=$2 table=$3
  if ! run_once "$tool" "$table"; then
    echo "  $tool failed on $table:" >&2
    tail -n 5 "$work/stderr.txt" >&2
    return 1
  fi
  if [[ -z ${secs[$key]:-} ]] || awk -v s="$seconds" -v b="${secs[$key]}" 'BEGIN { exit !(s < b) }'; then
    secs[$key]=$seconds
  fi
  if ((rss_kb > ${peak[$key]:-0})); then peak[$key]=$rss_kb; fi
  if [[ -z ${rowcount[$key]:-} ]]; then rowcount[$key]=$(rows_written "$tool"); fi
  rm -f "$work/out.$tool"
}

table=$(table_of "$records")
table_mb=$(awk -v b="$(stat -c %s "$table")" 'BEGIN { printf "%.1f", b / 1e6 }')
echo
echo "Table: $table ($records records, $table_mb MB, dBase III, no memo)"
echo "Best of $runs runs, wall clock, table in the page cache; peak RSS is the highest of the runs."
cat "$table" >/dev/null

# Each round runs every tool once, so a burst of other load on the machine
# slows one run of each tool rather than every run of one tool.
active=(tabrix "${peers[@]}")
for ((round = 1; round <= runs; round++)); do
  still=()
  for tool in "${active[@]}"; do
    if record_run "$tool" "$tool" "$table"; then
      still+=("$tool")
    elif [[ $tool == tabrix ]]; then
      die "tabrix failed"
    else
      echo "  $tool is left out of the table" >&2
    fi
  done
  active=("${still[@]}")
done
done_peers=("${active[@]:1}")

echo
printf '%-9s %9s %9s %12s %10s %12s %10s\n' tool seconds MB/s records/s "peak MB" "Tabrix x" "rows out"
for tool in tabrix "${done_peers[@]}"; do
  awk -v t="$tool" -v s="${secs[$tool]}" -v mb="$table_mb" -v n="$records" -v kb="${peak[$tool]}" \
    -v ts="${secs[tabrix]}" -v rows="${rowcount[$tool]}" 'BEGIN {
      s = s > 0 ? s : 0.001
      ratio = t == "tabrix" ? "-" : sprintf("%.2f", s / (ts > 0 ? ts : 0.001))
      printf "%-9s %9.3f %9.1f %12.0f %10.1f %12s %10d\n", t, s, mb / s, n / s, kb / 1024, ratio, rows
    }'
done
for tool in "${done_peers[@]}"; do
  [[ ${rowcount[$tool]} == "${rowcount[tabrix]}" ]] ||
    echo "note: $tool wrote ${rowcount[$tool]} records, tabrix ${rowcount[tabrix]}; the runs did not do the same work"
done

echo
echo "Tabrix peak memory as the table grows:"
printf '%-9s %9s %9s %10s\n' records seconds MB/s "peak MB"
sizes=($((records / 4)) $((records / 2)) "$records")
for n in "${sizes[@]}"; do
  t=$(table_of "$n")
  cat "$t" >/dev/null
done
for ((round = 1; round <= runs; round++)); do
  for n in "${sizes[@]}"; do
    record_run "tabrix@$n" tabrix "$cache/dbase3-$n.dbf" || die "tabrix failed"
  done
done
smallest='' largest=0
for n in "${sizes[@]}"; do
  kb=${peak[tabrix@$n]}
  awk -v n="$n" -v s="${secs[tabrix@$n]}" -v b="$(stat -c %s "$cache/dbase3-$n.dbf")" -v kb="$kb" 'BEGIN {
    s = s > 0 ? s : 0.001
    printf "%-9d %9.3f %9.1f %10.1f\n", n, s, b / 1e6 / s, kb / 1024
  }'
  if [[ -z $smallest ]] || ((kb < smallest)); then smallest=$kb; fi
  if ((kb > largest)); then largest=$kb; fi
done

echo
echo "Targets:"
if [[ " ${done_peers[*]} " == *" pgdbf "* ]]; then
  awk -v p="${secs[pgdbf]}" -v t="${secs[tabrix]}" 'BEGIN {
    r = p / (t > 0 ? t : 0.001)
    printf "  throughput %.2f x pgdbf (target at least 3): %s\n", r, (r >= 3 ? "met" : "MISSED")
  }'
else
  echo "  throughput against pgdbf: not measured (pgdbf missing or failed)"
fi
awk -v kb="${peak[tabrix]}" 'BEGIN {
  printf "  peak memory %.1f MB (target under 32): %s\n", kb / 1024, (kb < 32 * 1024 ? "met" : "MISSED")
}'
# Flat: the largest table may cost at most 1 MB more than the smallest, the
# noise of the allocator and of the loader between runs.
awk -v lo="$smallest" -v hi="$largest" 'BEGIN {
  printf "  peak memory growth from a quarter of the table to all of it: %.1f MB (target flat, under 1 MB): %s\n",
    (hi - lo) / 1024, (hi - lo < 1024 ? "met" : "MISSED")
}'
