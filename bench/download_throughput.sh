#!/usr/bin/env bash
# Builds download_driver (plain release build), starts its own nginx on 127.0.0.1 serving files of
# random bytes (1 MiB and 1 GiB by default) and compares, in the same run, one DownloaderBackgrounder
# download to its verified end with `curl -s -o f URL && md5sum f`: best wall time of three runs
# each, and the driver's peak resident memory per size. Needs nginx, curl and md5sum.
# Usage: bench/download_throughput.sh [SIZE_MIB ...]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${UPDATER_BUILD_ROOT:-$root/build}/bench
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1 1024)
runs=3

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DUPDATER_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target download_driver -j 3 >/dev/null
driver=$build/bench/download_driver

work=$(mktemp -d "${TMPDIR:-/tmp}/download-throughput.XXXXXX")
nginx_pid=
cleanup() {
    if [ -n "$nginx_pid" ]; then
        kill "$nginx_pid" 2>/dev/null || true
        wait "$nginx_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/www" "$work/out"

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
{
    echo "daemon off; worker_processes 1; pid $work/nginx.pid; error_log $work/error.log warn;"
    # As root, workers would otherwise run as "nobody" and could not read the private folder.
    [ "$(id -u)" -eq 0 ] && echo "user root;"
    echo "events { worker_connections 64; }"
    echo "http { access_log off; default_type application/octet-stream;"
    for temp in client_body proxy fastcgi uwsgi scgi; do echo "  ${temp}_temp_path $work/$temp;"; done
    echo "  server { listen 127.0.0.1:$port; root $work/www; } }"
} >"$work/nginx.conf"
/usr/sbin/nginx -p "$work" -c "$work/nginx.conf" -e "$work/error.log" &
nginx_pid=$!
for _ in $(seq 100); do
    curl -s -o /dev/null "http://127.0.0.1:$port/" && break
    sleep 0.1
done

now() { date +%s.%N; }

# "download s": from Start to the verified state inside the driver; "process s": the whole driver
# run, with start-up and the log engine's shutdown.
printf '%8s  %11s  %10s  %11s  %7s  %13s\n' "size" "download s" "process s" "curl+md5 s" "ratio" "peak RSS MiB"
for mib in "${sizes[@]}"; do
    source_file=$work/www/f$mib.bin
    head -c "$((mib * 1024 * 1024))" /dev/urandom >"$source_file"
    md5=$(md5sum "$source_file" | cut -d' ' -f1)
    url=http://127.0.0.1:$port/f$mib.bin
    best_download=999999 best_driver=999999 best_curl=999999 peak_kib=0
    for _ in $(seq $runs); do
        rm -f "$work/out/curl.bin" "$work/out/driver.bin"
        start=$(now)
        curl -s -o "$work/out/curl.bin" "$url" && md5sum "$work/out/curl.bin" >/dev/null
        curl_s=$(echo "$(now) - $start" | bc)
        rm -f "$work/out/curl.bin"

        start=$(now)
        # The log engine writes its own lines to standard output too.
        result=$("$driver" "$url" "$work/out/driver.bin" "$md5" | grep -E '^(not-)?verified ' || true)
        read -r state download_s kib <<<"$result"
        driver_s=$(echo "$(now) - $start" | bc)
        [ "$state" = verified ] || { echo "download of $mib MiB not verified" >&2; exit 1; }
        rm -f "$work/out/driver.bin"

        best_curl=$(echo "if ($curl_s < $best_curl) $curl_s else $best_curl" | bc)
        best_download=$(echo "if ($download_s < $best_download) $download_s else $best_download" | bc)
        best_driver=$(echo "if ($driver_s < $best_driver) $driver_s else $best_driver" | bc)
        [ "$kib" -gt "$peak_kib" ] && peak_kib=$kib
    done
    printf '%5s MiB  %11.3f  %10.3f  %11.3f  %6.2fx  %13.1f\n' "$mib" "$best_download" "$best_driver" "$best_curl" \
        "$(echo "$best_download / $best_curl" | bc -l)" "$(echo "$peak_kib / 1024" | bc -l)"
    rm -f "$source_file"
done
