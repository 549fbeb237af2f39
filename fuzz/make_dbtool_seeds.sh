#!/usr/bin/env bash
# Writes the seed corpora of fuzz_database_loader and fuzz_dump_reader with qm_dbtool: small
# database files with and without domain, framed tables and events, and dump text blocks of
# the dump reader's table. Run by hand after a format change; the output is checked in.
# Usage: fuzz/make_dbtool_seeds.sh BUILD_DIR
set -euo pipefail
tool=${1:?usage: $0 BUILD_DIR}/dbtool/qm_dbtool
here=$(cd "$(dirname "$0")" && pwd)
loader=$here/corpus/fuzz_database_loader
reader=$here/corpus/fuzz_dump_reader
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$loader" "$reader"

cat > "$work/plain.txt" <<'DESC'
description Plain seed
table 3 FuzzDump framed
column id int
column ratio float
column weight double
column name text 12
column bytes bytes 6
row 1 0.5 1.25 Bolt 0001ff
row 2 -1 2.5 "Hex nut" ""
table 4 Other
column n int
row 7
DESC
cat > "$work/domain.txt" <<'DESC'
description Domain seed
domain
dbvids
event local Baseline
event company "Release 1"
table 5 Item
column id int
column father_id int
tag modelguidid father_id
row 1 0
row 2 1
DESC
"$tool" create "$work/plain.db" "$work/plain.txt"
"$tool" create "$work/domain.db" "$work/domain.txt"
cp "$work/plain.db" "$loader/plain"
cp "$work/domain.db" "$loader/domain"
"$tool" table-dump "$work/plain.db" FuzzDump -o "$work/block.txt"
tail -n +2 "$work/block.txt" > "$reader/written"
# The reader takes byte fields as Base64: one block in the form it reads back.
sed "s/bytes = '[0-9:]*'/bytes = 'AAH\/AAAA'/" "$reader/written" > "$reader/base64"
