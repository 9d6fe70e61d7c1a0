#!/usr/bin/env bash
# The test command: installs what is missing, builds the x86-64 program and
# tests and the i686 program, then runs every test under Wine with CTest.
#   TIERMO_BUILD_DIR   build root (default: build/ in the source tree)
#   TIERMO_SKIP_I686=1 skip the i686 build
#   Arguments are passed on to ctest (e.g. -R driver_smoke).
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TIERMO_BUILD_DIR:-$root/build}
build=$(mkdir -p "$build" && cd "$build" && pwd)
x64="$build/x86_64"
x86="$build/i686"
jobs=${TIERMO_JOBS:-2}
source "$root/tests/rig/winelib.sh"

ctest_pid=""
cleanup() {
    trap - EXIT INT TERM
    if [[ -n $ctest_pid ]] && kill -0 "$ctest_pid" 2>/dev/null; then
        kill "$ctest_pid" 2>/dev/null
        wait "$ctest_pid" 2>/dev/null
    fi
    # Whatever a killed test wrapper could not end itself.
    local prefix
    prefix=$(sed -n 's/^TIERMO_WINEPREFIX:PATH=//p' "$x64/CMakeCache.txt" 2>/dev/null)
    if [[ -n $prefix ]]; then
        rig_kill_recorded_xvfb "$prefix.xvfb"
        (rig_wine_env "$prefix" && rig_stop_wineserver)
    fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

step() { echo "== $*"; }

configure_and_build() { # dir toolchain tests(ON/OFF)
    local dir=$1 toolchain=$2 tests=$3
    cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DTIERMO_BUILD_TESTS="$tests" >"$dir.configure.log" 2>&1 || {
        cat "$dir.configure.log"
        echo "configure failed in $dir"
        return 1
    }
    cmake --build "$dir" -j "$jobs" >"$dir.build.log" 2>&1 || {
        tail -n 60 "$dir.build.log"
        echo "build failed in $dir (full log: $dir.build.log)"
        return 1
    }
}

step "dependencies"
bash "$root/scripts/deps.sh" || exit 1

step "build x86-64 with tests ($x64)"
mkdir -p "$x64"
configure_and_build "$x64" toolchain-x86_64-w64-mingw32.cmake ON || exit 1

if [[ ${TIERMO_SKIP_I686:-0} != 1 ]]; then
    step "build i686 ($x86)"
    mkdir -p "$x86"
    configure_and_build "$x86" toolchain-i686-w64-mingw32.cmake OFF || exit 1
fi

step "tests (x86-64 under Wine)"
cd "$x64" || exit 1
ctest --output-on-failure --no-tests=error "$@" &
ctest_pid=$!
wait "$ctest_pid"
rc=$?
ctest_pid=""
exit $rc
