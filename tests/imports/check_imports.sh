#!/usr/bin/env bash
# Checks what a built Tiermo.exe needs of Windows against windows_imports.txt:
# every function it imports must be listed for its DLL, and exported by the
# oldest Windows the build runs on; its PE header must declare that Windows.
#
#   check_imports.sh OBJDUMP EXE LIST MIN_WINDOWS
#
# MIN_WINDOWS is the operating-system and subsystem version the build declares:
# 4.0 (Windows 95 and NT 4.0: a function must be there in both) or 5.2 (XP
# Professional x64 Edition and Server 2003 SP1: the NT column counts).
set -uo pipefail
if [[ $# -ne 4 ]]; then
    echo "usage: check_imports.sh OBJDUMP EXE LIST MIN_WINDOWS" >&2
    exit 2
fi
objdump=$1 exe=$2 list=$3 min=$4

header=$("$objdump" -p "$exe") || { echo "cannot read $exe" >&2; exit 1; }
status=0
fail() { echo "FAILED: $*"; status=1; }

# The PE header's versions, as "os subsystem": "4.0 4.0".
declared=$(awk '
    $1 == "MajorOSystemVersion" { os = $2 } $1 == "MinorOSystemVersion" { os = os "." $2 }
    $1 == "MajorSubsystemVersion" { sub_ = $2 } $1 == "MinorSubsystemVersion" { sub_ = sub_ "." $2 }
    END { print os, sub_ }' <<<"$header")
[[ $declared == "$min $min" ]] ||
    fail "the PE header declares operating system and subsystem $declared, not $min"

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
while IFS= read -r line; do
    [[ $line == FAILED:* ]] && status=1
    echo "$line"
done <<<"$verdicts"
awk '{ print $1 }' <<<"$imports" | uniq -c | awk '{ printf "  %s: %d\n", $2, $1 }'
exit $status
