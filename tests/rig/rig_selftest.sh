#!/usr/bin/env bash
# Self-test of wine-test.sh: rig_selftest.sh WRAPPER PREFIX PROBE_EXE [ARCH]
set -uo pipefail
wrapper=$1 prefix=$2 probe=$3 arch=${4:-x86_64}
# shellcheck source=checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
# shellcheck source=winelib.sh
source "$(dirname "${BASH_SOURCE[0]}")/winelib.sh"

run() { "$wrapper" --prefix "$prefix" --arch "$arch" "$@"; }

# A machine that cannot run this architecture: the wrapper says why.
run --prepare
rc=$?
[[ $rc -eq $RIG_SKIP_CODE ]] && exit "$RIG_SKIP_CODE"

run -- "$probe" exit 7 2>/dev/null
check "exit code passes through" 7 $?

run -- "$probe" exit 0
check "zero exit code" 0 $?

out=$(run -- "$probe" screen)
check "virtual desktop size" "screen 1024x768" "$(echo "$out" | tr -d '\r')"

out=$(TIERMO_RIG_PROBE_VALUE=hello run -- "$probe" env TIERMO_RIG_PROBE_VALUE)
check "environment reaches the program" "TIERMO_RIG_PROBE_VALUE=hello" "$(echo "$out" | tr -d '\r')"

run -- "$probe" regset
check "registry write" 0 $?
run -- "$probe" regcheck
check "registry reset between runs" 0 $?

start=$SECONDS
run --timeout 3 -- "$probe" sleep 60000 2>/dev/null
rc=$?
check "time limit ends a hanging program" 124 $rc
check "time limit is kept" 1 $((SECONDS - start < 20))

marker=$(mktemp -u)
out=$(run -- "$probe" brokenonce "Z:$marker" 2>&1)
rc=$?
check "a session Wine could not set up: run once more, and said so" "0 1" \
    "$rc $(grep -c 'could not set up the session (err:winediag:nodrv_CreateWindow' <<<"$out")"
rm -f "$marker"
out=$(run -- "$probe" exit 3 2>&1)
check "a failing program: not run again" "3 0" "$? $(grep -c 'once more' <<<"$out")"

left=$(find "$prefix.xvfb" -type f 2>/dev/null | wc -l)
check "no Xvfb left running" 0 "$left"

run -- 2>/dev/null
check "missing program is a usage error" 2 $?

checks_done wrapper
