#!/usr/bin/env bash
# Keeps scripts/demo from rotting: runs the headless demo from this build folder into a
# scratch folder and checks that the table lists every device of the demo fleet (by MAC and
# by name as the table shows it), that the dialog got its device's records, and that every
# picture is a non-empty PNG. Needs root or unprivileged user namespaces (skipped otherwise).
# Usage: tests/demo_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source=$1
build=$2
if [ "$(id -u)" -ne 0 ] && ! unshare -r -n true 2>/dev/null; then
    echo "SKIPPED: the demo needs root or unprivileged user namespaces for its lab network"
    exit 77
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

status=0
# VELOMAR_DEMO_OFFSCREEN=1 draws the windows in memory instead of on an X server.
offscreen=()
[ -z "${VELOMAR_DEMO_OFFSCREEN:-}" ] || offscreen=(--offscreen)
timeout 55 "$source/scripts/demo" --headless "${offscreen[@]}" --no-build --build-dir "$build" \
    --out "$scratch/pictures" --time-limit 45 >"$scratch/out.txt" 2>&1 || status=$?
cat "$scratch/out.txt"
[ $status = 0 ] || { echo "FAILED: scripts/demo --headless ended with status $status"; exit 1; }

fail=0
fleet=$source/emulator/fleets/demo.json
macs=$(sed -nE 's/.*"mac": *"([0-9A-F-]{17})".*/\1/p' "$fleet")
names=$(sed -nE 's/.*"name": *"([^"]*)".*/\1/p' "$fleet")
[ "$(wc -l <<<"$macs")" -ge 10 ] || { echo "FAILED: the demo fleet has fewer than 10 devices"; exit 1; }
while read -r mac; do
    grep -q "^[^ ]\+ \+$mac " "$scratch/out.txt" || { echo "FAILED: no table row for $mac"; fail=1; }
done <<<"$macs"
while IFS= read -r name; do
    # The table keeps the first 31 characters of a name that fills all 32 bytes.
    shown=$(cut -c1-31 <<<"$name")
    grep -qF "  $shown  " "$scratch/out.txt" || { echo "FAILED: no table row shows the name '$shown'"; fail=1; }
done <<<"$names"
grep -q "^$(wc -l <<<"$macs") devices found" "$scratch/out.txt" || { echo "FAILED: device count"; fail=1; }
# The configured device is "Gatehouse with LAN port" of the fleet file.
grep -q "^== Configure 00-1A-2B-10-00-08 (VM-2204-LAN, firmware 3.0.2): 4 serial ports" "$scratch/out.txt" ||
    { echo "FAILED: the dialog did not show the device's network record"; fail=1; }
grep -q "^LAN port: bridge Disable, IP 192.0.2.1, mask 255.255.255.0" "$scratch/out.txt" ||
    { echo "FAILED: the Network tab lacks the LAN port"; fail=1; }
grep -q "^2 \+Card reader \+TCP_Client \+4002 \+Data \+198.18.1.20 \+7001 \+30 \+5 \+\[x\]" "$scratch/out.txt" ||
    { echo "FAILED: the Operation Mode grid lacks port 2"; fail=1; }
grep -q "^4 \+RS422 \+4800 \+8 \+1 \+Odd \+None" "$scratch/out.txt" ||
    { echo "FAILED: the Serial Option grid lacks port 4"; fail=1; }
for f in main-window config-network config-operation-mode config-serial-option; do
    png=$scratch/pictures/$f.png
    if [ ! -s "$png" ] || [ "$(head -c 8 "$png" | od -An -tx1 | tr -d ' \n')" != 89504e470d0a1a0a ]; then
        echo "FAILED: $f.png is missing or not a PNG"; fail=1
    fi
done
[ $fail = 0 ] && echo "demo ok"
exit $fail
