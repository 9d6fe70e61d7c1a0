#!/usr/bin/env bash
# Checks of scripts/emulation.sh, run by scripts/deps.sh where the kernel
# refuses 32-bit programs, and of its record and undo, against the stand-ins
# of standins.sh (nothing on the system is touched).
set -uo pipefail
# shellcheck source=standins.sh
source "$(dirname "${BASH_SOURCE[0]}")/standins.sh"

learn_packages

# A kernel that refuses 32-bit programs, set up through sudo: the backports
# source beside the machine's own, qemu from it, binfmt_misc mounted and the
# i386 handler, each recorded before it is made, each once.
refusing_machine 1000
before=$(snapshot)
path+=:$work/sudo
run_deps
check "refusing kernel: exit code, says why" "0|1" "$rc|$(grep -c 'this kernel cannot run 32-bit programs' "$work/err")"
check "refusing kernel: qemu from backports, through sudo" \
    "$strict_update;apt-get -q install -y --no-install-recommends -t bookworm-backports qemu-user-static;|2" \
    "$(calls_of apt-get)|$(grep -c '^sudo env' "$work/calls")"
check "refusing kernel: the source" \
    "URIs: http://mirror.invalid/debian|Suites: bookworm-backports|Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg|" \
    "$(grep -E '^(URIs|Suites|Signed-By):' "$sources/bookworm-backports.sources" | tr '\n' '|')"
check "refusing kernel: binfmt_misc mounted, the handler registered" \
    "mount -t binfmt_misc binfmt_misc $binfmt;|register qemu-i386 /usr/bin/qemu-i386-static;" \
    "$(calls_of mount)|$(calls_of register)"
check "refusing kernel: each change made once the record holds it (the record's lines at each)" \
    "1 write $sources/bookworm-backports.sources;2 apt-get -q install -y --no-install-recommends -t bookworm-backports qemu-user-static;3 mount -t binfmt_misc binfmt_misc $binfmt;4 register qemu-i386 /usr/bin/qemu-i386-static;" \
    "$(grep -E '^[0-9]+ (write .*backports|apt-get -q install|mount|register)' "$work/counted" | tr '\n' ';')"
check "refusing kernel: the record" \
    "source $sources/bookworm-backports.sources|package qemu-user-static none|mount boot=first-boot $binfmt|binfmt-registered boot=first-boot|" \
    "$(tr '\n' '|' <"$record")"

# Set up already: nothing at all.
: >"$work/calls"
run_deps
check "set up already: exit code, no calls, silent" "0||" "$rc|$(grep -v '^dpkg --print' "$work/calls")|$(<"$work/err")"
check "set up already: status names the record" 2 "$(run "$emulation" status | grep -c 'by setup (recorded)')"

# undo, through sudo: everything as before, last change first, each line
# dropped once its change is back.
: >"$work/calls"
: >"$work/counted"
run "$emulation" undo
check "refusing kernel, undo: all as before" "0|$before" "$rc|$(snapshot)"
check "refusing kernel, undo: each line dropped once put back (the record's lines at each change)" \
    "4 binfmt qemu-i386 -1;3 umount $binfmt;2 apt-get -q remove -y qemu-user-static;" \
    "$(grep -E '^[0-9]+ (binfmt|umount|apt-get -q remove)' "$work/counted" | tr '\n' ';')"
check "refusing kernel, undo: the calls" \
    "binfmt qemu-i386 -1;|umount $binfmt;|apt-get -q -s remove -y qemu-user-static;apt-get -q remove -y qemu-user-static;apt-get -q update;" \
    "$(calls_of binfmt)|$(calls_of umount)|$(calls_of apt-get)"
path=$work/bin:$work/tools

# A third party's source of bookworm comes first, and the update with the new
# source fails: the source is removed again, the error shown. Then the
# source is Debian's mirror with Debian's key; undo puts all back.
refusing_machine 0
printf 'deb [arch=amd64 signed-by=/etc/apt/keyrings/docker.asc] https://download.docker.invalid/linux/debian bookworm stable\ndeb https://third.party.invalid/debian bookworm main\n' \
    >"$sources/docker.list"
before=$(snapshot)
echo "E: The repository 'http://mirror.invalid/debian bookworm-backports Release' does not have a Release file." >"$work/apt-fails"
run_deps
check "failed update: non-zero exit, apt's error shown, all as before" "1|1|$before" \
    "$((rc != 0))|$(grep -c 'does not have a Release file' "$work/err")|$(snapshot)"
rm "$work/apt-fails"
run_deps
check "foreign source first: the backports source is Debian's" \
    "URIs: http://mirror.invalid/debian|Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg|" \
    "$(grep -E '^(URIs|Signed-By):' "$sources/bookworm-backports.sources" | tr '\n' '|')"
