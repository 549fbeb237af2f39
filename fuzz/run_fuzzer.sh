#!/bin/sh
# Runs one libFuzzer target for a bounded time on a fresh copy of its checked-in seed
# corpus, so the checked-in files never change. Fails (non-zero) on a crash, a leak, a
# hang longer than the per-input time-out, or memory above the limit; the input that did
# it is left in <work>/artifacts/.
# Usage: run_fuzzer.sh <fuzzer binary> <seed corpus dir> <work dir> <seconds> <timeout s> <rss MiB>
set -eu
fuzzer=$1 seeds=$2 work=$3 seconds=$4 timeout=$5 rss=$6

rm -rf "$work/corpus"
mkdir -p "$work/corpus" "$work/artifacts"
if [ -d "$seeds" ]; then
  cp "$seeds"/* "$work/corpus/" 2>/dev/null || true
fi
exec "$fuzzer" -max_total_time="$seconds" -timeout="$timeout" -rss_limit_mb="$rss" \
  -malloc_limit_mb="$rss" -print_final_stats=1 -detect_leaks=1 \
  -artifact_prefix="$work/artifacts/" "$work/corpus"
