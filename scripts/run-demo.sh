#!/usr/bin/env bash
# The main job: one request through netgate to a host TP and back.
#
# Installs what is missing, builds the Linux target, starts the APPC node on
# conf/appcnode.ini and netgate on conf/netgate.ini (in build/demo, where netgate.log is
# written), sends a request with framecli, shows the reply and where the log is, and stops
# both programs (netgate with SIGTERM, so that it ends its TP).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

build=${DEMO_BUILD_DIR:-build/linux}  # the Linux build directory

scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target appcnode netgate framecli

bin=$root/$build
run=$root/build/demo
mkdir -p "$run"
request=${1:-CONSULTA SALDO CUENTA 0012345678}

endpoint=$(sed -n 's/^LISTEN=//p' conf/appcnode.ini | head -n 1)
export APPCNODE_ENDPOINT=${endpoint:-127.0.0.1:7261}
port=$(sed -n '/^\[APPC\]/,/^\[/s/^PORT=//p' conf/netgate.ini | head -n 1)

node_pid=
netgate_pid=
stop_all() {
  if [ -n "$netgate_pid" ] && kill -0 "$netgate_pid" 2>/dev/null; then
    kill -TERM "$netgate_pid"
    wait "$netgate_pid" || true
  fi
  if [ -n "$node_pid" ] && kill -0 "$node_pid" 2>/dev/null; then
    kill -TERM "$node_pid"
    wait "$node_pid" || true
  fi
}
trap stop_all EXIT

# Waits until host:port accepts connections (at most 10 seconds).
wait_for_port() {
  for _ in $(seq 100); do
    if (exec 3<>"/dev/tcp/$1/$2") 2>/dev/null; then return 0; fi
    sleep 0.1
  done
  echo "nothing listens on $1:$2" >&2
  return 1
}

(cd "$run" && exec "$bin/platform/node/appcnode" --config "$root/conf/appcnode.ini") \
  >"$run/appcnode.out" 2>&1 &
node_pid=$!
wait_for_port "${APPCNODE_ENDPOINT%:*}" "${APPCNODE_ENDPOINT##*:}"
echo "APPC node listening on $APPCNODE_ENDPOINT"

(cd "$run" && exec "$bin/netgate/netgate" "$root/conf/netgate.ini") &
netgate_pid=$!
wait_for_port 127.0.0.1 "$port"
echo "netgate listening on port $port"

echo "request: [$request]"
reply=$("$bin/tools/framecli" 127.0.0.1 "$port" "$request" 2>"$run/framecli.err") || {
  cat "$run/framecli.err" >&2
  exit 1
}
echo "reply:   [$reply]"
cat "$run/framecli.err"

stop_all
trap - EXIT
echo "netgate stopped; its log: $run/netgate.log (the node's output: $run/appcnode.out)"