run "$emulation" undo
check "foreign source first, undo: all as before" "$before" "$(snapshot)"

# A handler of someone else's that runs 32-bit programs: left alone, even on
# Debian 12's own qemu; nothing to undo.
refusing_machine 0
debian_qemu runs
before=$(snapshot)
run_deps
check "working foreign handler: exit code, no calls, silent" "0||" "$rc|$(grep -v '^dpkg --print' "$work/calls")|$(<"$work/err")"
check "working foreign handler: status says whose" 1 "$(run "$emulation" status | grep -c 'qemu-i386: .*by someone else')"
run "$emulation" undo
check "working foreign handler, undo: nothing to do" "1|$before" "$(grep -c 'no record' "$work/err")|$(snapshot)"

# A handler of someone else's that does not run them, Debian 12's own qemu,
# backports configured already: no second source, qemu from backports; the
# handler is saved whole, put back when ours cannot be registered, replaced
# when it can. undo puts back both qemu 7.2 and the handler.
refusing_machine 0
debian_qemu
echo "deb http://deb.debian.org/debian bookworm-backports main" >"$work/root/etc/apt/sources.list"
before=$(snapshot)
handler=$(<"$binfmt/qemu-i386")
echo /usr/bin/qemu-i386-static >"$work/register-fails"
run_deps
check "broken foreign handler, ours refused: non-zero exit, the handler put back" "1|$handler" \
    "$((rc != 0))|$(<"$binfmt/qemu-i386")"
check "broken foreign handler: qemu from backports, no second source" \
    "$strict_update;apt-get -q install -y --no-install-recommends -t bookworm-backports qemu-user-static;|" \
    "$(calls_of apt-get)|$(backports_files)"
rm "$work/register-fails"
: >"$work/calls"
run_deps
check "broken foreign handler: replaced" \
    "0|binfmt qemu-i386 -1;register qemu-i386 /usr/bin/qemu-i386-static;" \
    "$rc|$(calls_of binfmt)$(calls_of register)"
: >"$work/calls"
run "$emulation" undo
check "broken foreign handler, undo: all as before, qemu 7.2 by its version" \
    "$before|apt-get -q -s install -y --no-install-recommends --allow-downgrades qemu-user-static=1:7.2+dfsg-7+deb12u18;apt-get -q install -y --no-install-recommends --allow-downgrades qemu-user-static=1:7.2+dfsg-7+deb12u18;" \
    "$(snapshot)|$(calls_of apt-get)"

# Not root and no sudo: a clear message, nothing done.
refusing_machine 1000
run_deps
check "not root, refusing kernel: a clear message, nothing done" "1|1|" \
    "$((rc != 0))|$(grep -c 'not root and no sudo' "$work/err")|$(calls_of apt-get)$(calls_of mount)$(calls_of register)"

# Offline, apt-get update only warns and exits 0: with the backports source
# that is an error (the source is removed again, all as before).
refusing_machine 0
before=$(snapshot)
: >"$work/offline"
run_deps
check "offline: non-zero exit, apt's warning shown, all as before" "1|1|$before" \
    "$((rc != 0))|$(grep -c '^W: Failed to fetch' "$work/err")|$(snapshot)"

# A setup stopped by a failed mount, run again, goes on where it stopped, each
# change recorded once. An undo whose umount fails goes on with the lines
# before and keeps that one; run again, it puts back the rest.
refusing_machine 0
before=$(snapshot)
: >"$work/mount-fails"
run_deps
check "failed mount: non-zero exit, the record up to it, status shows both" \
    "1|source $sources/bookworm-backports.sources|package qemu-user-static none|mount boot=first-boot $binfmt||2" \
    "$((rc != 0))|$(tr '\n' '|' <"$record")|$(run "$emulation" status | grep -c -e '^binfmt_misc: not mounted' -e '^  mount boot=first-boot')"
rm "$work/mount-fails"
run_deps
check "failed mount, run again: done, each change recorded once" "0|4 4" \
    "$rc|$(wc -l <"$record") $(sort -u "$record" | wc -l)"
: >"$work/umount-fails"
run "$emulation" undo
check "failed umount: non-zero exit, the lines before it put back, its line kept" \
    "1|mount boot=first-boot $binfmt|" "$((rc != 0))|$(tr '\n' '|' <"$record")$(backports_files)"
rm "$work/umount-fails"
run "$emulation" undo
check "failed umount, undo again: all as before" "$before" "$(snapshot)"

