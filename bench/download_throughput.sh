#!/usr/bin/env bash
# Builds download_driver (plain release build), starts its own nginx on 127.0.0.1 serving files of
# random bytes (256 MiB and 1 GiB by default) and compares, in the same run and interleaved, one
# DownloaderBackgrounder download to its verified end with `curl -s -o f URL && md5sum f` and with
# `md5sum` of the cached source file alone (the speed of MD5 on this machine). Prints the minimum
# and the median of several runs of each, their ratios (min to min, median to median), and the
# driver's peak resident memory per size. Big files live under /tmp and are removed at the end.
# Needs nginx, curl and md5sum.
# Usage: bench/download_throughput.sh [SIZE_MIB ...]   (UPDATER_BENCH_RUNS: runs per size, 5)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${UPDATER_BUILD_ROOT:-$root/build}/bench
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(256 1024)
runs=${UPDATER_BENCH_RUNS:-5}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DUPDATER_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target download_driver -j 3 >/dev/null
driver=$build/bench/download_driver

work=$(mktemp -d /tmp/download-throughput.XXXXXX)
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

# Seconds since an earlier $EPOCHREALTIME, without starting a process.
since() { awk -v a="$1" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.3f", b - a }'; }
# Minimum and median of the numbers on standard input, one a line.
min_median() { sort -g | awk '{ v[NR] = $1 } END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.3f %.3f\n", v[1], m }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

echo "$runs runs per size; ratios of minimum to minimum and of median to median."
echo "download: Start to verified, timed inside the driver; process: the whole driver run."
printf '%8s  %-17s  %-17s  %-17s  %-17s  %-19s  %-19s  %-19s  %-19s  %s\n' "size" "curl+md5sum s" "md5sum s" \
    "download s" "process s" "download/curl+md5" "process/curl+md5" "download/md5sum" "process/md5sum" "peak RSS MiB"
for mib in "${sizes[@]}"; do
    source_file=$work/www/f$mib.bin
    head -c "$((mib * 1024 * 1024))" /dev/urandom >"$source_file"
    md5=$(md5sum "$source_file" | cut -d' ' -f1)
    url=http://127.0.0.1:$port/f$mib.bin
    : >"$work/curl" && : >"$work/md5" && : >"$work/download" && : >"$work/process"
    peak_kib=0
    for _ in $(seq "$runs"); do
        rm -f "$work/out/curl.bin" "$work/out/driver.bin"
        start=$EPOCHREALTIME
        curl -s -o "$work/out/curl.bin" "$url" && md5sum "$work/out/curl.bin" >/dev/null
        since "$start" >>"$work/curl" && echo >>"$work/curl"
        rm -f "$work/out/curl.bin"

        start=$EPOCHREALTIME
        md5sum "$source_file" >/dev/null
        since "$start" >>"$work/md5" && echo >>"$work/md5"

        start=$EPOCHREALTIME
        # The log engine writes its own line to standard output too.
        "$driver" "$url" "$work/out/driver.bin" "$md5" >"$work/driver.out" || true
        since "$start" >>"$work/process" && echo >>"$work/process"
        read -r state download_s kib < <(grep -E '^(not-)?verified ' "$work/driver.out" || echo "none 0 0")
        [ "$state" = verified ] || { echo "download of $mib MiB not verified" >&2; exit 1; }
        echo "$download_s" >>"$work/download"
        rm -f "$work/out/driver.bin"
        [ "$kib" -gt "$peak_kib" ] && peak_kib=$kib
    done
    read -r curl_min curl_med < <(min_median <"$work/curl")
    read -r md5_min md5_med < <(min_median <"$work/md5")
    read -r download_min download_med < <(min_median <"$work/download")
    read -r process_min process_med < <(min_median <"$work/process")
    printf '%5s MiB  %-17s  %-17s  %-17s  %-17s  %-19s  %-19s  %-19s  %-19s  %.1f\n' "$mib" \
        "$curl_min / $curl_med" "$md5_min / $md5_med" "$download_min / $download_med" "$process_min / $process_med" \
        "$(ratio "$download_min" "$curl_min")x / $(ratio "$download_med" "$curl_med")x" \
        "$(ratio "$process_min" "$curl_min")x / $(ratio "$process_med" "$curl_med")x" \
        "$(ratio "$download_min" "$md5_min")x / $(ratio "$download_med" "$md5_med")x" \
        "$(ratio "$process_min" "$md5_min")x / $(ratio "$process_med" "$md5_med")x" \
        "$(awk -v k="$peak_kib" 'BEGIN { print k / 1024 }')"
    rm -f "$source_file"
done
