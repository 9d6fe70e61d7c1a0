#!/usr/bin/env bash
# Checks what a built Tiermo.exe needs of the machine: of Windows, against
# windows_imports.txt (every function it imports must be listed for its DLL,
# and exported by the oldest Windows the build runs on; its PE header must
# declare that Windows; it has no delay-loaded imports), and of the processor
# (its code holds no instruction that the build's oldest processor lacks).
#
#   check_imports.sh OBJDUMP EXE LIST MIN_WINDOWS [RUNTIME]
#
# MIN_WINDOWS is the operating-system and subsystem version the build declares:
# 4.0 (Windows 95 and NT 4.0: a function must be there in both) or 5.2 (XP
# Professional x64 Edition and Server 2003 SP1: the NT column counts).
# RUNTIME, for the i686 build, is the folder of the run-time built for a 486
# (scripts/i486_runtime.sh) that its link must take. EXE.map, the linker's
# map of the same link, shows the data among the code and the files the link
# took.
set -uo pipefail
if [[ $# -ne 4 && $# -ne 5 ]]; then
    echo "usage: check_imports.sh OBJDUMP EXE LIST MIN_WINDOWS [RUNTIME]" >&2
    exit 2
fi
objdump=$1 exe=$2 list=$3 min=$4 runtime=${5:-}

header=$("$objdump" -p "$exe") || { echo "cannot read $exe" >&2; exit 1; }
status=0
fail() { echo "FAILED: $*"; status=1; }
# Shows the lines of $1, failing on those that start with FAILED:.
report() {
    local line
    while IFS= read -r line; do
        [[ $line == FAILED:* ]] && status=1
        echo "$line"
    done <<<"$1"
}

# The PE header's versions, as "os subsystem": "4.0 4.0".
declared=$(awk '
    $1 == "MajorOSystemVersion" { os = $2 } $1 == "MinorOSystemVersion" { os = os "." $2 }
    $1 == "MajorSubsystemVersion" { sub_ = $2 } $1 == "MinorSubsystemVersion" { sub_ = sub_ "." $2 }
    END { print os, sub_ }' <<<"$header")
[[ $declared == "$min $min" ]] ||
    fail "the PE header declares operating system and subsystem $declared, not $min"
# A delay-loaded import would fail only when first called, unchecked here.
awk '$1 == "Entry" && $2 == "d" && ($3 !~ /^0+$/ || $4 !~ /^0+$/) { exit 1 }' <<<"$header" ||
    fail "the delay-import directory is not empty"

# "DLL FUNCTION" for every import by name (objdump: a DLL Name line, then
# "vma hint name" lines up to a blank one).
imports=$(awk '
    /^\tDLL Name: / { dll = toupper($3); next }
    /^[[:space:]]*$/ { dll = "" }
    dll != "" && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ && NF == 3 { print dll, $3 }' <<<"$header")
[[ -n $imports ]] || fail "no imports found in $exe"

# The list: "DLL FUNCTION 9X NT SOURCE" lines; "source KEY TEXT" lines name
# the sources. Each import is judged against the build's oldest Windows.
verdicts=$(awk -v min="$min" '
    # A version marked "*" is inferred, not stated by its source: it counts,
    # and is listed.
    function plain(v) { sub(/\*$/, "", v); return v }
    function nt_value(v) { v = plain(v); return v ~ /^[0-9]+\.[0-9]+$/ ? v + 0 : 99 }
    FNR == NR {
        if ($0 ~ /^#/ || NF == 0) next
        if ($1 == "source") { source[$2] = 1; next }
        key = toupper($1) " " $2
        if (key in row) print "FAILED: " $1 " " $2 " is listed twice"
        row[key] = 1; w9x[key] = $3; nt[key] = $4; src[key] = $5
        if (NF < 5) print "FAILED: " $1 " " $2 ": a line needs 9X, NT and a source"
        next
    }
    {
        key = $1 " " $2
        if (!(key in row)) { print "FAILED: " $2 " (" $1 ") is imported but not in the list"; next }
        if (!(src[key] in source)) print "FAILED: " $2 " (" $1 "): unknown source " src[key]
        if (nt_value(nt[key]) > min + 0)
            print "FAILED: " $2 " (" $1 ") needs Windows NT " nt[key] ", newer than " min
        if (min + 0 < 5 && plain(w9x[key]) != "95")
            print "FAILED: " $2 " (" $1 ") is not in Windows 95 (listed: " w9x[key] ")"
        if (nt[key] ~ /\*$/ || (min + 0 < 5 && w9x[key] ~ /\*$/))
            inferred = inferred " " $2
        n++
    }
    END {
        print "checked " n " imports"
        if (inferred != "") print "inferred from their sources, not stated:" inferred
    }' "$list" - <<<"$imports")
report "$verdicts"
awk '{ print $1 }' <<<"$imports" | uniq -c | awk '{ printf "  %s: %d\n", $2, $1 }'

# Instructions, each put in a class by its mnemonic and registers. The i686
# build runs on a 486: its xadd, cmpxchg, bswap and invlpg; not the Pentium's
# (cmpxchg8b, rdtsc, rdpmc, rdmsr, wrmsr, cpuid), not the Pentium Pro's (cmov,
# fcmov, fcomi, the nop with an operand), no MMX, no SSE (Windows 95 saves no
# SSE registers). The x86-64 build runs on every x86-64 processor: MMX, SSE
# and SSE2, nothing newer (nor lahf and sahf, which the first ones lack in
# 64-bit mode). GCC writes "rep bsf", which objdump shows as tzcnt, and "rep
# nop", shown as pause; older processors run them as bsf and nop, with the
# same result where GCC uses them. libstdc++'s std::random_device runs rdrand
# and rdseed only where CPUID reports them.
#
# Every section marked as code is read whole, except in .text what the map
# shows as data there: the constructor and destructor lists and the exception
# tables (.gcc_except_table), which the linker puts after the code.
arch=$(awk '/file format/ { print $NF; exit }' <<<"$header")
if [[ $arch != pei-i386 && $arch != pei-x86-64 ]]; then
    fail "$exe is of architecture '$arch', whose processors this check does not know"
    exit $status
fi
map=$exe.map
ctor_list=$(awk '$2 == "__CTOR_LIST__" && $3 == "=" { print $1; exit }' "$map" 2>/dev/null)
if [[ -z $ctor_list ]]; then
    fail "no __CTOR_LIST__ in $map, the linker's map of $exe"
    exit $status
fi
# The list starts with -1.
if ! "$objdump" -s -j .text --start-address="$ctor_list" --stop-address=$((ctor_list + 4)) "$exe" |
    grep -q " ffffffff "; then
    fail "$map is not the map of $exe (no constructor list at $ctor_list)"
    exit $status
fi
# "NAME START END" of each code section (objdump -h: a line with index,
# name, size and address, then one with the flags).
sections=$("$objdump" -h "$exe" | awk '
    $1 ~ /^[0-9]+$/ && NF >= 7 { name = $2; size = $3; vma = $4; next }
    name != "" && /CODE/ { print name, vma, size }
    { name = "" }' | while read -r name vma size; do echo "$name $((16#$vma)) $((16#$vma + 16#$size))"; done)
# "START END" of the data in .text, by the map: the fill lines (LONG, QUAD)
# and the input sections of the lists and tables, whose name may stand on a
# line of its own before their address and size.
text_data=$(awk '
    function add(start, size) { if (size !~ /^0x0+$/) print start, size }
    /^\.text[ \t]/ { text = 1; next }
    text && /^\.[^ \t]/ { exit }
    !text { next }
    $1 ~ /^0x/ && $2 ~ /^0x/ && $3 ~ /^(LONG|QUAD)$/ { add($1, $2); next }
    /^ \.[^ \t]+$/ { pending = $1; next }
    /^ \./ { pending = $1; $1 = ""; $0 = $0 }
    pending != "" && $1 ~ /^0x/ && $2 ~ /^0x/ {
        if (pending ~ /^\.(ctors?|dtors?)(\.|$)|^\.gcc_except_table/) add($1, $2)
    }
    { pending = "" }' "$map" | while read -r start size; do echo "$((start)) $((start + size))"; done | sort -n)
# The disassembly of every code section, .text without its data.
disassemble() { "$objdump" -d --no-show-raw-insn -j "$1" --start-address="$2" --stop-address="$3" "$exe"; }
code=""
while read -r name start end; do
    [[ -n $name ]] || continue
    if [[ $name == .text ]]; then
        at=$start
        while read -r from to; do
            [[ -n $from ]] || continue
            ((from > at)) && { code+=$(disassemble "$name" "$at" "$from") || fail "cannot disassemble $exe"; }
            ((to > at)) && at=$to
        done <<<"$text_data"
        ((end > at)) && { code+=$(disassemble "$name" "$at" "$end") || fail "cannot disassemble $exe"; }
    else
        code+=$(disassemble "$name" "$start" "$end") || fail "cannot disassemble $exe"
    fi
    code+=$'\n'
done <<<"$sections"
verdicts=$(awk -F'\t' -v arch="$arch" -v sections="$(awk '{ print $1 }' <<<"$sections" | tr '\n' ' ')" '
    BEGIN {
        newer = "^(addsubp|hadd|hsub|lddqu|movddup|movs[hl]dup|fisttp|monitor|mwait|pabs|palignr|" \
            "phadd|phsub|pmaddubsw|pmulhrsw|pshufb|psign|blend|dpp|extractps|insertps|movntdqa|" \
            "mpsadbw|packusdw|pblend|pcmpeqq|pextr[bdq]|phminpos|pinsr[bdq]|pmaxs[bd]|pmaxu[dw]|" \
            "pmins[bd]|pminu[dw]|pmov[sz]x|pmuldq|pmulld|ptest|round|pcmp[ei]str|pcmpgtq|crc32|" \
            "popcnt|lzcnt|andn$|bextr|bls|bzhi|pdep|pext$|rorx|sarx|shlx|shrx|mulx|adcx|adox|" \
            "movbe|aes|pclmul|sha(1|256)|xsave|xrstor|xgetbv|cmpxchg16b|rdtscp)"
        sse = "^(ldmxcsr|stmxcsr|[lms]fence|prefetch|movnti|clflush|maskmovq|fxsave|fxrstor|sysenter|sysexit)"
        sub(/ +$/, "", sections)
        split("486|Pentium|Pentium Pro|MMX|SSE, SSE2|newer than SSE2|tzcnt (rep bsf)|pause (rep nop)|rdrand, rdseed|undecoded", order, "|")
        # What each build may not hold.
        split("undecoded|newer than SSE2", no_x86_64, "|")
        split("undecoded|newer than SSE2|SSE, SSE2|MMX|Pentium Pro|Pentium", no_i386, "|")
        for (k in no_x86_64) forbidden["pei-x86-64", no_x86_64[k]] = 1
        for (k in no_i386) forbidden["pei-i386", no_i386[k]] = 1
    }
    $1 !~ /^ *[0-9a-f]+:$/ || NF < 2 { next }
    {
        i = $2
        while (i ~ /^(rep[a-z]*|lock|data16|addr(16|32)|[c-gs]s|rex(\.[WRXB]+)?|notrack|bnd) /) sub(/^[^ ]+ +/, "", i)
        m = i; sub(/ .*/, "", m); n++
        if (m == "(bad)") c = "undecoded"
        else if (m == "tzcnt") c = "tzcnt (rep bsf)"
        else if (m == "pause") c = "pause (rep nop)"
        else if (m ~ /^rd(rand|seed)$/) c = "rdrand, rdseed"
        else if (i ~ /%([yz]mm|k)[0-9]/ || (m ~ /^v/ && i ~ /%xmm/) || m ~ newer ||
                 (arch == "pei-x86-64" && m ~ /^(lahf|sahf)$/)) c = "newer than SSE2"
        else if (i ~ /%xmm/ || m ~ sse) c = "SSE, SSE2"
        else if (i ~ /%mm[0-7]/ || m == "emms") c = "MMX"
        else if (m ~ /^(f?cmov|fu?comip?$)/ || (m ~ /^nop[wlq]?$/ && i ~ / /)) c = "Pentium Pro"
        else if (m ~ /^(cmpxchg8b|rdtsc|rdpmc|rdmsr|wrmsr|cpuid)$/) c = "Pentium"
        else if (m ~ /^(xadd|cmpxchg|bswap|invlpg|invd|wbinvd)[bwlq]?$/) c = "486"
        else next
        if (!count[c]++) { first[c] = $1 " " $2; sub(/^ +/, "", first[c]) }
    }
    END {
        printf "checked %d instructions of %s in %s", n, arch, sections
        for (k = 1; k in order; k++) if (order[k] in count) printf "; %s: %d", order[k], count[order[k]]
        print ""
        if (n == 0) print "FAILED: no instruction was read"
        for (c in count)
            if ((arch, c) in forbidden)
                print "FAILED: " count[c] " instructions " c ", which the " arch " build may not hold (first: " first[c] ")"
    }' <<<"$code")
report "$verdicts"

# The i686 link's run-time: every archive and start-up object of the link
# that the run-time built for a 486 has must be that one (the link falls back
# to Debian's, built for the Pentium Pro, when a file is not found there).
if [[ $arch == pei-i386 ]]; then
    if [[ -z $runtime || ! -f $runtime/key ]]; then
        fail "no complete run-time built for a 486 at '$runtime' (scripts/i486_runtime.sh)"
        exit $status
    fi
    runtime=$(cd "$runtime" && pwd -P)
    ours=0
    while read -r path; do
        [[ -f $runtime/${path##*/} ]] || continue
        from=$(realpath -m -- "${path%/*}")
        if [[ $from == "$runtime" ]]; then
            ((++ours))
        else
            fail "the link took ${path##*/} from $from, not from the run-time built for a 486 ($runtime)"
        fi
    done < <(awk '$1 == "LOAD" && $2 ~ /\.[ao]$/ { print $2 }' "$map" | sort -u)
    ((ours > 0)) || fail "the link took nothing from the run-time built for a 486 ($runtime)"
    echo "run-time: $ours archives and start-up objects from $runtime"
fi
exit $status
