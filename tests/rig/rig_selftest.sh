#!/usr/bin/env bash
# Self-test of wine_test.sh: rig_selftest.sh WRAPPER PREFIX PROBE_EXE [ARCH]
set -uo pipefail
# shellcheck source=../support/checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/../support/checks.sh"
# shellcheck source=../../scripts/lib/wine_session.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/wine_session.sh"
wrapper=$1 prefix=$2 probe=$3 arch=${4:-${tiermo_arches[0]}}

# Second runs of the wrapper's own runs here are not the test run's (scripts/test.sh).
unset TIERMO_SECOND_RUN_LOG TIERMO_TEST_NAME
# The wrapper's runs here share this test's slot.
rig_take_slot "$prefix" || exit 1
run() { "$wrapper" --prefix "$prefix" --arch "$arch" "$@"; }

# A machine that cannot run this architecture: the wrapper says why.
run --prepare
rc=$?
[[ $rc -eq $tiermo_skip_code ]] && exit "$tiermo_skip_code"

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

# Second runs: only when the first ended early with Wine's own error from the
# session's set-up (as Wine writes it, thread ID first), and listed in the log
# that scripts/test.sh reads.
second_runs=$(mktemp)
marker=$(mktemp -u)
out=$(TIERMO_SECOND_RUN_LOG=$second_runs TIERMO_TEST_NAME=probe.early run -- "$probe" brokenonce "Z:$marker" 2>&1)
rc=$?
check "Wine could not set up the session: run once more, said and logged" "0 1 1 probe.early: passed on its second run" \
    "$rc $(grep -c 'could not set up the session (err:winediag:nodrv_CreateWindow' <<<"$out") \
$(grep -c 'probe.early passed on its second run' <<<"$out") $(cut -d';' -f1 "$second_runs")"
rm -f "$marker"
: >"$second_runs"
late=$(((RIG_SESSION_SETUP_SECONDS + 2) * 1000))
out=$(TIERMO_SECOND_RUN_LOG=$second_runs run -- "$probe" brokenonce "Z:$marker" "$late" 2>&1)
rc=$?
check "the same error from the program itself, late: not run again" "1 0 1 0" \
    "$rc $(grep -c 'once more' <<<"$out") $(grep -c '^[0-9a-f]*:err:winediag:nodrv_CreateWindow' <<<"$out") \
$(wc -l <"$second_runs")"
rm -f "$marker"
out=$(TIERMO_SECOND_RUN_LOG=$second_runs run -- "$probe" exit 3 2>&1)
check "a failing program: not run again" "3 0 0" "$? $(grep -c 'once more' <<<"$out") $(wc -l <"$second_runs")"
rm -f "$second_runs"

left=$(find "$(rig_xvfb_record "$RIG_SLOT_PREFIX")" -type f 2>/dev/null | wc -l)
check "no Xvfb left running" 0 "$left"

run -- 2>/dev/null
check "missing program is a usage error" 2 $?

checks_done wrapper
