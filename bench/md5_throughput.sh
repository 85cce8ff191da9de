#!/usr/bin/env bash
# Builds md5_throughput (plain release build) and runs it on a file of random bytes, 1 GiB by
# default: FileMd5Hex against md5sum, best of three runs each, file in the page cache.
# Usage: bench/md5_throughput.sh [SIZE_MIB]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${UPDATER_BUILD_ROOT:-$root/build}/bench
size_mib=${1:-1024}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DUPDATER_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target md5_throughput -j 3 >/dev/null

file=$(mktemp "${TMPDIR:-/tmp}/md5-throughput.XXXXXX")
trap 'rm -f "$file"' EXIT
head -c "$((size_mib * 1024 * 1024))" /dev/urandom >"$file"
cat "$file" >/dev/null
"$build/bench/md5_throughput" "$file" 3
