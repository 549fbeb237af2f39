#!/usr/bin/env bash
# Measures qm_server against qm_bench's reference server in one run: for 1, 16 and 64
# connections, with the test-connection request and with lock/unlock, runs the server and the
# reference in turn REPEATS times and prints one line per case with the medians of both
# figures and of their per-pair ratios (a pair is measured back to back, so a change in the
# machine's load touches both sides of a ratio alike).
# Usage: client/bench_compare.sh BUILD_DIR [SECONDS] [REPEATS]
set -euo pipefail
build=$(cd "${1:?usage: bench_compare.sh BUILD_DIR [SECONDS] [REPEATS]}" && pwd)
seconds=${2:-3}
repeats=${3:-1}
bench="$build/client/qm_bench"
work=$(mktemp -d)
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
(cd "$work" && exec "$build/server/qm_server" localhost "$port" >/dev/null 2>server.err) &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do grep -q "Server started" "$work/server.err" 2>/dev/null && break; sleep 0.1; done
field() { sed -n "s/.*\"$1\":\([0-9.]*\).*/\1/p"; }
median() { sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
printf "%-5s %5s %12s %12s %6s %10s %10s %10s %10s %6s\n" mix conns server_rps ref_rps ratio \
  srv_p50us srv_p99us ref_p50us ref_p99us p99x
for mix in test lock; do
  for conns in 1 16 64; do
    rows=""
    for _ in $(seq "$repeats"); do
      s=$("$bench" --server "tcpip:localhost,$port" --connections "$conns" --mix "$mix" --duration "$seconds" --json)
      r=$("$bench" --reference --connections "$conns" --mix "$mix" --duration "$seconds" --json)
      srps=$(field requests_per_second <<<"$s"); rrps=$(field requests_per_second <<<"$r")
      sp99=$(field p99_us <<<"$s"); rp99=$(field p99_us <<<"$r")
      rows+="$srps $rrps $(echo "$srps / $rrps" | bc -l) $(field p50_us <<<"$s") $sp99"
      rows+=" $(field p50_us <<<"$r") $rp99 $(echo "$sp99 / $rp99" | bc -l)"$'\n'
    done
    col() { awk -v c="$1" 'NF {print $c}' <<<"$rows" | median; }
    printf "%-5s %5d %12.0f %12.0f %6.2f %10.1f %10.1f %10.1f %10.1f %6.2f\n" "$mix" "$conns" \
      "$(col 1)" "$(col 2)" "$(col 3)" "$(col 4)" "$(col 5)" "$(col 6)" "$(col 7)" "$(col 8)"
  done
done
