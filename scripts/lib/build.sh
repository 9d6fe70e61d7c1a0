# shellcheck shell=bash
# Configuring and building Tiermo's trees, and a private Wine desktop, for the
# scripts in scripts/ and bench/. Source it; it stops the script when the build
# root cannot be made, and defines functions and these:
#
#   tiermo_root    the source tree
#   tiermo_build   the build root: TIERMO_BUILD_DIR, else build/ in the source
#                  tree. Its trees are named by architecture: <root>/x86_64 and
#                  <root>/i686 with the tests, <root>/release/<arch> without
#                  (the release zips, the benchmark and the README's pictures).
#   tiermo_jobs    parallel build jobs: TIERMO_JOBS, else the machine's cores
#
# It also sources scripts/lib/wine_session.sh (the rig_* functions), and
# through it constants.sh (tiermo_arches, the architectures, and the system's
# paths) and remove.sh (tiermo_remove_own).

tiermo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
tiermo_build=${TIERMO_BUILD_DIR:-$tiermo_root/build}
if ! tiermo_build=$(mkdir -p "$tiermo_build" && cd "$tiermo_build" && pwd) || [[ -z $tiermo_build ]]; then
    echo "cannot make the build root '${TIERMO_BUILD_DIR:-$tiermo_root/build}' (TIERMO_BUILD_DIR)" >&2
    exit 1
fi
tiermo_jobs=${TIERMO_JOBS:-$(nproc)}
# shellcheck source=wine_session.sh
source "$tiermo_root/scripts/lib/wine_session.sh"

# The program's name, which is also its main dialog's caption.
tiermo_app_name() { sed -n 's/^#define TIERMO_APP_NAME "\(.*\)"$/\1/p' "$tiermo_root/res/product.h.in"; }

# The Wine prefix the tests of build tree $1 run in: TIERMO_WINEPREFIX in its
# CMake cache (tests/CMakeLists.txt sets it). Prints nothing and fails when
# the tree is not configured with the tests.
tiermo_wineprefix() { sed -n 's/^TIERMO_WINEPREFIX:PATH=//p' "$1/CMakeCache.txt" 2>/dev/null | grep .; }

# Configures tree $1 for architecture $2 (Release) and builds it. Then come
# CMake options (-D...) and the targets to build (all when none). Configured
# every time, so that the tree takes the current environment (such as
# SOURCE_DATE_EPOCH). An i686 tree links the run-time built for a 486
# (scripts/i486_runtime.sh, cached: built once per machine and version). The
# logs go beside the tree, DIR.configure.log and DIR.build.log; a failure
# shows their end.
tiermo_configure_and_build() {
    local dir=$1 arch=$2 arg made runtime options=() targets=()
    shift 2
    if [[ " ${tiermo_arches[*]} " != *" $arch "* ]]; then
        echo "unknown architecture '$arch' (${tiermo_arches[*]})" >&2
        return 1
    fi
    if [[ $arch == i686 ]]; then
        runtime=$(bash "$tiermo_root/scripts/i486_runtime.sh") || return 1
        options+=("-DTIERMO_I486_RUNTIME=$runtime")
    fi
    for arg in "$@"; do
        if [[ $arg == -D* ]]; then options+=("$arg"); else targets+=(--target "$arg"); fi
    done
    if ! made=$(mkdir -p "$dir" && cd "$dir" && pwd) || [[ -z $made ]]; then
        echo "cannot make the build tree '$dir'" >&2
        return 1
    fi
    dir=$made
    if ! cmake -S "$tiermo_root" -B "$dir" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$tiermo_root/cmake/toolchain-$arch$tiermo_triple_suffix.cmake" \
        "${options[@]}" >"$dir.configure.log" 2>&1; then
        tail -n 60 "$dir.configure.log" >&2
        echo "configure failed in $dir (full log: $dir.configure.log)" >&2
        return 1
    fi
    # CMake's warning about a -D that the project does not use (a misspelt
    # name), shown rather than left in the log.
    awk -v dir="$dir" '/Manually-specified variables were not used/ { on = 1; print "cmake in " dir ":" }
        on && /^-- / { exit } on && NF' "$dir.configure.log" >&2
    if ! cmake --build "$dir" -j "$tiermo_jobs" "${targets[@]}" >"$dir.build.log" 2>&1; then
        tail -n 60 "$dir.build.log" >&2
        echo "build failed in $dir (full log: $dir.build.log)" >&2
        return 1
    fi
}

# Runs what follows in the calling script under Wine with prefix $1 on a
# private Xvfb in the rig's virtual desktop, the prefix made when missing and
# its registry reset to the pristine one; rig_start_session ends it all when
# the script exits.
tiermo_private_desktop() {
    rig_wine_env "$1"
    # shellcheck disable=SC2119 # no command to run before the session ends
    rig_start_session && rig_restore_registry
}