# A full /var: the write of a line fails, in setup (after a reboot, which
# ended the mount and the handler) and in undo; the record stays whole.
refusing_machine 0
run_deps
whole=$(<"$record")
echo second-boot >"$work/root/proc/sys/kernel/random/boot_id"
rm "$binfmt"/*
: >"$work/disk-full"
run_deps
run "$emulation" undo
check "full disk: setup and undo fail, the record whole" "1|1|$whole" "$((rc != 0))|$(($? != 0))|$(<"$record")"

# setup run again with the handler, the source and qemu gone (removed by
# hand), offline: the source it adds once more is removed again, and its line
# stays, as do the others (the record had them all before).
refusing_machine 0
run_deps
whole=$(<"$record")
rm "$binfmt/qemu-i386" "$sources/bookworm-backports.sources"
sed -i '/^qemu-user-static/d' "$work/installed" "$work/versions"
: >"$work/offline"
run_deps
check "offline, set up before: the source removed again, the record as it was" "|$whole" \
    "$(backports_files)|$(<"$record")"

# dpkg stopped inside the install of qemu 10 over Debian's own qemu, then
# setup run again: qemu 7.2 recorded once, and undo puts it back.
refusing_machine 0
echo qemu-user-static:amd64 >>"$work/installed"
echo "qemu-user-static 1:7.2+dfsg-7+deb12u18" >>"$work/versions"
before=$(snapshot)
: >"$work/dpkg-stops"
run_deps
rm "$work/dpkg-stops"
run_deps
check "dpkg stopped, run again: done, the user's qemu recorded once" "0|package qemu-user-static 1:7.2+dfsg-7+deb12u18" \
    "$rc|$(grep '^package ' "$record" | paste -sd '|')"
run "$emulation" undo
check "dpkg stopped, undo: all as before" "$before" "$(snapshot)"

# A handler of someone else's that does not run the loader, and neither ours
# nor it can be registered: its saved line stays, and undo puts it back.
refusing_machine 0
debian_qemu
before=$(snapshot)
printf '%s\n' /usr/bin/qemu-i386-static /usr/libexec/qemu-binfmt/i386-binfmt-P >"$work/register-fails"
run_deps
check "foreign handler not put back: non-zero exit, its line kept" "1|1" \
    "$((rc != 0))|$(grep -c '^binfmt-saved boot=first-boot enabled :qemu-i386:M:' "$record")"
rm "$work/register-fails"
run "$emulation" undo
check "foreign handler not put back, undo: all as before" "$before" "$(snapshot)"

# After a reboot (the handler and the mount gone, binfmt_misc mounted since by
# someone else), with a package that has come to need qemu: undo leaves that
# mount alone, and qemu with its line, saying why; the source goes.
refusing_machine 0
run_deps
echo second-boot >"$work/root/proc/sys/kernel/random/boot_id"
rm "$binfmt"/*
: >"$binfmt/register"
echo "Remv qemu-helper [1.0]" >"$work/dependents"
check "after a reboot: status shows what it ended" 2 "$(run "$emulation" status | grep -c 'ended with a reboot')"
: >"$work/calls"
run "$emulation" undo
check "after a reboot, qemu needed: non-zero exit, no umount, qemu and its line kept, says why, the source gone" \
    "1||1|package qemu-user-static none|1|" \
    "$((rc != 0))|$(calls_of umount)|$(grep -c '^qemu-user-static:' "$work/installed")|$(<"$record")|$(grep -c 'would also remove or downgrade: qemu-helper' "$work/err")|$(backports_files)"

# Bad record lines (empty, unknown, a package without a version) after a good
# one: the good one is put back, the bad ones kept, each with what to do.
refusing_machine 0
: >"$sources/bookworm-backports.sources"
mkdir -p "${record%/*}"
printf 'source %s\n\nswap /swapfile\npackage qemu-user-static\n' "$sources/bookworm-backports.sources" >"$record"
run "$emulation" undo
check "bad record lines: non-zero exit, the line before put back, they stay with what to do, no install" \
    "1||swap /swapfile|package qemu-user-static||2|" \
    "$((rc != 0))|$(backports_files)|$(tr '\n' '|' <"$record")|$(grep -c "and remove the line from $record" "$work/err")|$(calls_of "apt-get -q install")"

# Not Debian 12: says what is supported, changes nothing.
refusing_machine 0
printf 'PRETTY_NAME="Ubuntu 22.04.4 LTS"\nID=ubuntu\nVERSION_CODENAME=jammy\n' >"$work/root/etc/os-release"
before=$(snapshot)
run_deps
check "Ubuntu: non-zero exit, says what is supported, nothing done" "1|1|$before" \
    "$((rc != 0))|$(grep -c 'supports Debian 12 (bookworm) only, and this is Ubuntu 22.04.4 LTS' "$work/err")|$(snapshot)"

checks_done "emulation"
