#!/usr/bin/env bash
# Runs the main job end to end: installs what is missing, builds the updater and the standalone
# test server, serves a demo release of a demo product from 127.0.0.1, runs the updater against
# it (on a private Xvfb when there is no DISPLAY) and waits for the relaunched demo product to
# say that it was started with its arguments. Ends by printing what happened; exits non-zero
# when any step did not go as it should. Everything it writes stays in a temporary folder
# (the updater's Downloads folder included), removed at the end.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$root/scripts/install-deps.sh"

build=${UPDATER_BUILD_ROOT:-$root/build}/demo
echo "=== building the updater and the test server in $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DUPDATER_BUILD_BENCHMARKS=OFF > /dev/null
cmake --build "$build" -j "$(nproc)" --target updater test_http_server > "$build.log" 2>&1 ||
  { tail -40 "$build.log"; exit 1; }
updater=$(find "$build/app/updater_artefacts" -type f -name updater -perm -u+x | head -n 1)
server=$build/test-bin/test_http_server

work=$(mktemp -d)
server_pid=""
server_in=""
xvfb_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then
    # Its input, kept apart: bash drops the coprocess's variables once it has ended.
    [ -n "$server_in" ] && { echo >&"$server_in"; } 2>/dev/null || true
    timeout 10 tail --pid="$server_pid" -f /dev/null 2>/dev/null || kill "$server_pid" 2>/dev/null || true
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

sku=DEMO-1
mkdir -p "$work/site/api/resources/soft/$sku/windows" "$work/home" "$work/product"

# The installer: a script that notes how it was run.
cat > "$work/site/demo-setup" <<'SCRIPT'
#!/bin/sh
printf 'installer ran as:' > "$0.log"
for argument in "$0" "$@"; do printf ' [%s]' "$argument" >> "$0.log"; done
echo >> "$0.log"
SCRIPT
# The product that the updater starts again when the installation has succeeded.
cat > "$work/product/demo-product" <<'SCRIPT'
#!/bin/sh
printf 'Demo product started with its arguments:'
for argument in "$@"; do printf ' [%s]' "$argument"; done
echo
SCRIPT
chmod +x "$work/product/demo-product"

echo "=== starting the test server"
coproc SERVER { exec "$server" "$work/site"; }
server_pid=$SERVER_PID
server_in=${SERVER[1]}
read -r -t 30 -u "${SERVER[0]}" ready || { echo "the test server did not start"; exit 1; }
port=${ready#PORT }
base="http://127.0.0.1:$port"

size=$(stat -c %s "$work/site/demo-setup")
md5=$(md5sum "$work/site/demo-setup" | cut -d' ' -f1)
cat > "$work/site/api/resources/soft/$sku/windows/latest" <<JSON
{"total": 1, "resources": [{"product_sku": "$sku", "product_id": "1", "name": "Demo Product",
  "permalink": "$base/files/demo-setup", "resources_site_link": "$base/files/", "version": "2.0",
  "size": "$size", "checksum": "$md5"}]}
JSON

display_note="the DISPLAY of this session (${DISPLAY:-})"
if [ -z "${DISPLAY:-}" ]; then
  echo "=== no DISPLAY: starting Xvfb"
  Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1024x768x24 3>"$work/display" > /dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 1 300); do
    [ -s "$work/display" ] && break
    sleep 0.1
  done
  [ -s "$work/display" ] || { echo "Xvfb did not start"; exit 1; }
  export DISPLAY=":$(head -n 1 "$work/display")"
  display_note="a private Xvfb ($DISPLAY)"
fi

echo "=== running the updater"
set +e
HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" timeout 120 \
  "$updater" --product-sku "$sku" --server "$base/files" -- "$work/product/demo-product" --opened-by updater "hello world" \
  > "$work/updater.out" 2>&1
code=$?
set -e
# The product runs on its own after the updater has ended; it writes to the same output.
for _ in $(seq 1 300); do
  grep -q '^Demo product started' "$work/updater.out" && break
  sleep 0.1
done

downloads="$work/home/Downloads"
echo
echo "=== What happened"
echo "Test server: $base serving release 2.0 of $sku (installer of $size bytes, MD5 $md5)"
echo "Display: $display_note"
echo "Updater exit code: $code"
echo "Updater output (the log engine's own lines, then the relaunched product's):"
sed 's/^/    /' "$work/updater.out"
if [ -f "$downloads/demo-setup.log" ]; then
  echo "Installer: $(cat "$downloads/demo-setup.log")"
else
  echo "Installer: did not run"
fi
echo "Downloads folder afterwards: $(cd "$downloads" 2>/dev/null && ls -A | tr '\n' ' ')"
ok=1
[ "$code" -eq 0 ] || ok=0
grep -q '^Demo product started with its arguments: \[--opened-by\] \[updater\] \[hello world\]$' "$work/updater.out" || ok=0
[ ! -e "$downloads/demo-setup" ] && [ ! -e "$downloads/demo-setup.confirm" ] || ok=0
if [ "$ok" -eq 1 ]; then
  echo "Result: the update was downloaded, verified, installed silently, and the product was started again with its arguments."
else
  echo "Result: the run did not go as expected (see above)."
  exit 1
fi
