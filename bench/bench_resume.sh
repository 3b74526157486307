#!/usr/bin/env bash
# A 200 MB document over loopback whose first connection breaks off at half,
# fetched by method one with automatic re-download of failed items: the bytes
# the server sent in all and the time, against the same document fetched in
# one go (best of three runs each, side by side).
# Run after a build: bench/bench_resume.sh [build-dir] [method 1|2]
set -euo pipefail
build=${1:-build}
method=${2:-1}
here=$(cd "$(dirname "$0")" && pwd)
export QTWEBENGINE_DISABLE_SANDBOX=1
work=$(mktemp -d)
server=""
trap '[ -n "$server" ] && kill $server 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/www"
head -c $((200 * 1024 * 1024)) /dev/urandom > "$work/www/big.bin"
calc() { awk "BEGIN { print $1 }"; }
best_resume="" best_fetched="" best_one=""
for round in 1 2 3; do
    port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    python3 "$here/bench_server.py" "$work/www" "$port" &
    server=$!
    until curl -s -o /dev/null "http://127.0.0.1:$port/stats"; do sleep 0.1; done
    for kind in resume one; do
        rm -rf "${work:?}/$kind"
        mkdir -p "$work/$kind"
        if [ $kind = resume ]; then
            echo "http://127.0.0.1:$port/drop/big.bin" > "$work/urls"
            line=$("$build/bench/bench_download" "$method" "$work/$kind/" "$work/urls" 0 redownload 2>/dev/null)
            fetched=$(curl -s "http://127.0.0.1:$port/stats")
        else
            echo "http://127.0.0.1:$port/big.bin" > "$work/urls"
            line=$("$build/bench/bench_download" "$method" "$work/$kind/" "$work/urls" 2>/dev/null)
        fi
        echo "$kind: $line" >&2
        cmp -s "$work/www/big.bin" "$work/$kind/big.bin" || { echo "$kind: file differs" >&2; exit 1; }
        secs=$(echo "$line" | sed -n 's/.* bytes in \([0-9.]*\) s.*/\1/p')
        if [ $kind = resume ]; then
            if [ -z "$best_resume" ] || [ "$(calc "$secs < $best_resume")" = 1 ]; then
                best_resume=$secs
                best_fetched=$fetched
            fi
        elif [ -z "$best_one" ] || [ "$(calc "$secs < $best_one")" = 1 ]; then
            best_one=$secs
        fi
    done
    kill $server 2>/dev/null
    wait $server 2>/dev/null || true
    server=""
done
echo "resume 200 MB: fetched $(calc "$best_fetched / 1048576") MB in all, $best_resume s; one go $best_one s"
