#!/usr/bin/env bash
# Durable id allocation against Redis in one run: qm_server's id mix (the file is committed
# before each reply) and redis-benchmark's INCR on a redis-server with appendfsync always
# (the log is flushed before each reply), for 1, 16 and 64 connections, REPEATS times back to
# back; prints the medians and the median of the per-pair ratios. Both keep their files in
# the same temporary folder. Skipped (exit 0) when redis-server or redis-benchmark is absent
# (`apt-get install redis-server`).
# Usage: client/bench_durable.sh BUILD_DIR [SECONDS] [REPEATS]
set -euo pipefail
build=$(cd "${1:?usage: bench_durable.sh BUILD_DIR [SECONDS] [REPEATS]}" && pwd)
seconds=${2:-3}
repeats=${3:-3}
if ! command -v redis-server >/dev/null || ! command -v redis-benchmark >/dev/null; then
  echo "bench_durable: redis-server not installed, skipped"; exit 0
fi
bench="$build/client/qm_bench"
work=$(mktemp -d "${TMPDIR:-/tmp}/qm_durable_XXXXXX")
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
port=$(free_port); rport=$(free_port)
(cd "$work" && exec "$build/server/qm_server" localhost "$port" >/dev/null 2>server.err) &
server=$!
redis-server --port "$rport" --bind 127.0.0.1 --dir "$work" --appendonly yes \
  --appendfsync always --save '' --daemonize no >"$work/redis.log" 2>&1 &
redis=$!
trap 'kill $server $redis 2>/dev/null; wait $server $redis 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do grep -q "Server started" "$work/server.err" 2>/dev/null && break; sleep 0.1; done
for _ in $(seq 50); do redis-cli -p "$rport" ping >/dev/null 2>&1 && break; sleep 0.1; done
field() { sed -n "s/.*\"$1\":\([0-9.]*\).*/\1/p"; }
median() { sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
printf "%5s %12s %12s %6s\n" conns qm_rps redis_rps ratio
for conns in 1 16 64; do
  rows=""
  for _ in $(seq "$repeats"); do
    q=$(field requests_per_second <<<"$("$bench" --server "tcpip:localhost,$port" \
          --connections "$conns" --mix id --duration "$seconds" --json)")
    # As many requests as qm_bench answered in its time, so both run about as long.
    n=$(awk -v r="$q" -v s="$seconds" 'BEGIN {n = int(r * s); print (n < 1000) ? 1000 : n}')
    r=$(redis-benchmark -p "$rport" -t incr -c "$conns" -n "$n" -q 2>/dev/null |
          sed -n 's/.*INCR: \([0-9.]*\) requests per second.*/\1/p' | tail -1)
    rows+="$q $r $(echo "$q / $r" | bc -l)"$'\n'
  done
  col() { awk -v c="$1" 'NF {print $c}' <<<"$rows" | median; }
  printf "%5d %12.0f %12.0f %6.2f\n" "$conns" "$(col 1)" "$(col 2)" "$(col 3)"
done
