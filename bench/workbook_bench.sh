#!/usr/bin/env bash
# Times Tabrix writing one generated dBase III table to XLSX and to XLS (the
# XLS in continuation files of 65,534 records), next to libxlsxwriter in its
# constant-memory mode writing the same cells to XLSX (bench/xlsxwriter_peer.c),
# at a quarter of the records and at all of them, so that the growth of peak
# memory shows.
#
#   BENCH_BUILD_DIR=build-release bench/workbook_bench.sh [RECORDS]
#
# See bench/README.md, "Workbooks". Installs nothing; a missing peer is named
# and left out.
set -euo pipefail

die() {
  echo "workbook_bench: $*" >&2
  exit 1
}

root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$(cd "${BENCH_BUILD_DIR:-$root/build}" && pwd) || die "no build folder ${BENCH_BUILD_DIR:-$root/build}"
records=${1:-${BENCH_RECORDS:-1000000}}
[[ $records =~ ^[1-9][0-9]*$ ]] && ((records >= 4)) || die "RECORDS must be a whole number of at least 4, not '$records'"

tabrix=$build_dir/tabrix
make_table=$build_dir/bench/bench_make_table
peer=$build_dir/bench/xlsxwriter_peer
for tool in "$tabrix" "$make_table"; do
  [[ -x $tool ]] || die "$tool is missing; build it with
  cmake -S $root -B $build_dir -G Ninja -DCMAKE_BUILD_TYPE=Release && ninja -C $build_dir tabrix bench_make_table xlsxwriter_peer"
done
[[ -x /usr/bin/time ]] || die "/usr/bin/time is missing (Debian package 'time'); it measures peak memory"
if [[ ! -x $peer ]]; then
  echo "note: $peer is missing (built when pkg-config finds xlsxwriter: Debian package libxlsxwriter-dev); left out"
  peer=''
fi

cache=${TMPDIR:-/tmp}/tabrix-peerbench
mkdir -p "$cache"
# Outputs go to memory when it is there, so the disk's speed is left out.
base=/dev/shm
[[ -d $base && -w $base ]] || base=${TMPDIR:-/tmp}
work=$(mktemp -d "$base/tabrix-workbooks.XXXXXX")
trap 'rm -rf "$work"' EXIT
# A run's switches are saved as the next run's defaults: keep them apart from the user's.
export TABRIX_SETTINGS=$work/settings.reg

table_of() {
  local path=$cache/dbase3-$1.dbf
  if [[ ! -f $path || $path -ot $make_table ]]; then
    echo "Generating $1 records into $path" >&2
    "$make_table" "$1" dbase3 "$path.part" >&2 || die "bench_make_table failed for $1 records"
    mv "$path.part" "$path"
  fi
  echo "$path"
}

# Runs one job under /usr/bin/time: prints seconds, peak MB and the MB written.
measure() {
  local label=$1
  shift
  rm -rf "$work/out" && mkdir "$work/out"
  local start end
  start=$EPOCHREALTIME
  (cd "$work/out" && /usr/bin/time -v -o "$work/time.txt" "$@" >"$work/stdout.txt" 2>"$work/stderr.txt") ||
    { tail -n 5 "$work/stderr.txt" >&2; die "$label failed"; }
  end=$EPOCHREALTIME
  local kb files bytes
  kb=$(sed -n 's/^[[:space:]]*Maximum resident set size (kbytes): //p' "$work/time.txt")
  files=$(find "$work/out" -type f | wc -l)
  bytes=$(du -sb "$work/out" | cut -f1)
  awk -v l="$label" -v a="$start" -v b="$end" -v kb="$kb" -v f="$files" -v by="$bytes" \
    'BEGIN { printf "%-22s %9.2f %9.1f %6d %9.1f\n", l, b - a, kb / 1024, f, by / 1e6 }'
}

echo "Outputs under $work; seconds are wall clock with the table in the page cache."
printf '%-22s %9s %9s %6s %9s\n' job seconds "peak MB" files "MB out"
for n in $((records / 4)) "$records"; do
  table=$(table_of "$n")
  cat "$table" >/dev/null
  # /EXPORTALL: the deleted records too, as the peer writes every record.
  measure "tabrix xlsx $n" "$tabrix" "$table" out.xlsx /EXPORTALL
  measure "tabrix xls $n" "$tabrix" "$table" out.xls /EXPORTALL
  [[ -z $peer ]] || measure "libxlsxwriter $n" "$peer" "$table" out.xlsx
done
