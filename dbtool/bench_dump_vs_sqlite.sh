#!/usr/bin/env bash
# Dumps and loads the same 1,000,000-row table with qm_dbtool and with the sqlite3 shell, in
# one run, and prints their CPU times and the ratios. Usage:
#   dbtool/bench_dump_vs_sqlite.sh BUILD_DIR [ROWS]
# Needs the sqlite3 package (apt-get install sqlite3). Build qm_dbtool as Release first.
set -euo pipefail
build=${1:?usage: $0 BUILD_DIR [ROWS]}
rows=${2:-1000000}
tool=$build/dbtool/qm_dbtool
command -v sqlite3 >/dev/null || { echo "sqlite3 is not installed (apt-get install sqlite3)"; exit 1; }
[ -x "$tool" ] || { echo "no $tool: build the qm_dbtool target first"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The same rows for both: an id, a name of up to 23 characters and a weight.
{
  echo "description Benchmark"
  echo "table 1 Part"
  echo "column id int"
  echo "column name text 24"
  echo "column weight double"
  awk -v n="$rows" 'BEGIN { for (i = 1; i <= n; i++) printf "row %d part%d %.3f\n", i, i, i / 7 }'
} > "$work/desc.txt"
awk -v n="$rows" 'BEGIN { for (i = 1; i <= n; i++) printf "%d,part%d,%.3f\n", i, i, i / 7 }' > "$work/rows.csv"

"$tool" create "$work/parts.db" "$work/desc.txt"
sqlite3 "$work/parts.sqlite" <<SQL
CREATE TABLE Part (id INTEGER PRIMARY KEY, name TEXT, weight REAL);
.mode csv
.import $work/rows.csv Part
SQL

# Best of three CPU times (user + system) of a command, in seconds: on a shared machine CPU
# time is what the command itself costs, whatever else runs.
best() {
  local best_time=""
  for _ in 1 2 3; do
    local t
    t=$( { TIMEFORMAT='%3U %3S'; time "$@" > /dev/null; } 2>&1 | tail -1 | awk '{ print $1 + $2 }')
    if [ -z "$best_time" ] || [ "$(echo "$t < $best_time" | bc -l)" = 1 ]; then best_time=$t; fi
  done
  echo "$best_time"
}

ours_dump=$(best "$tool" dump "$work/parts.db" --max-rows -1 -o /dev/null)
their_dump=$(best sqlite3 "$work/parts.sqlite" .dump)
ours_load=$(best "$tool" info "$work/parts.db")
their_load=$(best sqlite3 :memory: ".restore '$work/parts.sqlite'" "SELECT count(*) FROM Part;")

printf "rows: %d\n" "$rows"
printf "dump: qm_dbtool %.3f s, sqlite3 .dump %.3f s, ratio %.2fx\n" "$ours_dump" "$their_dump" \
  "$(echo "$their_dump / $ours_dump" | bc -l)"
printf "load: qm_dbtool %.3f s, sqlite3 into memory %.3f s, ratio %.2fx\n" "$ours_load" "$their_load" \
  "$(echo "$their_load / $ours_load" | bc -l)"
