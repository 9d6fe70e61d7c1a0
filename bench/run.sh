#!/usr/bin/env bash
# Benchmark of Tiermo.exe against the floor program (bench/floor), in one run:
# size and imported DLLs, start-up time and drop latency of both
# architectures' builds, and resource counts over many drags and openings of
# the x86-64 build, all under Wine in a private Xvfb and virtual desktop. Where
# 32-bit programs run under qemu's emulation, the i686 rows say so; where they
# cannot run, the i686 times are left out with the reason. Prints a Markdown
# table and saves it as <build root>/bench-results.md.
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

# Targets.
max_size_ratio=1.25
max_startup_ratio=1.20
max_drop_ms=115
# DLLs that every Windows installation has.
system_dlls="kernel32.dll user32.dll gdi32.dll advapi32.dll msvcrt.dll shell32.dll comctl32.dll comdlg32.dll ole32.dll"

log() { echo "bench: $*" >&2; }

log "building ($build)"
for arch in "${tiermo_arches[@]}"; do
    targets=(Tiermo tiermo_floor tiermo_bench)
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
    objdump=$arch$tiermo_triple_suffix-objdump
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
tree=$build/${tiermo_arches[0]}
tiermo_private_desktop "$tree/bench-wineprefix" || exit 1

results=$(mktemp)
# Runs the bench program of architecture $1 with the rest of the arguments;
# its figures go to $results, each key prefixed with the architecture. Unix
# paths: the bench turns them into the Z: paths Wine maps them to.
run_bench() {
    local arch=$1
    shift
    log "$arch: $1 ..."
    timeout -k 5 3600 "$RIG_WINE" "$build/$arch/bench/tiermo_bench.exe" "$@" | tr -d '\r' |
        sed "s/^/$arch./" >>"$results"
    [[ ${PIPESTATUS[0]} -eq 0 ]] || log "$arch: $1 reported failures"
}
# What the i686 figures stand on: nothing to say where 32-bit programs run
# natively.
i686_note=""
i686_skip=$(rig_wine32_unavailable)
rig_wine32_emulated && i686_note=", 32-bit programs under qemu's emulation"
for arch in "${tiermo_arches[@]}"; do
    if [[ $arch == i686 && -n $i686_skip ]]; then
        log "i686 start-up and drop left out: $i686_skip"
        continue
    fi
    run_bench "$arch" startup "$startup_runs" "$build/$arch/app/Tiermo.exe" "$build/$arch/bench/Floor.exe"
    run_bench "$arch" drop "$drop_runs" "$build/$arch/app/Tiermo.exe"
done
run_bench "${tiermo_arches[0]}" stability "$drags" "$opens" "$tree/app/Tiermo.exe"

value() { awk -v k="$1" '$1 == k { print $2 }' "$results"; }
int() { printf "%.0f" "${1:-0}"; }

time_rows=""
for arch in "${tiermo_arches[@]}"; do
    note=""
    [[ $arch == i686 ]] && note=$i686_note
    if [[ -z $(value "$arch.startup.runs") ]]; then
        time_rows+="| Start-up and drop latency, $arch | not measured: ${i686_skip:-no figures} | | | |"$'\n'
        continue
    fi
    t_ms=$(value "$arch.startup.tiermo_ms")
    f_ms=$(value "$arch.startup.floor_ms")
    s_ratio=$(ratio "$t_ms" "$f_ms")
    drop_ms=$(value "$arch.drop.median_ms")
    time_rows+="| Start-up to answering dialog, $arch$note (median of $(int "$(value "$arch.startup.runs")")) | $t_ms ms | $f_ms ms | $s_ratio | at most $max_startup_ratio: $(verdict "$s_ratio" "$max_startup_ratio") |"$'\n'
    time_rows+="| Drop latency, $arch$note, release to topmost (median of $(int "$(value "$arch.drop.runs")"); min $(value "$arch.drop.min_ms"), max $(value "$arch.drop.max_ms")) | $drop_ms ms | 100 ms flash by design | | at most $max_drop_ms ms: $(verdict "$drop_ms" "$max_drop_ms") |"$'\n'
done

stab=${tiermo_arches[0]}.stability
count_row() {
    local name=$1 key=$2 unit=${3:-}
    local start end
    start=$(value "$stab.start.$key")
    end=$(value "$stab.end.$key")
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
    printf "%s" "$time_rows"
    echo "| Stability, ${tiermo_arches[0]} | $(int "$(value "$stab.drags")") drags done, $(int "$(value "$stab.drag_failures")") failed; $(int "$(value "$stab.opens")") openings each of Help and About done, $(int "$(value "$stab.open_failures")") failed | still running at the end: $(value "$stab.running") | | |"
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
