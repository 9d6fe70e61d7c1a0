# shellcheck shell=bash
# The slots in which tests run side by side, and how many run at once.
# wine_session.sh sources it.


# Tests run side by side (ctest -j), each in a Wine prefix of its own, its
# "slot": slot N of the build tree's prefix BASE is the prefix BASE-N, made as
# a copy of BASE, which itself runs no test (so nothing changes in it while it
# is copied). A test holds the lock BASE-N.slot while it runs and takes the
# first slot that is free, so a tree has as many slots as tests ever ran in it
# at once; what the test starts (the wrapper, under the rig's self-test) stays
# in its slot. Sets and exports RIG_SLOT_BASE and RIG_SLOT_PREFIX, the slot's
# prefix.
RIG_MAX_SLOTS=32
rig_take_slot() {
    local base=$1 n prefix fd
    [[ ${RIG_SLOT_BASE:-} == "$base" && -n ${RIG_SLOT_PREFIX:-} ]] && return 0
    mkdir -p "$(dirname "$base")" || return 1
    for ((n = 1; n <= RIG_MAX_SLOTS; n++)); do
        prefix=$base-$n
        exec {fd}>"$prefix.slot" || return 1
        if flock -n "$fd"; then
            export RIG_SLOT_BASE=$base RIG_SLOT_PREFIX=$prefix
            return 0
        fi
        exec {fd}>&-
    done
    rig_log "all $RIG_MAX_SLOTS slots of $base are in use"
    return 1
}

# The number of tests to run at once (scripts/test.sh): TIERMO_TEST_JOBS, else
# two per core, never more than a tree's slots, as each test takes one (and
# all may be of one tree). Fails, saying why, on a number it cannot use.
rig_test_jobs() {
    local cores jobs=${TIERMO_TEST_JOBS:-}
    if [[ -z $jobs ]]; then
        cores=$(nproc) || return 1
        jobs=$((cores * 2 < RIG_MAX_SLOTS ? cores * 2 : RIG_MAX_SLOTS))
    fi
    if ! [[ $jobs =~ ^[1-9][0-9]{0,2}$ ]] || ((jobs > RIG_MAX_SLOTS)); then
        echo "TIERMO_TEST_JOBS must be a whole number from 1 to $RIG_MAX_SLOTS (the slots of a build tree), not '$jobs'" >&2
        return 1
    fi
    echo "$jobs"
}

# The prefixes of the slots of BASE that exist.
rig_slot_prefixes() {
    local p
    for p in "$1"-*; do
        [[ ${p#"$1"-} =~ ^[0-9]+$ && -d $p ]] && echo "$p"
    done
}
