#!/usr/bin/env bash
# Benchmark of Tiermo.exe against the floor program (bench/floor), in one run:
# size and imported DLLs of both architectures' builds, start-up time, drop
# latency and resource counts over many drags and openings, all under Wine in
# a private Xvfb and virtual desktop. Prints a Markdown table and saves it as
# <x64 build>/bench-results.md.
#
#   bench/run.sh [--quick] [--build-x64 DIR] [--build-x86 DIR]
#
# --quick takes few samples (for trying the script, not for the README).
# Build trees are configured when missing (Release, tests off).
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=../tests/rig/winelib.sh
source "$root/tests/rig/winelib.sh"

build_x64=$root/build-rel-x64
build_x86=$root/build-rel-x86
startup_runs=15
drop_runs=25
drags=1000
opens=100
while [[ $# -gt 0 ]]; do
    case $1 in
    --quick) startup_runs=5; drop_runs=5; drags=30; opens=3; shift ;;
    --build-x64) build_x64=$2; shift 2 ;;
    --build-x86) build_x86=$2; shift 2 ;;
    *) echo "usage: bench/run.sh [--quick] [--build-x64 DIR] [--build-x86 DIR]" >&2; exit 2 ;;
    esac
done

# Targets.
max_size_ratio=1.25
max_startup_ratio=1.20
max_drop_ms=115
# DLLs that every Windows installation has.
system_dlls="kernel32.dll user32.dll gdi32.dll advapi32.dll msvcrt.dll shell32.dll comctl32.dll comdlg32.dll ole32.dll"

log() { echo "bench: $*" >&2; }

configure_and_build() {
    local dir=$1 arch=$2
    shift 2
    if [[ ! -f $dir/CMakeCache.txt ]]; then
        cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DTIERMO_BUILD_TESTS=OFF \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch-w64-mingw32.cmake" >/dev/null ||
            return 1
    fi
    cmake --build "$dir" -j2 --target "$@" >/dev/null
}

log "building ($build_x64, $build_x86)"
configure_and_build "$build_x64" x86_64 Tiermo tiermo_floor tiermo_bench || { log "x86-64 build failed"; exit 1; }
configure_and_build "$build_x86" i686 Tiermo tiermo_floor || { log "i686 build failed"; exit 1; }

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
size_ok=1
for arch in x86_64 i686; do
    dir=$build_x64
    [[ $arch == i686 ]] && dir=$build_x86
    objdump=$arch-w64-mingw32-objdump
    tiermo=$dir/app/Tiermo.exe
    floor=$dir/bench/Floor.exe
    t_size=$(stat -c %s "$tiermo")
    f_size=$(stat -c %s "$floor")
    r=$(ratio "$t_size" "$f_size")
    t_dlls=$(imports "$objdump" "$tiermo")
    dll_verdict="only system DLLs"
    only_system_dlls "$t_dlls" || { dll_verdict="NOT only system DLLs"; size_ok=0; }
    at_most "$r" "$max_size_ratio" || size_ok=0
    size_rows+="| Size, $arch | $t_size bytes | $f_size bytes | $r | at most $max_size_ratio: $(verdict "$r" "$max_size_ratio") |"$'\n'
    size_rows+="| Imports, $arch | ${t_dlls% } | $(imports "$objdump" "$floor" | sed 's/ $//') | | $dll_verdict |"$'\n'
done

# Everything under Wine: one Xvfb and one prefix of the bench's own.
rig_wine_env "$build_x64/bench-wineprefix"
cleanup() {
    rig_stop_wineserver
    rig_stop_xvfb
}
trap cleanup EXIT
trap 'exit 130' INT TERM
rig_stop_wineserver
rig_start_xvfb || exit 1
rig_ensure_prefix || exit 1
rig_restore_registry

bench_exe=$build_x64/bench/tiermo_bench.exe
# Unix paths: the bench turns them into the Z: paths Wine maps them to.
tiermo_exe=$build_x64/app/Tiermo.exe
floor_exe=$build_x64/bench/Floor.exe
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

conditions="Wine $(rig_wine --version 2>/dev/null | sed 's/^wine-//'), $(nproc) cores, $(date -u +%Y-%m-%d), commit $(git -C "$root" rev-parse --short HEAD 2>/dev/null)"
{
    echo "$table"
    echo
    echo "Measured with \`bench/run.sh\` ($conditions)."
} | tee "$build_x64/bench-results.md"
