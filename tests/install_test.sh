#!/usr/bin/env bash
# Installs the Server component of the build BUILD_DIR into a temporary prefix, checks the
# installed files, starts the installed qm_server on a free port in a temporary folder and
# runs the installed `qm_admin test` against it. Usage: install_test.sh BUILD_DIR [CMAKE]
set -u
build=${1:?usage: install_test.sh BUILD_DIR [CMAKE]}
cmake=${2:-cmake}
work=$(mktemp -d /tmp/qm_install_XXXXXX)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$cmake" --install "$build" --prefix "$work/prefix" --component Server >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "cmake --install"; }
for f in bin/qm_server bin/qm_admin bin/qm_bench share/doc/qm-server/README.md \
         lib/systemd/system/qm_server.service; do
  [ -e "$work/prefix/$f" ] || fail "not installed: $f"
done
for p in qm_server qm_admin qm_bench; do
  [ -x "$work/prefix/bin/$p" ] || fail "not executable: bin/$p"
done
grep -q '^Type=simple$' "$work/prefix/lib/systemd/system/qm_server.service" || fail "unit type"
grep -q '^Restart=on-failure$' "$work/prefix/lib/systemd/system/qm_server.service" || fail "restart"
"$work/prefix/bin/qm_server" --version | grep -q '^qm_server 2.5$' || fail "qm_server --version"

mkdir -p "$work/db"
for attempt in 1 2 3 4 5; do
  port=$((20000 + (RANDOM % 30000)))
  (cd "$work/db" && exec env -u QM_SERVER -u QM_SERVER_ALLOW -u QM_SERVER_DATABASE_DIRECTORY \
     "$work/prefix/bin/qm_server" localhost "$port" >"$work/server.out" 2>"$work/server.err") &
  server_pid=$!
  for _ in $(seq 50); do
    grep -q 'Server started successfully.' "$work/server.err" 2>/dev/null && break
    kill -0 "$server_pid" 2>/dev/null || break
    sleep 0.1
  done
  grep -q 'Server started successfully.' "$work/server.err" && break
  wait "$server_pid" 2>/dev/null
  server_pid=
done
[ -n "$server_pid" ] || { cat "$work/server.out" "$work/server.err"; fail "server did not start"; }

out=$("$work/prefix/bin/qm_admin" --server "tcpip:localhost,$port" --timeout 5000 test) ||
  fail "qm_admin test exited $?: $out"
[ "$out" = "Connection works." ] || fail "qm_admin said: $out"
echo "installed qm_server and qm_admin work"
