#!/usr/bin/env bash
# Checks of scripts/deps.sh, the packages it installs, against the stand-ins
# of standins.sh (nothing on the system is touched).
set -uo pipefail
# shellcheck source=standins.sh
source "$(dirname "${BASH_SOURCE[0]}")/standins.sh"

learn_packages

check "an empty system gets i386 added, one update, one install" \
    "dpkg --add-architecture i386;|apt-get -q update;|1" \
    "$(calls_of "dpkg --add")|$(calls_of "apt-get -q update")|$([[ $all == *wine32:i386* && $all == *cmake* ]] && echo 1)"

# One package missing: one update, then an install of exactly that package.
reset_state 0
install_all
sed -i '/^zip:/d' "$work/installed"
echo i386 >"$work/foreign"
run_deps
check "one missing package: exit code, apt-get calls, no architecture added, says what it installs" \
    "0|apt-get -q update;apt-get -q install -y --no-install-recommends zip;||1" \
    "$rc|$(calls_of apt-get)|$(calls_of "dpkg --add")|$(grep -c 'installing zip' "$work/err")"

# Nothing missing: no apt-get, no output, exit 0.
: >"$work/calls"
run_deps
check "nothing missing: exit code, no apt-get call, silent" "0||" "$rc|$(calls_of apt-get)|$(<"$work/err")"
check "native kernel: no backports, no qemu, no handler, no record" "||" \
    "$(backports_files)|$(calls_of mount)$(calls_of register)|$(ls "$work/root/var/lib")"

# apt-get failing: non-zero exit, apt-get's own message and what failed.
reset_state 0
echo "E: Unable to locate package zip" >"$work/apt-fails"
run_deps
check "apt-get failing: non-zero exit, its message shown, stops after the failed call" \
    "1|1|apt-get -q update;" \
    "$((rc != 0))|$(grep -c 'E: Unable to locate package zip' "$work/err")|$(calls_of apt-get)"

# Not root and no sudo: a clear message, nothing run.
reset_state 1000
run_deps
check "not root: non-zero exit, says to run as root, no apt-get call" "1|1|" \
    "$((rc != 0))|$(grep -c 'not root and no sudo' "$work/err")|$(calls_of apt-get)"
# Offline, apt-get update only warns and exits 0: for the packages that stays
# a warning, shown when the install then fails.
reset_state 0
: >"$work/offline"
run_deps
check "offline, packages missing: the failed install shows the update's warning" "1|1" \
    "$(grep -c 'E: Unable to locate' "$work/err")|$(grep -c '^W: Failed to fetch' "$work/err")"

checks_done "deps"
