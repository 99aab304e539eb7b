#!/usr/bin/env bash
# Answers per second of an update channel, in one run: vqserve signing each
# answer twice (its "xxx-vq-sig" and, for the request's nonce, "xxx-vq-sig2")
# against nginx serving the same answer exported ahead of time
# (`vqserve export`). Both on 127.0.0.1, both loaded by wrk with the same
# POST of an update request carrying a nonce.
#
# Usage: bench/freshness/serve_bench.sh [build dir, default build] [seconds, default 5]
# Needs wrk (VQ_SETUP_BENCH=1 scripts/setup) and nginx (scripts/setup).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
seconds=${2:-5}
vqserve=$build/tools/vqserve/vqserve
key=$root/demo/keys/server_private_key.pem
for tool in wrk nginx; do
  command -v "$tool" >/dev/null || PATH=$PATH:/usr/sbin
  command -v "$tool" >/dev/null || { echo "$tool is missing" >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  local port
  for _ in $(seq 100); do
    port=$((20000 + RANDOM % 40000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"; return
    fi
  done
  echo "no free port" >&2; exit 1
}

cat > "$work/answer.xml" <<'XML'
<vq version="2.0" update="600"><transaction><set name="bench" value="1"/></transaction></vq>
XML
cat > "$work/post.lua" <<'LUA'
wrk.method = "POST"
wrk.headers["Content-Type"] = "application/x-www-form-urlencoded"
wrk.body = "feedId=363&build=1&appId=843&os=Linux&platform=mac&machineId=00%3a11&sign=true&vq=%3cvqfeed+version%3d%222%2e0%22%2f%3e&nonce=0123456789abcdef0123456789abcdef"
LUA

"$vqserve" --key "$key" --fixed "$work/answer.xml" --threads 4 \
  --port-file "$work/vqserve.url" > /dev/null &
pids+=($!)
nginx_port=$(free_port)
"$vqserve" export "$work/channel" --key "$key" --fixed "$work/answer.xml" \
  --listen "127.0.0.1:$nginx_port" --expires-in 3600 > /dev/null
nginx -p "$work/channel/" -c "$work/channel/nginx.conf" -e "$work/channel/nginx-error.log" &
pids+=($!)
for _ in $(seq 100); do
  [ -s "$work/vqserve.url" ] && (exec 3<>"/dev/tcp/127.0.0.1/$nginx_port") 2>/dev/null && break
  sleep 0.1
done
vqserve_url=$(head -n1 "$work/vqserve.url")vq.php

run() {
  local name=$1 url=$2
  local rate
  rate=$(wrk -t2 -c16 -d"${seconds}s" -s "$work/post.lua" "$url" |
         awk '/Requests\/sec/ {print $2}')
  printf '%-44s %10s answers/s\n' "$name" "$rate"
}
echo "wrk -t2 -c16 -d${seconds}s, POST with a nonce, $(nproc) CPUs"
run "vqserve (signs each answer twice)" "$vqserve_url"
run "nginx (exported, signed ahead of time)" "http://127.0.0.1:$nginx_port/vq.php"
