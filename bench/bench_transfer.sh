#!/usr/bin/env bash
# Method one against curl on the same 200 MB file over loopback.
# Run after a build: bench/bench_transfer.sh [build-dir]
set -euo pipefail
build=${1:-build}
work=$(mktemp -d)
trap 'kill $server 2>/dev/null || true; rm -rf "$work"' EXIT
head -c $((200 * 1024 * 1024)) /dev/urandom > "$work/big.bin"
mkdir -p "$work/out"
(cd "$work" && exec python3 -m http.server 8765 --bind 127.0.0.1 >/dev/null 2>&1) &
server=$!
sleep 1
start=$(date +%s.%N)
curl -s -o "$work/curl.bin" http://127.0.0.1:8765/big.bin
end=$(date +%s.%N)
echo "curl: $(echo "200*1048576/($end-$start)/1000000" | bc -l | cut -c1-6) MB/s"
QTWEBENGINE_DISABLE_SANDBOX=1 "$build/bench/bench_transfer_one" http://127.0.0.1:8765/big.bin "$work/out/" 2>/dev/null
