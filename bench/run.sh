#!/usr/bin/env bash
# Benchmark of Tiermo.exe against the floor program (bench/floor), in one run:
# size and imported DLLs of both architectures' builds, start-up time, drop
# latency and resource counts over many drags and openings, all under Wine in
# a private Xvfb and virtual desktop. Prints a Markdown table and saves it as
# <build root>/bench-results.md.
#
#   bench/run.sh [--quick] [--build-dir DIR]
#
# --quick takes few samples (for trying the script, not for the table in
# docs/benchmark.md). DIR is the build root (default build/release/ in the
# source tree); its trees DIR/x86_64 and DIR/i686 are configured and built
# (Release, tests off) with TIERMO_JOBS parallel jobs (default: the number of
# cores).
set -uo pipefail

# shellcheck source=../scripts/lib/build.sh
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib/build.sh"

build=$tiermo_build/release
startup_runs=15
drop_runs=25
drags=1000
opens=100
while [[ $# -gt 0 ]]; do
    case $1 in
    --quick) startup_runs=5; drop_runs=5; drags=30; opens=3; shift ;;
    --build-dir) build=$2; shift 2 ;;
    *) echo "usage: bench/run.sh [--quick] [--build-dir DIR]" >&2; exit 2 ;;
    esac
done
tree=$build/x86_64

# Targets.
max_size_ratio=1.25
max_startup_ratio=1.20
max_drop_ms=115
# DLLs that every Windows installation has.
system_dlls="kernel32.dll user32.dll gdi32.dll advapi32.dll msvcrt.dll shell32.dll comctl32.dll comdlg32.dll ole32.dll"

log() { echo "bench: $*" >&2; }

log "building ($build)"
for arch in "${tiermo_arches[@]}"; do
    targets=(Tiermo tiermo_floor)
    [[ $arch == x86_64 ]] && targets+=(tiermo_bench)
    tiermo_configure_and_build "$build/$arch" "$arch" -DTIERMO_BUILD_TESTS=OFF "${targets[@]}" ||
        { log "$arch build failed"; exit 1; }
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", (b > 0 ? a / b : 0) }'; }
at_most() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a <= b) }'; }
verdict() { if at_most "$1" "$2"; then echo met; else echo "NOT met"; fi; }

imports() {
    local objdump=$1 exe=$2
    "$objdump" -p "$exe" | awk '/DLL Name:/ { print tolower($3) }' | sort -u | tr '\n' ' '
}

only_system_dlls() {
    local dll
    for dll in $1; do
        [[ " $system_dlls " == *" $dll "* ]] || return 1
    done
}

size_rows=""
for arch in "${tiermo_arches[@]}"; do
    dir=$build/$arch
    objdump=$arch-w64-mingw32-objdump
    tiermo=$dir/app/Tiermo.exe
    floor=$dir/bench/Floor.exe
    t_size=$(stat -c %s "$tiermo")
    f_size=$(stat -c %s "$floor")
    r=$(ratio "$t_size" "$f_size")
    t_dlls=$(imports "$objdump" "$tiermo")
    dll_verdict="only system DLLs"
    only_system_dlls "$t_dlls" || dll_verdict="NOT only system DLLs"
    size_rows+="| Size, $arch | $t_size bytes | $f_size bytes | $r | at most $max_size_ratio: $(verdict "$r" "$max_size_ratio") |"$'\n'
    size_rows+="| Imports, $arch | ${t_dlls% } | $(imports "$objdump" "$floor" | sed 's/ $//') | | $dll_verdict |"$'\n'
done

# Everything under Wine: one Xvfb and one prefix of the bench's own.
tiermo_private_desktop "$tree/bench-wineprefix" || exit 1

bench_exe=$tree/bench/tiermo_bench.exe
# Unix paths: the bench turns them into the Z: paths Wine maps them to.
tiermo_exe=$tree/app/Tiermo.exe
floor_exe=$tree/bench/Floor.exe
results=$(mktemp)
run_bench() {
    log "$1 ..."
    timeout -k 5 3600 "$RIG_WINE" "$bench_exe" "$@" >>"$results" || log "$1 reported failures"
}
run_bench startup "$startup_runs" "$tiermo_exe" "$floor_exe"
run_bench drop "$drop_runs" "$tiermo_exe"
run_bench stability "$drags" "$opens" "$tiermo_exe"

value() { awk -v k="$1" '$1 == k { print $2 }' "$results" | tr -d '\r'; }
int() { printf "%.0f" "${1:-0}"; }

t_ms=$(value startup.tiermo_ms)
f_ms=$(value startup.floor_ms)
s_ratio=$(ratio "$t_ms" "$f_ms")
drop_ms=$(value drop.median_ms)

count_row() {
    local name=$1 key=$2 unit=${3:-}
    local start end
    start=$(value "stability.start.$key")
    end=$(value "stability.end.$key")
    if [[ $key == gdi || $key == user ]] && [[ $(int "$start") == 0 && $(int "$end") == 0 ]]; then
        echo "| $name | not reported by Wine | | | |"
        return
    fi
    local growth=$(($(int "$end") - $(int "$start")))
    local v=met
    [[ $growth -gt 0 ]] && v="grew by $growth$unit"
    echo "| $name | $(int "$start")$unit at start | $(int "$end")$unit at end | | no growth: $v |"
}

table=$(
    echo "| Measure | Tiermo | Floor / end | Ratio | Target |"
    echo "|---|---|---|---|---|"
    printf "%s" "$size_rows"
    echo "| Start-up to answering dialog, x86-64 (median of $(int "$(value startup.runs)")) | $t_ms ms | $f_ms ms | $s_ratio | at most $max_startup_ratio: $(verdict "$s_ratio" "$max_startup_ratio") |"
    echo "| Drop latency, release to topmost (median of $(int "$(value drop.runs)"); min $(value drop.min_ms), max $(value drop.max_ms)) | $drop_ms ms | 100 ms flash by design | | at most $max_drop_ms ms: $(verdict "$drop_ms" "$max_drop_ms") |"
    echo "| Stability | $(int "$(value stability.drags)") drags done, $(int "$(value stability.drag_failures)") failed; $(int "$(value stability.opens)") openings each of Help and About done, $(int "$(value stability.open_failures)") failed | still running at the end: $(value stability.running) | | |"
    count_row "Handles" handles
    count_row "GDI objects" gdi
    count_row "USER objects" user
    count_row "Private bytes" private_kb " KB"
)
rm -f "$results"

conditions="Wine $(rig_wine --version 2>/dev/null | sed 's/^wine-//'), $(nproc) cores, $(date -u +%Y-%m-%d), commit $(git -C "$tiermo_root" rev-parse --short HEAD 2>/dev/null)"
{
    echo "$table"
    echo
    echo "Measured with \`bench/run.sh\` ($conditions)."
} | tee "$build/bench-results.md"
