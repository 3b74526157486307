#!/usr/bin/env bash
# Many small documents over loopback, pause 0: method two (six slots) and
# method one of the download window against aria2c -j6 and curl on the same
# 200 files of 50 KB (best of five runs each, side by side); then six slower
# transfers for 10 s while a 100 ms timer of the window counts its ticks.
# Run after a build: bench/bench_parallel.sh [build-dir]
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
if ! command -v aria2c >/dev/null; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO=sudo
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends aria2 >/dev/null
fi
export QTWEBENGINE_DISABLE_SANDBOX=1

work=$(mktemp -d)
server=""
trap '[ -n "$server" ] && kill $server 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/www"
for i in $(seq -w 1 200); do head -c 51200 /dev/urandom > "$work/www/f$i.bin"; done
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 "$here/bench_server.py" "$work/www" "$port" &
server=$!
until curl -s -o /dev/null "http://127.0.0.1:$port/f001.bin"; do sleep 0.1; done

for i in $(seq -w 1 200); do echo "http://127.0.0.1:$port/f$i.bin"; done > "$work/urls"
for i in $(seq -w 1 200); do printf 'url = "http://127.0.0.1:%s/f%s.bin"\noutput = "%s/curl/f%s.bin"\n' "$port" "$i" "$work" "$i"; done > "$work/curl.cfg"

now() { date +%s.%N; }
count() { find "$1" -type f -size 51200c | wc -l; }
# best <name> <seconds>: keeps the shortest time per name
declare -A fastest
calc() { awk "BEGIN { print $1 }"; }
keep() { if [ -z "${fastest[$1]:-}" ] || [ "$(calc "$2 < ${fastest[$1]}")" = 1 ]; then fastest[$1]=$2; fi; }
ours() { # method folder
    "$build/bench/bench_download" "$1" "$2/" "$work/urls" 2>/dev/null | tee -a "$work/log" | sed -n 's/.* bytes in \([0-9.]*\) s.*/\1/p'
}

for round in 1 2 3 4 5; do
    for tool in two one aria2c curl; do
        rm -rf "${work:?}/$tool"
        mkdir -p "$work/$tool"
        case $tool in
        two) secs=$(ours 2 "$work/two") ;;
        one) secs=$(ours 1 "$work/one") ;;
        aria2c)
            start=$(now)
            aria2c -q -j6 --allow-overwrite=true -d "$work/aria2c" -i "$work/urls"
            secs=$(calc "$(now) - $start") ;;
        curl)
            start=$(now)
            curl -s --config "$work/curl.cfg"
            secs=$(calc "$(now) - $start") ;;
        esac
        n=$(count "$work/$tool")
        [ "$n" = 200 ] || { echo "$tool wrote $n of 200 files" >&2; exit 1; }
        keep "$tool" "$secs"
    done
done
rate() { printf '%.0f' "$(calc "200 / ${fastest[$1]}")"; }

# Six transfers of 2 MB at 150 KB/s each, cut after 10 s.
for k in 1 2 3 4 5 6; do echo "http://127.0.0.1:$port/slow/s$k?size=2000000&rate=150000"; done > "$work/slow"
mkdir -p "$work/slowdir"
ticks=$("$build/bench/bench_download" 2 "$work/slowdir/" "$work/slow" 10 2>/dev/null)
echo "six slower transfers of method two for 10 s: $(echo "$ticks" | sed 's/.*, 100 ms/100 ms/')"
echo "200 x 50KB: method two $(rate two) files/s, method one $(rate one) files/s, aria2c -j6 $(rate aria2c) files/s, curl $(rate curl) files/s"
