#!/usr/bin/env bash
# One 200 MB file over loopback: method one and method two of the download
# window against curl on the same file (best of five runs each, side by side).
# Run after a build: bench/bench_transfer.sh [build-dir]
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
export QTWEBENGINE_DISABLE_SANDBOX=1
work=$(mktemp -d)
server=""
trap '[ -n "$server" ] && kill $server 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/www"
head -c $((200 * 1024 * 1024)) /dev/urandom > "$work/www/big.bin"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 "$here/bench_server.py" "$work/www" "$port" &
server=$!
until curl -s -o /dev/null -r 0-0 "http://127.0.0.1:$port/big.bin"; do sleep 0.1; done
echo "http://127.0.0.1:$port/big.bin" > "$work/urls"

declare -A fastest
calc() { awk "BEGIN { print $1 }"; }
keep() { if [ -z "${fastest[$1]:-}" ] || [ "$(calc "$2 < ${fastest[$1]}")" = 1 ]; then fastest[$1]=$2; fi; }
for round in 1 2 3 4 5; do
    for tool in one two curl bare; do
        rm -rf "${work:?}/$tool"
        mkdir -p "$work/$tool"
        case $tool in
        one | two)
            line=$("$build/bench/bench_download" "$([ $tool = one ] && echo 1 || echo 2)" "$work/$tool/" "$work/urls" 2>/dev/null)
            echo "$line" >&2
            secs=$(echo "$line" | sed -n 's/.* bytes in \([0-9.]*\) s.*/\1/p') ;;
        bare)
            secs=$("$build/bench/bench_download" bare "http://127.0.0.1:$port/big.bin" 2>/dev/null | sed -n 's/.* bytes in \([0-9.]*\) s.*/\1/p')
            keep "$tool" "$secs"
            continue ;;
        curl)
            start=$(date +%s.%N)
            curl -s -o "$work/curl/big.bin" "http://127.0.0.1:$port/big.bin"
            secs=$(calc "$(date +%s.%N) - $start") ;;
        esac
        cmp -s "$work/www/big.bin" "$(find "$work/$tool" -type f | head -1)" || { echo "$tool: file differs" >&2; exit 1; }
        keep "$tool" "$secs"
    done
done
rate() { printf '%.0f' "$(calc "200 * 1048576 / ${fastest[$1]} / 1000000")"; }
echo "the network library alone, reading and dropping the body: $(rate bare) MB/s"
echo "200 MB: method one $(rate one) MB/s, method two $(rate two) MB/s, curl $(rate curl) MB/s"
