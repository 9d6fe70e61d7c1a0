#!/usr/bin/env bash
# The test command: installs what is missing, builds the program and its tests
# for x86-64 and for i686, then runs every test of both under Wine in one CTest
# run (test names start with "x86_64." or "i686."). Where the machine cannot
# run 32-bit programs, the i686 tests are reported as skipped, with the reason.
#   TIERMO_BUILD_DIR   build root (default: build/ in the source tree)
#   TIERMO_SKIP_I686=1 leave out the i686 tree
#   TIERMO_JOBS        parallel build jobs (default: the number of cores)
#   TIERMO_TEST_JOBS   tests run at once (default: two per core, as the tests
#                      mostly wait for Wine and windows; at most a tree's
#                      slots, 32, see rig_test_jobs)
#   Arguments are passed on to ctest (e.g. -R driver_smoke).
set -uo pipefail

# shellcheck source=lib/build.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib/build.sh"
root=$tiermo_root
build=$tiermo_build
trees=()
for arch in "${tiermo_arches[@]}"; do
    [[ $arch == i686 && ${TIERMO_SKIP_I686:-0} == 1 ]] || trees+=("$arch")
done

test_jobs=$(rig_test_jobs) || exit 2

ctest_pid=""
cleanup() {
    trap - EXIT INT TERM
    if [[ -n $ctest_pid ]] && kill -0 "$ctest_pid" 2>/dev/null; then
        kill "$ctest_pid" 2>/dev/null
        wait "$ctest_pid" 2>/dev/null
    fi
    # Whatever a killed test wrapper could not end itself.
    local base prefix tree
    for tree in "${trees[@]}"; do
        base=$(tiermo_wineprefix "$build/$tree") || continue
        for prefix in "$base" $(rig_slot_prefixes "$base"); do
            rig_kill_recorded_xvfb "$(rig_xvfb_record "$prefix")"
            (rig_wine_env "$prefix" && rig_stop_wineserver)
        done
    done
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

step() { echo "== $*"; }

step "dependencies"
bash "$root/scripts/deps.sh" || exit 1

# The native checks of the scripts and pictures run once, in the first tree.
host_tests=ON
for arch in "${trees[@]}"; do
    step "build $arch with tests ($build/$arch)"
    tiermo_configure_and_build "$build/$arch" "$arch" -DTIERMO_BUILD_TESTS=ON \
        -DTIERMO_HOST_TESTS=$host_tests || exit 1
    host_tests=OFF
done

# One CTest run over both trees.
{
    echo "# Made by scripts/test.sh: the test trees of both architectures."
    printf 'subdirs("%s")\n' "${trees[@]}"
} >"$build/CTestTestfile.cmake"

step "tests (${trees[*]} under Wine, $test_jobs at a time)"
if [[ ${trees[*]} == *i686* ]]; then
    why=$(rig_wine32_unavailable)
    if [[ -n $why ]]; then
        echo "== the i686 tests will be reported as skipped: $why"
    elif rig_wine32_emulated; then
        echo "== the i686 programs run under qemu's user-mode emulation (binfmt_misc handler $tiermo_binfmt_handler)"
    fi
fi
cd "$build" || exit 1
rm -f "$build/ctest.log"
# The test wrapper adds a line here for every test it ran a second time.
export TIERMO_SECOND_RUN_LOG=$build/second-runs.log
rm -f "$TIERMO_SECOND_RUN_LOG"
ctest --output-on-failure --no-tests=error -j "$test_jobs" --output-log "$build/ctest.log" "$@" &
ctest_pid=$!
wait "$ctest_pid"
rc=$?
ctest_pid=""
if [[ -s $TIERMO_SECOND_RUN_LOG ]]; then
    printf '\nThe following tests needed a second run (Wine could not set up the first session):\n'
    sed 's/^/\t/' "$TIERMO_SECOND_RUN_LOG"
fi
# CTest lists the skipped tests after its summary; the summary line ends the run.
summary=$(grep -E '^[0-9]+% tests passed' "$build/ctest.log" 2>/dev/null | tail -n 1)
[[ -n $summary ]] && printf '\n%s\n' "$summary"
exit $rc
