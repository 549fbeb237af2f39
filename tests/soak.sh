#!/bin/sh
# Soak run of qm_server under the hostile-client load: 16 checking clients, random bytes,
# stalled frames, huge announcements, connect/disconnect loops and 1,000 idle
# connections, for a chosen number of minutes. Prints answers, errors and the server's
# resident memory at a fixed interval, and at the end the peak, the level of the last
# 5 minutes (medians of five slices and their slope, peaks of the two halves) and the
# test's verdict.
# Usage: tests/soak.sh [minutes (default 30)] [build folder (default build-rel)]
#        [report interval in seconds (default 30)]
set -eu
minutes=${1:-30}
build=${2:-build-rel}
interval=${3:-30}
here=$(cd "$(dirname "$0")/.." && pwd)
case $build in /*) ;; *) build=$here/$build ;; esac
binary=$build/tests/qm_hostile_client_test

if [ ! -x "$binary" ]; then
  echo "soak: $binary not found; build it first:" >&2
  echo "  cmake --build $build --target qm_hostile_client_test qm_server" >&2
  exit 2
fi
# The test and the server it starts each hold over a thousand sockets.
ulimit -n "$(ulimit -Hn)" 2>/dev/null || true

log=${SOAK_LOG:-soak-$(date +%Y%m%d-%H%M%S).log}
echo "soak: $minutes minute(s), report every ${interval}s, log in $log"
QM_HOSTILE_SECONDS=$((minutes * 60)) QM_HOSTILE_REPORT_SECONDS=$interval \
  "$binary" --gtest_filter='HostileClients.*' 2>&1 | tee "$log"
# The figures the verdict rests on: peak over the bound, and the level of the last minutes.
grep '^hostile clients: ' "$log" || true
status=$(grep -c '^\[  PASSED  \] 1 test' "$log" || true)
if [ "$status" = 1 ]; then
  echo "soak: passed"
else
  echo "soak: FAILED (see $log)"
  exit 1
fi
